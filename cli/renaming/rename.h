// --mismatch and --rename: which files wear the wrong extension, and giving
// them their type's first one without ever replacing a file.
#pragma once

#include "detection.h"
#include "journal.h"
#include "file_names.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

enum class RenameAction { Renamed, WouldRename, TargetExists, Failed, UnusableExtension };

struct RenameStep {
    RenameAction action;
    std::filesystem::path target;
    std::string error;
};

// What the mismatch rule asks of a signature set, worked out once per loaded
// table rather than per file. Extensions are held as file names carry them,
// ASCII letters in lower case.
struct ExtensionClaims {
    // Every extension some type of the set claims: any other names nothing the set knows.
    std::unordered_set<NativeString> claimed;
    // The extensions a member of each family may carry. A general answer
    // stands for every file that opens as it does: every text type for a
    // text answer, the types that share its opening test, and, where those
    // look inside a container (a zip, ole or gzip form), every type that does.
    std::vector<std::unordered_set<NativeString>> families;
    // A general answer's family, found by any of its extensions: general
    // types that share one ("ZIP archive" and "ZIP archive (empty)", the
    // XML declaration's fallback and the XML root test) share their family.
    std::unordered_map<NativeString, std::size_t> familyByExtension;
};

ExtensionClaims ClaimsOf(const SignatureTable& table);

// A detected file whose name does not fit its answer, so that a rename would
// give it the answer's extension. Extensions compare without regard to case;
// undetermined and unreadable files never mismatch. A name fits when
// - its extension is among the answer's;
// - the answer is general and its extension is unknown to the set, or one
//   that a member of the answer's family claims ("tool.py" read as Text);
// - its extension is unknown to the set and the one before it is among the
//   answer's: a template or a copy keeps its name ("Info.plist.in").
// A file without an extension, or with one the set gives to an unrelated
// format, does not fit even a general answer.
bool IsMismatch(const ExtensionClaims& claims, const std::filesystem::path& path, const DetectionOutcome& outcome);

// For a mismatched file: renames it to its type's first extension, or with
// `dryRun` only tells whether that would be done. With a `journal`, the
// rename is recorded there first, and fails if it cannot be.
RenameStep PlanAndRename(const std::filesystem::path& path, const DetectionOutcome& outcome, bool dryRun,
                         Journal* journal = nullptr);
