// The files a command line names: each path as given, and with -r the files
// in its folders, in name order; then those of a list read from a file or
// standard input (--files-from), a block at a time.
#pragma once

#include "options.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The real folders already walked with -L, so that each is walked once,
// whether named as an argument or in a list.
using WalkedFolders = std::set<std::filesystem::path>;

// A folder that cannot be listed (or, with -L, resolved) is named on `err`
// and listed itself, so that it is reported as unreadable.
std::vector<std::filesystem::path> CollectFiles(const CliOptions& options, WalkedFolders& walked, std::FILE* err);

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// A list of paths being read: never held whole, so that a list of any length
// costs the same memory.
struct PathList {
    std::unique_ptr<std::FILE, FileCloser> owned;  // empty when reading standard input
    std::FILE* stream = nullptr;
    char separator = '\n';
    std::string pending;       // read, not yet split
    std::size_t start = 0;     // where the next entry begins in `pending`
    bool started = false;      // the first chunk has been read
    bool ended = false;        // nothing more to read
    std::string problem;       // why the list could not be read whole
};

// Opens the list named by --files-from ("-" is standard input). Returns
// nothing, with the system's reason in `problem`, when it cannot be opened.
std::optional<PathList> OpenPathList(const std::filesystem::path& file, bool nulSeparated, std::string& problem);

// Splits the next entry off `pending` from `start`: up to the separator, or,
// once `atEnd`, up to the end. A newline-separated entry loses a trailing CR.
// Returns false when no whole entry is there yet (or none is left at the end).
bool TakeListEntry(std::string_view pending, std::size_t& start, char separator, bool atEnd, std::string_view& entry);

// Adds the paths of the list's next entries to `files`, each walked with -r
// when it is a folder, until `files` holds at least `wanted` or the list
// ends. Empty entries are skipped. On a read error, or a NUL byte in a
// newline-separated list, the list ends with `problem` set.
void ReadListedFiles(PathList& list, const CliOptions& options, WalkedFolders& walked,
                     std::vector<std::filesystem::path>& files, std::size_t wanted, std::FILE* err);
