// The file layer on Windows: opening a wide path for shared reading, its size and reads.
#include "files/platform_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <string>

struct PlatformFile {
    HANDLE handle;
    std::uint64_t size;  // read when opening, with the attributes
};

void PlatformFileCloser::operator()(PlatformFile* file) const noexcept
{
    if (file->handle != INVALID_HANDLE_VALUE)
        CloseHandle(file->handle);
    delete file;
}

UniquePlatformFile OpenRegularFile(const std::filesystem::path& path, std::error_code& error,
                                   WholeFileResult& problem)
{
    // Readers only may share the file: one being written elsewhere is refused,
    // and nobody can change it while it is read. Backup semantics lets a
    // directory open too; it is refused just below.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error.assign(static_cast<int>(GetLastError()), std::system_category());
        problem = WholeFileResult::CannotOpen;
        return nullptr;
    }
    UniquePlatformFile file(new PlatformFile{handle, 0});

    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        error = std::make_error_code(std::errc::not_supported);
        problem = WholeFileResult::NotRegular;
        return nullptr;
    }
    if (!GetFileInformationByHandle(handle, &info)) {
        error.assign(static_cast<int>(GetLastError()), std::system_category());
        problem = WholeFileResult::ReadFailed;
        return nullptr;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = std::make_error_code(std::errc::is_a_directory);
        problem = WholeFileResult::NotRegular;
        return nullptr;
    }
    file->size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return file;
}

// Size and read look like platform_file_posix.cpp's, but PlatformFile is a
// different struct on each platform and the build takes one file of the two.
std::uint64_t PlatformFileSize(const PlatformFile& file)
{
    return file.size;
}

bool PlatformFileRead(PlatformFile& file, std::uint64_t position, std::span<std::uint8_t> into)
{
    // The position goes with each read rather than through the shared file
    // pointer: two threads read the halves of a large file at once.
    std::size_t done = 0;
    while (done < into.size()) {
        const std::uint64_t at = position + done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 26));
        DWORD got = 0;
        if (!ReadFile(file.handle, into.data() + done, chunk, &got, &where) || got == 0)
            return false;
        done += got;
    }
    return true;
}

WholeFileResult ReadOpenedWholeFile(PlatformFile& file, std::uint64_t, std::string& text, UniqueStdioFile& stream)
{
    // The size read at the open is the whole file: shared with readers only,
    // it cannot grow while it is read.
    const std::uint64_t size = file.size;
    text.resize(static_cast<std::size_t>(size));
    if (size > 0 && !PlatformFileRead(file, 0, {reinterpret_cast<std::uint8_t*>(text.data()), text.size()}))
        return WholeFileResult::ReadFailed;
    if (size > 0) {
        // The stream takes the handle over and reads the same bytes again:
        // msvcrt has no stream over memory.
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.handle), _O_RDONLY | _O_BINARY);
        if (fd < 0)
            return WholeFileResult::ReadFailed;
        file.handle = INVALID_HANDLE_VALUE;
        stream.reset(_fdopen(fd, "rb"));
        if (!stream) {
            _close(fd);
            return WholeFileResult::ReadFailed;
        }
        std::rewind(stream.get());
    }
    return WholeFileResult::Read;
}

UniqueStdioFile OpenStdioForReading(const std::filesystem::path& path)
{
    return UniqueStdioFile(_wfopen(path.c_str(), L"rb"));
}

std::filesystem::path ExecutablePath()
{
    // GetModuleFileNameW truncates silently when the buffer is short; grow until it fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

unsigned PlatformUsableCores()
{
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0)
        return 1;
    return static_cast<unsigned>(__builtin_popcountll(process));
}

MoveResult MoveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error)
{
    // Without MOVEFILE_REPLACE_EXISTING the move itself refuses a taken name.
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
        return MoveResult::Moved;
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        return MoveResult::TargetExists;
    error.assign(static_cast<int>(code), std::system_category());
    return MoveResult::Failed;
}
