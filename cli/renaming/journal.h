// --journal and --undo: the record of a batch's renames, one JSON object a
// line, written before each rename, and what reading it back finds.
#pragma once

#include "platform_cli.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// A journal is read whole, and no larger than this: some two million
// renames of ordinary paths.
constexpr std::uint64_t kJournalLimit = 512ull << 20;
// A line is at most this long: two paths of 32,767 UTF-16 units, each
// escaped as \uXXXX, fit with room to spare; a longer line is refused unread.
constexpr std::size_t kJournalLineLimit = 512 * 1024;

struct JournalEntry {
    std::filesystem::path from;
    std::filesystem::path to;
    FileStamp stamp;
};

// The line (ending in a line break) that records renaming `from` to `to`:
// {"from": ..., "to": ..., "size": ..., "modified": ...}. The paths are
// written as report lines write them, so bytes that are not UTF-8 and
// unpaired surrogates come back exactly.
std::string JournalLine(const std::filesystem::path& from, const std::filesystem::path& to, FileStamp stamp);

struct JournalProblem {
    std::size_t line;  // 1-based
    std::string what;
};

struct JournalReading {
    std::vector<JournalEntry> entries;  // in the order written: oldest first
    std::vector<std::size_t> lines;     // each entry's line number
    std::vector<JournalProblem> problems;
    // The last line has no line break: the batch stopped while writing it,
    // before its rename, so it records nothing that happened.
    bool unfinishedLast = false;
};

// Reads a journal's bytes. Every line is one of: an entry, empty, or a
// problem (not JSON of the form above, a path this system cannot hold, a
// line past kJournalLineLimit); a problem line stops nothing else.
JournalReading ReadJournal(std::string_view text);

// A journal being written. After a line fails to be written whole the
// journal's end is unknown, so no later rename may rely on it.
struct Journal {
    std::filesystem::path path;
    UniqueJournalFile file;
    std::string failure;  // set once a write failed

    // Records the rename before it is done: false, with `problem` set,
    // when the line did not reach the disk (and the rename must not happen).
    bool Record(const std::filesystem::path& from, const std::filesystem::path& to, std::string& problem);
};

// --undo FILE: reverses, newest first, each rename whose new name still holds
// the file it was given; tells what it did on `out` and what it could not do
// on `err`. Returns the exit status (see CliExit).
int UndoJournal(const std::filesystem::path& journal, std::FILE* out, std::FILE* err);
