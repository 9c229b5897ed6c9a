// What the console program needs of the system beyond detection.
#pragma once

#include "file_names.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// The system's words for an error of the file layer, in UTF-8 without a
// trailing period or line break. A system code is put in the platform's own
// words; a portable one (std::errc) in the C library's.
std::string SystemErrorText(const std::error_code& error);

// An extension, already made UTF-8 by SignatureTextAsUtf8, as a native
// file-name string: bytes on POSIX, UTF-16 on Windows.
NativeString NativeFromSignatureText(std::string_view text);

bool IsTerminal(std::FILE* stream);

// Windows programs expand their own wildcards: each argument whose last
// component holds * or ? becomes the names it matches, sorted by name, or
// stays as it is when it matches none. Elsewhere the shell has done it, and
// the arguments come back unchanged.
std::vector<std::filesystem::path> ExpandWildcards(const std::vector<std::filesystem::path>& args);

// "/?" asks a Windows program for its help; elsewhere it is a path.
bool IsPlatformHelpRequest(const std::filesystem::path& arg);

// What tells, after a rename, that a name still holds the same file: its
// size and modification time, in the system's own units (nanoseconds since
// 1970 on POSIX, 100-nanosecond ticks since 1601 on Windows). Read of the
// name itself: a symbolic link is not followed, as a rename moves the link.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp&) const = default;
};

// False, with the system's code in `error`, when the name holds nothing or
// cannot be looked at.
bool ReadFileStamp(const std::filesystem::path& path, FileStamp& stamp, std::error_code& error);

// A journal of renames being written: each line reaches the disk before
// the rename it records.
struct JournalFile;
struct JournalFileCloser {
    void operator()(JournalFile* file) const noexcept;
};
using UniqueJournalFile = std::unique_ptr<JournalFile, JournalFileCloser>;

// Creates the journal; a name that already exists is refused (errc::file_exists),
// so that one journal holds one batch and no other file is ever written to.
UniqueJournalFile CreateJournalFile(const std::filesystem::path& path, std::error_code& error);

// Whether `path` names the journal itself (by the file, not the name), so
// that a batch over the folder the journal is in leaves it where it is.
bool IsJournalFile(const JournalFile& file, const std::filesystem::path& path);

// Writes `line` whole and then flushes it through to the disk (fsync;
// FlushFileBuffers on Windows). False, with the system's code, when either fails.
bool AppendDurably(JournalFile& file, std::string_view line, std::error_code& error);

// A path read back from a journal's JSON: code points, an unpaired surrogate
// kept as its own value. On POSIX \udc80-\udcff is the byte it escaped and
// any other surrogate is invalid; on Windows each surrogate is a UTF-16 unit.
// False for text no path of this system can hold (a NUL, or such a surrogate).
bool NativeFromJsonText(std::u32string_view text, NativeString& native);
