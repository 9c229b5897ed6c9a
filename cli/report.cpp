#include "report.h"
#include "explain.h"
#include "platform_cli.h"

#include "escaping.h"

#include <algorithm>
#include <string>

namespace {

const char* StateName(DetectionState state)
{
    switch (state) {
    case DetectionState::Detected: return "detected";
    case DetectionState::Unreadable: return "unreadable";
    case DetectionState::Undetermined: return "undetermined";
    }
    return "undetermined";
}

const char* ActionName(RenameAction action)
{
    switch (action) {
    case RenameAction::Renamed: return "renamed";
    case RenameAction::WouldRename: return "would-rename";
    case RenameAction::TargetExists: return "exists";
    case RenameAction::Failed: return "failed";
    case RenameAction::UnusableExtension: return "unusable-extension";
    }
    return "failed";
}

void Write(std::FILE* out, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), out);
}

} // namespace

std::string UnreadableReason(const DetectionOutcome& outcome)
{
    return outcome.error ? SystemErrorText(outcome.error) : std::string("cannot be read");
}

void TellUnreadable(const Examined& item, bool recursive, std::FILE* err)
{
    const bool folder = item.outcome.error == std::errc::is_a_directory;
    std::fprintf(err, "kindsniffer-cli: %s: %s%s\n", DisplayText(item.path.native()).c_str(),
                 DisplayText(UnreadableReason(item.outcome)).c_str(),
                 folder && !recursive ? " (use -r to examine its files)" : "");
}

void PrintJson(std::FILE* out, const Examined& item)
{
    const DetectionOutcome& outcome = item.outcome;
    std::string line = "{\"path\": " + JsonString(item.path.native()) + ", \"state\": \"" + StateName(outcome.state)
                     + "\", \"title\": " + JsonString(outcome.title) + ", \"extensions\": [";
    for (std::size_t i = 0; i < outcome.extensions.size(); ++i)
        line += (i ? ", " : "") + JsonString(outcome.extensions[i]);
    line += "]";
    // Only where the type names one, so that a set without them prints as it always has.
    if (outcome.state == DetectionState::Detected && !outcome.mimeType.empty())
        line += ", \"mime\": " + JsonString(outcome.mimeType);
    // Only where it holds, so that a line of a specific answer reads as it always has.
    if (outcome.state == DetectionState::Detected && outcome.general)
        line += ", \"general\": true";
    if (outcome.state == DetectionState::Unreadable)
        line += ", \"error\": " + JsonString(UnreadableReason(outcome));
    if (item.rename) {
        line += std::string(", \"rename\": {\"result\": \"") + ActionName(item.rename->action) + "\"";
        if (!item.rename->target.empty())
            line += ", \"to\": " + JsonString(item.rename->target.native());
        if (!item.rename->error.empty())
            line += ", \"error\": " + JsonString(item.rename->error);
        line += "}";
    }
    if (item.basis)
        line += ", \"basis\": " + ExplainJson(outcome.state, *item.basis);
    line += "}\n";
    Write(out, line);
}

namespace {

std::string TypeColumn(const DetectionOutcome& outcome)
{
    switch (outcome.state) {
    // A general answer says so: its extension is only the family's.
    case DetectionState::Detected: return DisplayText(outcome.title) + (outcome.general ? " (general)" : "");
    case DetectionState::Unreadable: return "(cannot be opened)";
    case DetectionState::Undetermined: return "(unknown type)";
    }
    return {};
}

std::string ExtensionsColumn(const DetectionOutcome& outcome)
{
    std::string text;
    for (const std::string& ext : outcome.extensions)
        text += (text.empty() ? "" : " ") + DisplayText(ext);
    return text;
}

// A type without one, and a file with no type, leave the column blank.
std::string MimeColumn(const DetectionOutcome& outcome)
{
    return outcome.state == DetectionState::Detected ? DisplayText(outcome.mimeType) : std::string();
}

std::string RenameColumn(const RenameStep& step)
{
    const std::string target = DisplayText(step.target.filename().native());
    switch (step.action) {
    case RenameAction::Renamed: return "-> " + target;
    case RenameAction::WouldRename: return "-> " + target + " (dry run)";
    case RenameAction::TargetExists: return "kept: " + target + " exists";
    case RenameAction::Failed: return "FAILED -> " + target + ": " + step.error;
    case RenameAction::UnusableExtension: return "kept: " + step.error;
    }
    return {};
}

std::size_t DisplayWidth(const std::string& utf8)
{
    // Close enough for alignment: count code points, not bytes.
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

} // namespace

void PrintTable(std::FILE* out, const std::vector<Examined>& rows, bool mime)
{
    constexpr std::size_t kMaxColumn = 40;
    std::size_t typeWidth = 0, extWidth = 0, mimeWidth = 0, pathWidth = 0;
    for (const Examined& row : rows) {
        typeWidth = std::max(typeWidth, std::min(kMaxColumn, DisplayWidth(TypeColumn(row.outcome))));
        extWidth = std::max(extWidth, std::min(kMaxColumn, DisplayWidth(ExtensionsColumn(row.outcome))));
        if (mime)
            mimeWidth = std::max(mimeWidth, std::min(kMaxColumn, DisplayWidth(MimeColumn(row.outcome))));
        if (row.rename)
            pathWidth = std::max(pathWidth, std::min(2 * kMaxColumn, DisplayWidth(DisplayText(row.path.native()))));
    }
    auto pad = [](std::string text, std::size_t width) {
        const std::size_t shown = DisplayWidth(text);
        return text + std::string(shown < width ? width - shown : 0, ' ');
    };
    for (const Examined& row : rows) {
        std::string line = pad(TypeColumn(row.outcome), typeWidth) + "  " + pad(ExtensionsColumn(row.outcome), extWidth)
                         + "  ";
        if (mime)
            line += pad(MimeColumn(row.outcome), mimeWidth) + "  ";
        line += pad(DisplayText(row.path.native()), pathWidth);
        if (row.rename)
            line += "  " + RenameColumn(*row.rename);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        Write(out, line + "\n");
        if (row.basis) {
            for (const std::string& why : ExplainLines(row.outcome.state, *row.basis))
                Write(out, "    " + why + "\n");
        }
    }
}

bool OutputFailed(std::FILE* out)
{
    return std::ferror(out) != 0;
}

void TellRenamesOnError(const std::vector<Examined>& rows, std::FILE* err)
{
    for (const Examined& row : rows) {
        if (row.rename && row.rename->action == RenameAction::Renamed)
            std::fprintf(err, "kindsniffer-cli: renamed %s -> %s\n", DisplayText(row.path.native()).c_str(),
                         DisplayText(row.rename->target.native()).c_str());
    }
}
