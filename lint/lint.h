// Checking a signature file for the mistakes that the detection run accepts
// without a word: patterns that cannot match or test other bytes than they
// seem to, elements that are never found, types that can never be reported.
#pragma once

#include "files/platform_file.h"

#include <filesystem>
#include <string>
#include <vector>

struct LintFinding {
    int line;  // 1-based line of the signature file
    std::string message;
};

struct LintResult {
    WholeFileResult file = WholeFileResult::CannotOpen;  // findings are made only when it was Read
    // Sorted by line; findings on one line keep the order in which the
    // document is walked.
    std::vector<LintFinding> findings;
};

// Reads `file` once, as the detection run reads it, and lints it.
LintResult LintSignatureFile(const std::filesystem::path& file);
