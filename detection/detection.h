// One detection run: which type of the signature file, if any, a file belongs to.
#pragma once

#include "signatures.h"

#include <filesystem>
#include <string>
#include <vector>

enum class DetectionState {
    Detected,      // a type matched
    Unreadable,    // the file could not be opened (or is no regular file)
    Undetermined,  // opened, but no type matched
};

struct DetectionOutcome {
    DetectionState state = DetectionState::Undetermined;
    std::string title;                    // Detected only
    std::vector<std::string> extensions;  // Detected only, in document order
};

// Loads the signature file afresh, so that an edit takes effect at the next run.
DetectionOutcome DetectFileType(const std::filesystem::path& signaturePath, const std::filesystem::path& filePath);

// The same run against a table loaded once, for batches.
DetectionOutcome DetectWithTable(const SignatureTable& table, const std::filesystem::path& filePath);
