// The console program's --lint: the linter's findings printed one a line.
#pragma once

#include <cstdio>
#include <filesystem>

// The console program's exit code for a lint run.
enum class LintExit : int {
    Clean = 0,        // nothing to report
    FoundIssues = 1,  // at least one finding was printed
    Unreadable = 2,   // the file could not be opened or read
};

// Lints `file` and prints each finding to `out` as "FILE:LINE: message".
// A clean file prints nothing to `out` and a short note to `err`.
LintExit RunLint(const std::filesystem::path& file, std::FILE* out, std::FILE* err);
