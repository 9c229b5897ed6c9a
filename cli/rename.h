// --mismatch and --rename: which files wear the wrong extension, and giving
// them their type's first one without ever replacing a file.
#pragma once

#include "detection.h"
#include "journal.h"

#include <filesystem>
#include <string>

enum class RenameAction { Renamed, WouldRename, TargetExists, Failed, UnusableExtension };

struct RenameStep {
    RenameAction action;
    std::filesystem::path target;
    std::string error;
};

// A detected file whose extension is not among its type's (compared without
// regard to case). Undetermined and unreadable files never are.
bool IsMismatch(const std::filesystem::path& path, const DetectionOutcome& outcome);

// For a mismatched file: renames it to its type's first extension, or with
// `dryRun` only tells whether that would be done. With a `journal`, the
// rename is recorded there first, and fails if it cannot be.
RenameStep PlanAndRename(const std::filesystem::path& path, const DetectionOutcome& outcome, bool dryRun,
                         Journal* journal = nullptr);
