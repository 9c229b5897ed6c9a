#include "rename.h"
#include "platform_cli.h"

#include "file_names.h"
#include "platform_file.h"

#include <system_error>
#include <vector>

namespace fs = std::filesystem;

bool IsMismatch(const fs::path& path, const DetectionOutcome& outcome)
{
    if (outcome.state != DetectionState::Detected || outcome.extensions.empty())
        return false;
    std::vector<NativeString> extensions;
    for (const std::string& ext : outcome.extensions)
        extensions.push_back(NativeFromSignatureText(ext));
    return !HasExtensionAmong(path, extensions);
}

RenameStep PlanAndRename(const fs::path& path, const DetectionOutcome& outcome, bool dryRun, Journal* journal)
{
    const NativeString extension = NativeFromSignatureText(outcome.extensions.front());
    if (!IsUsableExtension(extension))
        return {RenameAction::UnusableExtension, {}, "the type's first extension cannot be used in a file name"};
    RenameStep step{RenameAction::Renamed, RenameTarget(path, extension), {}};

    std::error_code error;
    if (dryRun) {
        step.action = fs::exists(fs::symlink_status(step.target, error)) ? RenameAction::TargetExists
                                                                         : RenameAction::WouldRename;
        return step;
    }
    if (journal) {
        // A taken name would only leave a line for a rename that never happens.
        if (fs::exists(fs::symlink_status(step.target, error))) {
            step.action = RenameAction::TargetExists;
            return step;
        }
        if (!journal->Record(path, step.target, step.error)) {
            step.action = RenameAction::Failed;
            return step;
        }
    }
    switch (MoveNoReplace(path, step.target, error)) {
    case MoveResult::Moved: step.action = RenameAction::Renamed; break;
    case MoveResult::TargetExists: step.action = RenameAction::TargetExists; break;
    case MoveResult::Failed:
        step.action = RenameAction::Failed;
        step.error = SystemErrorText(error);
        break;
    }
    return step;
}
