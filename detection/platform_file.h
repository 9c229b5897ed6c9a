// The little that detection asks of the operating system: open a file for
// shared reading, learn its size and read from it. One
// implementation per platform, chosen by the build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>

struct PlatformFile;  // defined by each platform's implementation

struct PlatformFileCloser {
    void operator()(PlatformFile* file) const noexcept;
};
using UniquePlatformFile = std::unique_ptr<PlatformFile, PlatformFileCloser>;

// Opens an existing regular file for reading. Other readers may open it at
// the same time; writers and deleters may not (on Windows this is enforced,
// and a file already open for writing elsewhere fails to open). Directories
// and, on POSIX, anything that is not a regular file give null, as does every
// failure. Never creates a file and never blocks on a FIFO.
UniquePlatformFile OpenFileForDetection(const std::filesystem::path& path);

// The file's full 64-bit size, as read when it was opened.
std::uint64_t PlatformFileSize(const PlatformFile& file);

// Reads exactly into.size() bytes from `position`; false on failure or a short read.
bool PlatformFileRead(PlatformFile& file, std::uint64_t position, std::span<std::uint8_t> into);

struct StdioCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueStdioFile = std::unique_ptr<std::FILE, StdioCloser>;

// fopen(path, "rb") by the platform's native path, so that names outside the
// Windows ANSI code page open too.
UniqueStdioFile OpenStdioForReading(const std::filesystem::path& path);

// How many processors this process may run on (its affinity mask, so that
// a run pinned to one core counts one); at least 1.
unsigned PlatformUsableCores();

// Full path of the running executable; empty on failure. Never truncated.
std::filesystem::path ExecutablePath();
