// The little that detection asks of the operating system: open a file for
// shared reading, learn its size and read from it. One
// implementation per platform, chosen by the build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <system_error>

struct PlatformFile;  // defined by each platform's implementation

struct PlatformFileCloser {
    void operator()(PlatformFile* file) const noexcept;
};
using UniquePlatformFile = std::unique_ptr<PlatformFile, PlatformFileCloser>;

enum class WholeFileResult { Read, CannotOpen, NotRegular, TooLarge, ReadFailed };

// Opens `path` for reading when it is a regular file: the one place, on each
// platform, that decides what a detection run or a whole-file read may
// touch. On failure `error` holds why, as OpenFileForDetection tells it, and
// `problem` the same as ReadWholeFile tells it.
UniquePlatformFile OpenRegularFile(const std::filesystem::path& path, std::error_code& error,
                                   WholeFileResult& problem);

// Opens an existing regular file for reading. Other readers may open it at
// the same time; writers and deleters may not (on Windows this is enforced,
// and a file already open for writing elsewhere fails to open). Directories
// and, on POSIX, anything that is not a regular file give null, as does every
// failure. Never creates a file and never blocks on a FIFO.
UniquePlatformFile OpenFileForDetection(const std::filesystem::path& path);
// The same, saying why on failure: the system's code, or
// std::errc::is_a_directory / std::errc::not_supported for a folder or
// another kind of file that is not regular.
UniquePlatformFile OpenFileForDetection(const std::filesystem::path& path, std::error_code& error);

// The file's full 64-bit size, as read when it was opened.
std::uint64_t PlatformFileSize(const PlatformFile& file);

// Reads exactly into.size() bytes from `position`; false on failure or a short read.
bool PlatformFileRead(PlatformFile& file, std::uint64_t position, std::span<std::uint8_t> into);


struct StdioCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueStdioFile = std::unique_ptr<std::FILE, StdioCloser>;

// Reads a whole document (the signature file, a file to lint) once. Only a
// regular file is read: a FIFO, a device, a folder or a pipe is refused
// without blocking or reading from it. A file of more than `limit` bytes is
// refused, and no more than that is ever read. On success `text` holds the
// bytes and `stream` reads them from the start, for a parser that wants a
// FILE*; `text` must outlive `stream`. An empty file gives a null stream.
WholeFileResult ReadWholeFile(const std::filesystem::path& path, std::uint64_t limit, std::string& text,
                              UniqueStdioFile& stream);

// The platform's half of ReadWholeFile: `file` is open, regular and no
// larger than `limit` when it was opened.
WholeFileResult ReadOpenedWholeFile(PlatformFile& file, std::uint64_t limit, std::string& text,
                                    UniqueStdioFile& stream);

// What went wrong, for a message: "is not a regular file", and so on.
const char* WholeFileProblem(WholeFileResult result);

// fopen(path, "rb") by the platform's native path, so that names outside the
// Windows ANSI code page open too.
UniqueStdioFile OpenStdioForReading(const std::filesystem::path& path);

enum class MoveResult { Moved, TargetExists, Failed };

// Moves `from` to `to` on the same volume and never replaces an existing
// `to`, even one that appears between a check and the move. On Failed,
// `error` holds the system's code (errno; GetLastError() on Windows).
MoveResult MoveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                         std::error_code& error);

// How many processors this process may run on (its affinity mask, so that
// a run pinned to one core counts one); at least 1.
unsigned PlatformUsableCores();

// Full path of the running executable; empty on failure. Never truncated.
std::filesystem::path ExecutablePath();
