// Checking a signature file for the mistakes that the detection run accepts
// without a word: patterns that cannot match or test other bytes than they
// seem to, elements that are never found, types that can never be reported.
#pragma once

#include "platform_file.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

struct LintFinding {
    int line;  // 1-based line of the signature file
    std::string message;
};

// The console program's exit code for a lint run.
enum class LintExit : int {
    Clean = 0,        // nothing to report
    FoundIssues = 1,  // at least one finding was printed
    Unreadable = 2,   // the file could not be opened or read
};

struct LintResult {
    WholeFileResult file = WholeFileResult::CannotOpen;  // findings are made only when it was Read
    // Sorted by line; findings on one line keep the order in which the
    // document is walked.
    std::vector<LintFinding> findings;
};

// Reads `file` once, as the detection run reads it, and lints it.
LintResult LintSignatureFile(const std::filesystem::path& file);

// Lints `file` and prints each finding to `out` as "FILE:LINE: message".
// A clean file prints nothing to `out` and a short note to `err`.
LintExit RunLint(const std::filesystem::path& file, std::FILE* out, std::FILE* err);
