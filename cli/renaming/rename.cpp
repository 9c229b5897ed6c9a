#include "rename.h"
#include "platform_cli.h"

#include "ascii.h"
#include "file_names.h"
#include "detection.h"

#include <algorithm>
#include <numeric>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

NativeString Folded(NativeString text)
{
    for (auto& c : text)
        c = AsciiLower(c);
    return text;
}

// The type's extensions as the console program compares them: read as UTF-8
// by the set's own rule (as its outcomes are), then as a file name holds them.
std::vector<NativeString> FoldedExtensions(const SignatureTable& table, const SignatureType& type)
{
    std::vector<NativeString> extensions;
    for (const std::string& ext : type.extensions) {
        if (!ext.empty())
            extensions.push_back(Folded(NativeFromSignatureText(SignatureTextAsUtf8(ext, table.declaredEncoding))));
    }
    return extensions;
}

const MagicRule* OpeningTest(const SignatureType& type)
{
    const MagicRule& first = type.magics.front();
    const bool fixed = first.valid && first.form == MagicForm::Classic && first.anchor == MagicAnchor::Offset;
    return fixed && !first.pattern.empty() ? &first : nullptr;
}

// Whether every file that passes `longer` passes `shorter`: the same place,
// and `shorter`'s bytes begin `longer`'s.
bool OpensAs(const MagicRule& longer, const MagicRule& shorter)
{
    return longer.offset == shorter.offset && longer.pattern.size() >= shorter.pattern.size()
        && std::equal(shorter.pattern.begin(), shorter.pattern.end(), longer.pattern.begin(),
                      [](const PatternByte& a, const PatternByte& b) {
                          return a.wildcard == b.wildcard && (a.wildcard || a.value == b.value);
                      });
}

// The containers that structure forms look into: a type with such a form
// is built on that container.
enum Container : unsigned { kZip = 1, kCompoundFile = 2, kGzip = 4 };

unsigned ContainersRead(const SignatureType& type)
{
    unsigned containers = 0;
    for (const MagicRule& rule : type.magics) {
        if (!rule.valid)
            continue;
        if (rule.form == MagicForm::ZipMember)
            containers |= kZip;
        else if (rule.form == MagicForm::OleEntry || rule.form == MagicForm::OleClsid)
            containers |= kCompoundFile;
        else if (rule.form == MagicForm::Gzip)
            containers |= kGzip;
    }
    return containers;
}

// What the families are worked out from, asked of each type once.
struct TypeTraits {
    const MagicRule* opening;
    bool text;
    unsigned containers;
};

// The types (indices) a general type's answer stands for, itself included.
std::vector<std::size_t> FamilyMembers(const std::vector<TypeTraits>& traits, std::size_t general)
{
    const TypeTraits& type = traits[general];
    std::vector<bool> member(traits.size(), false);
    member[general] = true;
    unsigned containers = 0;
    for (std::size_t i = 0; i < traits.size(); ++i) {
        if (type.opening && traits[i].opening && OpensAs(*traits[i].opening, *type.opening)) {
            member[i] = true;
            containers |= traits[i].containers;
        } else if (type.text && traits[i].text) {
            member[i] = true;
        }
    }
    // A container's answer also stands for the types that find it by its
    // directory rather than by its first bytes.
    for (std::size_t i = 0; containers && i < traits.size(); ++i)
        member[i] = member[i] || (traits[i].containers & containers) != 0;
    std::vector<std::size_t> members;
    for (std::size_t i = 0; i < member.size(); ++i) {
        if (member[i])
            members.push_back(i);
    }
    return members;
}

std::size_t Root(std::vector<std::size_t>& parent, std::size_t i)
{
    while (parent[i] != i)
        i = parent[i] = parent[parent[i]];
    return i;
}

bool Among(const std::vector<NativeString>& extensions, const NativeString& folded)
{
    return std::find(extensions.begin(), extensions.end(), folded) != extensions.end();
}

} // namespace

ExtensionClaims ClaimsOf(const SignatureTable& table)
{
    ExtensionClaims claims;
    std::vector<std::vector<NativeString>> extensions;
    std::vector<TypeTraits> traits;
    std::vector<std::size_t> generals;
    for (std::size_t i = 0; i < table.types.size(); ++i) {
        const SignatureType& type = table.types[i];
        traits.push_back({OpeningTest(type), IsTextType(type), ContainersRead(type)});
        extensions.push_back(FoldedExtensions(table, type));
        claims.claimed.insert(extensions.back().begin(), extensions.back().end());
        if (table.types[i].general && !extensions.back().empty())
            generals.push_back(i);
    }

    // General types that share an extension make one family: union them.
    std::vector<std::size_t> parent(generals.size());
    std::iota(parent.begin(), parent.end(), std::size_t{0});
    std::unordered_map<NativeString, std::size_t> firstGeneral;
    for (std::size_t g = 0; g < generals.size(); ++g) {
        for (const NativeString& ext : extensions[generals[g]]) {
            auto [seen, fresh] = firstGeneral.emplace(ext, g);
            if (!fresh)
                parent[Root(parent, g)] = Root(parent, seen->second);
        }
    }
    std::unordered_map<std::size_t, std::size_t> familyOfRoot;
    for (std::size_t g = 0; g < generals.size(); ++g) {
        auto [family, fresh] = familyOfRoot.emplace(Root(parent, g), claims.families.size());
        if (fresh)
            claims.families.emplace_back();
        for (std::size_t member : FamilyMembers(traits, generals[g]))
            claims.families[family->second].insert(extensions[member].begin(), extensions[member].end());
    }
    for (const auto& [ext, g] : firstGeneral)
        claims.familyByExtension.emplace(ext, familyOfRoot.at(Root(parent, g)));
    return claims;
}

bool IsMismatch(const ExtensionClaims& claims, const fs::path& path, const DetectionOutcome& outcome)
{
    if (outcome.state != DetectionState::Detected || outcome.extensions.empty())
        return false;
    std::vector<NativeString> answer;
    for (const std::string& ext : outcome.extensions)
        answer.push_back(Folded(NativeFromSignatureText(ext)));

    const NativeString name = path.filename().native();
    const NativeString stem = name.substr(0, ExtensionStart(name));
    const NativeString current = Folded(name.substr(stem.size()));
    // A name without an extension is the convention of source trees and
    // systems (README, configure, debian/rules): only a specific answer is
    // evidence enough to give it one. A general answer is still shown with
    // its extensions, for the user to choose.
    if (current.empty())
        return !outcome.general;
    if (Among(answer, current))
        return false;
    const bool known = claims.claimed.count(current) != 0;
    if (outcome.general) {
        if (!known)
            return false;
        for (const NativeString& ext : answer) {
            const auto family = claims.familyByExtension.find(ext);
            if (family != claims.familyByExtension.end())
                return claims.families[family->second].count(current) == 0;
        }
    }
    // An extension the set does not know, after one of the answer's: the
    // suffix of a template or a copy ("Info.plist.in", "page.html.j2").
    return known || !Among(answer, Folded(stem.substr(ExtensionStart(stem))));
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
