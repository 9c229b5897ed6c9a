#include "platform_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

UniquePlatformFile OpenFileForDetection(const std::filesystem::path& path)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is then refused below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    UniquePlatformFile file(new PlatformFile{fd, 0});
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return nullptr;
    file->size = static_cast<std::uint64_t>(st.st_size);
    return file;
}

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
