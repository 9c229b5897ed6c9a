#include "platform_cli.h"

#include "system_text.h"

#include <algorithm>
#include <io.h>
#include <memory>
#include <windows.h>

std::string SystemErrorText(const std::error_code& error)
{
    if (error.category() != std::system_category())
        return error.message();
    return Win32ErrorText(static_cast<DWORD>(error.value()));
}

NativeString NativeFromSignatureText(std::string_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    NativeString wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

bool IsTerminal(std::FILE* stream)
{
    DWORD mode = 0;
    return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

namespace {

struct FindCloser {
    void operator()(HANDLE find) const noexcept { FindClose(find); }
};

bool ByNameIgnoringCase(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const std::wstring& x = a.native();
    const std::wstring& y = b.native();
    const int order = CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                           static_cast<int>(y.size()), TRUE);
    return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && x < y);
}

} // namespace

std::vector<std::filesystem::path> ExpandWildcards(const std::vector<std::filesystem::path>& args)
{
    std::vector<std::filesystem::path> expanded;
    for (const std::filesystem::path& arg : args) {
        // Only the last component: the system's search matches nothing else.
        if (arg.filename().native().find_first_of(L"*?") == std::wstring::npos) {
            expanded.push_back(arg);
            continue;
        }
        WIN32_FIND_DATAW data;
        std::unique_ptr<void, FindCloser> find(
            FindFirstFileExW(arg.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
        if (find.get() == INVALID_HANDLE_VALUE)
            find.release();
        std::vector<std::filesystem::path> matches;
        for (bool more = find != nullptr; more; more = FindNextFileW(find.get(), &data) != 0) {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                matches.push_back(arg.parent_path() / name);
        }
        if (matches.empty()) {
            expanded.push_back(arg);
            continue;
        }
        std::sort(matches.begin(), matches.end(), ByNameIgnoringCase);
        expanded.insert(expanded.end(), matches.begin(), matches.end());
    }
    return expanded;
}

bool IsPlatformHelpRequest(const std::filesystem::path& arg)
{
    return arg.native() == L"/?";
}

bool ReadFileStamp(const std::filesystem::path& path, FileStamp& stamp, std::error_code& error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        error.assign(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    stamp.size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    stamp.modified = static_cast<std::int64_t>(static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32
                                               | data.ftLastWriteTime.dwLowDateTime);
    return true;
}

struct JournalFile {
    HANDLE handle;
};

void JournalFileCloser::operator()(JournalFile* file) const noexcept
{
    CloseHandle(file->handle);
    delete file;
}

UniqueJournalFile CreateJournalFile(const std::filesystem::path& path, std::error_code& error)
{
    // GENERIC_WRITE, as FlushFileBuffers asks; a new file that no one else may
    // write to is appended to by writing on.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
            error = std::make_error_code(std::errc::file_exists);
        else
            error.assign(static_cast<int>(code), std::system_category());
        return nullptr;
    }
    return UniqueJournalFile(new JournalFile{handle});
}

bool IsJournalFile(const JournalFile& file, const std::filesystem::path& path)
{
    // No access asked, every sharing allowed: only the file's identity is read.
    HANDLE other = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION a, b;
    const bool same = GetFileInformationByHandle(file.handle, &a) && GetFileInformationByHandle(other, &b)
                   && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh
                   && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(other);
    return same;
}

bool AppendDurably(JournalFile& file, std::string_view line, std::error_code& error)
{
    while (!line.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(line.size(), 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(file.handle, line.data(), chunk, &wrote, nullptr) || wrote == 0) {
            error.assign(static_cast<int>(GetLastError()), std::system_category());
            return false;
        }
        line.remove_prefix(wrote);
    }
    if (!FlushFileBuffers(file.handle)) {
        error.assign(static_cast<int>(GetLastError()), std::system_category());
        return false;
    }
    return true;
}

bool NativeFromJsonText(std::u32string_view text, NativeString& native)
{
    native.clear();
    for (const char32_t c : text) {
        if (c == 0)
            return false;
        if (c >= 0x10000) {
            native += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            native += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            native += static_cast<wchar_t>(c);  // an unpaired surrogate stays the unit it was
        }
    }
    return true;
}
