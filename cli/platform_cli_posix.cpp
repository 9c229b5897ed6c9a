#include "platform_cli.h"

#include "unicode.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string SystemErrorText(const std::error_code& error)
{
    return std::strerror(error.value());
}

NativeString NativeFromSignatureText(std::string_view text)
{
    return NativeString(text);
}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

std::vector<std::filesystem::path> ExpandWildcards(const std::vector<std::filesystem::path>& args)
{
    return args;
}

bool IsPlatformHelpRequest(const std::filesystem::path&)
{
    return false;
}

bool ReadFileStamp(const std::filesystem::path& path, FileStamp& stamp, std::error_code& error)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return true;
}

struct JournalFile {
    int fd;
};

void JournalFileCloser::operator()(JournalFile* file) const noexcept
{
    ::close(file->fd);
    delete file;
}

UniqueJournalFile CreateJournalFile(const std::filesystem::path& path, std::error_code& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        error.assign(errno, std::generic_category());
        return nullptr;
    }
    return UniqueJournalFile(new JournalFile{fd});
}

bool IsJournalFile(const JournalFile& file, const std::filesystem::path& path)
{
    struct stat journal {}, other {};
    return ::fstat(file.fd, &journal) == 0 && ::stat(path.c_str(), &other) == 0 && journal.st_dev == other.st_dev
        && journal.st_ino == other.st_ino;
}

bool AppendDurably(JournalFile& file, std::string_view line, std::error_code& error)
{
    while (!line.empty()) {
        const ssize_t wrote = ::write(file.fd, line.data(), line.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            error.assign(wrote < 0 ? errno : EIO, std::generic_category());
            return false;
        }
        line.remove_prefix(static_cast<std::size_t>(wrote));
    }
    if (::fsync(file.fd) != 0) {
        error.assign(errno, std::generic_category());
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
        if (c >= 0xDC80 && c <= 0xDCFF)
            native += static_cast<char>(c - 0xDC00);  // a byte that was not UTF-8
        else if (c >= 0xD800 && c <= 0xDFFF)
            return false;
        else
            AppendUtf8(native, c);
    }
    return true;
}
