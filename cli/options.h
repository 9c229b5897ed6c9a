// The console program's command line.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

extern const char* const kUsage;
extern const char* const kHelp;

struct CliOptions {
    std::filesystem::path signaturePath;
    bool signaturesDefaulted = false;  // no --signatures: the path is the one the program looked for
    std::optional<std::filesystem::path> lintFile;
    std::optional<std::filesystem::path> journal;  // --journal: record each rename before it is done
    std::optional<std::filesystem::path> undo;     // --undo: reverse a journal's renames
    std::optional<std::filesystem::path> filesFrom;  // "-" for standard input
    bool nulSeparated = false;                        // the list's entries end in NUL, not a line break
    bool json = false;
    bool mime = false;  // the table's MIME type column
    bool recursive = false;
    bool followLinks = false;
    bool mismatchOnly = false;
    bool rename = false;
    bool dryRun = false;
    bool explain = false;
    bool help = false;
    bool version = false;
    std::vector<std::filesystem::path> paths;
};

// Returns false, having said why on `err`, for arguments that make no sense.
bool ParseArguments(const std::vector<std::filesystem::path>& args, CliOptions& options, std::FILE* err);

// The signature file used when none is given: beside the program, or in
// ../share/kindsniffer/ from its folder.
std::filesystem::path DefaultSignaturePath(const std::filesystem::path& programDir);
