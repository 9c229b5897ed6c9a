#include "cli.h"
#include "text.h"

#include "detection.h"
#include "platform_file.h"

#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: kindsniffer-cli [--signatures FILE] [--json] PATH...\n";

struct CliOptions {
    std::filesystem::path signaturePath;
    bool json = false;
    std::vector<std::filesystem::path> paths;
};

// Options are ASCII; compare them against the native argument without
// converting it, so that no argument is ever mangled on the way.
bool ArgEquals(const std::filesystem::path& arg, std::string_view text)
{
    const auto& native = arg.native();
    if (native.size() != text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (native[i] != static_cast<std::filesystem::path::value_type>(text[i]))
            return false;
    }
    return true;
}

bool StartsWithDash(const std::filesystem::path& arg)
{
    return !arg.native().empty() && arg.native()[0] == '-';
}

// Returns false, having said why on `err`, for arguments that make no sense.
bool ParseArguments(const std::vector<std::filesystem::path>& args, CliOptions& options, std::FILE* err)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& arg = args[i];
        if (optionsEnded || !StartsWithDash(arg) || ArgEquals(arg, "-")) {
            options.paths.push_back(arg);
        } else if (ArgEquals(arg, "--")) {
            optionsEnded = true;
        } else if (ArgEquals(arg, "--json")) {
            options.json = true;
        } else if (ArgEquals(arg, "--signatures")) {
            if (i + 1 == args.size()) {
                std::fprintf(err, "kindsniffer-cli: --signatures needs a file\n");
                return false;
            }
            options.signaturePath = args[++i];
        } else {
            std::fprintf(err, "kindsniffer-cli: unknown option %s\n", DisplayText(arg.native()).c_str());
            return false;
        }
    }
    if (options.paths.empty()) {
        std::fprintf(err, "kindsniffer-cli: no file to examine\n");
        return false;
    }
    return true;
}

const char* StateName(DetectionState state)
{
    switch (state) {
    case DetectionState::Detected: return "detected";
    case DetectionState::Unreadable: return "unreadable";
    case DetectionState::Undetermined: return "undetermined";
    }
    return "undetermined";
}

void PrintJson(std::FILE* out, const std::filesystem::path& path, const DetectionOutcome& outcome)
{
    std::string line = "{\"path\": " + JsonString(path.native()) + ", \"state\": \"" + StateName(outcome.state)
                     + "\", \"title\": " + JsonString(outcome.title) + ", \"extensions\": [";
    for (std::size_t i = 0; i < outcome.extensions.size(); ++i) {
        if (i)
            line += ", ";
        line += JsonString(outcome.extensions[i]);
    }
    line += "]}\n";
    std::fwrite(line.data(), 1, line.size(), out);
}

void PrintReadable(std::FILE* out, const std::filesystem::path& path, const DetectionOutcome& outcome)
{
    std::string line = DisplayText(path.native()) + ": ";
    if (outcome.state == DetectionState::Detected) {
        line += DisplayText(outcome.title);
        for (std::size_t i = 0; i < outcome.extensions.size(); ++i)
            line += (i ? " " : " (") + DisplayText(outcome.extensions[i]);
        if (!outcome.extensions.empty())
            line += ")";
    } else {
        line += outcome.state == DetectionState::Unreadable ? "(cannot be opened)" : "(unknown type)";
    }
    line += "\n";
    std::fwrite(line.data(), 1, line.size(), out);
}

} // namespace

int RunCli(const std::vector<std::filesystem::path>& args, std::FILE* out, std::FILE* err)
{
    CliOptions options;
    if (!ParseArguments(args, options, err)) {
        std::fputs(kUsage, err);
        return ExitUsage;
    }
    if (options.signaturePath.empty())
        options.signaturePath = ExecutablePath().parent_path() / "Kindsniffer.xml";

    // A missing signature file would turn every answer into "unknown": refuse instead.
    if (!OpenStdioForReading(options.signaturePath)) {
        std::fprintf(err, "kindsniffer-cli: cannot open signature file %s\n",
                     DisplayText(options.signaturePath.native()).c_str());
        return ExitUsage;
    }
    const SignatureTable table = LoadSignatureTable(options.signaturePath);
    if (!table.usable) {
        std::fprintf(err, "kindsniffer-cli: warning: %s has no <dat><types> list; no type can be detected\n",
                     DisplayText(options.signaturePath.native()).c_str());
    }

    int exitCode = ExitExamined;
    for (const auto& path : options.paths) {
        const DetectionOutcome outcome = DetectWithTable(table, path);
        if (outcome.state == DetectionState::Unreadable)
            exitCode = ExitUnreadable;
        if (options.json)
            PrintJson(out, path, outcome);
        else
            PrintReadable(out, path, outcome);
    }
    std::fflush(out);
    return exitCode;
}
