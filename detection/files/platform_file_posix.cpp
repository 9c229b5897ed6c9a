// The file layer on POSIX: open, size and read with file descriptors.
#include "files/platform_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

struct PlatformFile {
    int fd;
    std::uint64_t size;  // read when opening: one system call less per file
};

void PlatformFileCloser::operator()(PlatformFile* file) const noexcept
{
    ::close(file->fd);
    delete file;
}

UniquePlatformFile OpenRegularFile(const std::filesystem::path& path, std::error_code& error,
                                   WholeFileResult& problem)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is then refused below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error.assign(errno, std::system_category());
        problem = WholeFileResult::CannotOpen;
        return nullptr;
    }
    UniquePlatformFile file(new PlatformFile{fd, 0});
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error.assign(errno, std::system_category());
        problem = WholeFileResult::ReadFailed;
        return nullptr;
    }
    if (!S_ISREG(st.st_mode) || st.st_size < 0) {
        error = std::make_error_code(S_ISDIR(st.st_mode) ? std::errc::is_a_directory : std::errc::not_supported);
        problem = WholeFileResult::NotRegular;
        return nullptr;
    }
    file->size = static_cast<std::uint64_t>(st.st_size);
    return file;
}

// Size and read look like platform_file_win32.cpp's, but PlatformFile is a
// different struct on each platform and the build takes one file of the two.
std::uint64_t PlatformFileSize(const PlatformFile& file)
{
    return file.size;
}

bool PlatformFileRead(PlatformFile& file, std::uint64_t position, std::span<std::uint8_t> into)
{
    std::size_t done = 0;
    while (done < into.size()) {
        ssize_t got = ::pread(file.fd, into.data() + done, into.size() - done, static_cast<off_t>(position + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

WholeFileResult ReadOpenedWholeFile(PlatformFile& file, std::uint64_t limit, std::string& text,
                                    UniqueStdioFile& stream)
{
    // Read to the end, whatever the size said, but never past the limit: the
    // file may be growing.
    text.resize(static_cast<std::size_t>(file.size) + 1);
    std::size_t done = 0;
    for (;;) {
        if (done == text.size()) {
            if (text.size() > limit)
                return WholeFileResult::TooLarge;
            text.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit + 1, text.size() * 2)));
        }
        const ssize_t got = ::read(file.fd, text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return WholeFileResult::ReadFailed;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    text.resize(done);
    if (!text.empty()) {
        stream.reset(::fmemopen(text.data(), text.size(), "rb"));
        if (!stream)
            return WholeFileResult::ReadFailed;
    }
    return WholeFileResult::Read;
}

UniqueStdioFile OpenStdioForReading(const std::filesystem::path& path)
{
    return UniqueStdioFile(std::fopen(path.c_str(), "rb"));
}

std::filesystem::path ExecutablePath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

unsigned PlatformUsableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
}

MoveResult MoveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return MoveResult::Moved;
    if (errno == EEXIST)
        return MoveResult::TargetExists;
    if (errno != EINVAL && errno != ENOSYS) {
        error.assign(errno, std::generic_category());
        return MoveResult::Failed;
    }
    // A file system without RENAME_NOREPLACE: link() refuses an existing
    // name just as well, and the old name goes only once the new one exists.
    if (::link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST)
            return MoveResult::TargetExists;
        error.assign(errno, std::generic_category());
        return MoveResult::Failed;
    }
    if (::unlink(from.c_str()) != 0) {
        error.assign(errno, std::generic_category());
        return MoveResult::Failed;
    }
    return MoveResult::Moved;
}
