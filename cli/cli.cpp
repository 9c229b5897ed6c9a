#include "cli.h"
#include "explain.h"
#include "batch.h"
#include "lint.h"
#include "names.h"
#include "platform_cli.h"
#include "text.h"

#include "detection.h"
#include "platform_file.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage = "usage: kindsniffer-cli [OPTIONS] PATH...\n"
                               "       kindsniffer-cli --lint FILE\n"
                               "Try 'kindsniffer-cli --help' for more.\n";

constexpr const char* kHelp =
    "usage: kindsniffer-cli [OPTIONS] PATH...\n"
    "       kindsniffer-cli --lint FILE\n"
    "\n"
    "Tells what kind of file each PATH really is, from its bytes.\n"
    "\n"
    "  --signatures FILE   signature file (default: Kindsniffer.xml beside the program,\n"
    "                      or else in ../share/kindsniffer/ from the program's folder)\n"
    "  -r, --recursive     examine the files in directories, and in theirs\n"
    "  -L, --follow-links  with -r, also walk directories reached through symbolic links\n"
    "  --json              one JSON object per line instead of a table\n"
    "  --mismatch          list only files whose extension does not fit their type\n"
    "  --rename            give each such file the first extension of its type;\n"
    "                      never overwrites, never touches an unknown or unreadable file\n"
    "  --dry-run           with --rename: only tell what would be renamed\n"
    "  --explain           say why: the type's line in the signature file, where each\n"
    "                      of its patterns held, or how many types were tried\n"
    "  --lint FILE         check a signature file and report its problems\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 when every file was examined (and every rename done), 1 when a\n"
    "file could not be read or a rename failed, 2 for bad arguments or a signature\n"
    "file that cannot be opened, 3 when the output could not be written.\n"
    "--lint: 0 when clean, 1 with findings, 2 when the file cannot be read.\n";

struct CliOptions {
    fs::path signaturePath;
    std::optional<fs::path> lintFile;
    bool json = false;
    bool recursive = false;
    bool followLinks = false;
    bool mismatchOnly = false;
    bool rename = false;
    bool dryRun = false;
    bool explain = false;
    bool help = false;
    bool version = false;
    std::vector<fs::path> paths;
};

enum class RenameAction { Renamed, WouldRename, TargetExists, Failed, UnusableExtension };

struct RenameStep {
    RenameAction action;
    fs::path target;
    std::string error;
};

struct Examined {
    fs::path path;
    DetectionOutcome outcome;
    std::optional<RenameStep> rename;
    std::optional<DetectionBasis> basis;  // with --explain
};

// Options are ASCII; compare them against the native argument without
// converting it, so that no argument is ever mangled on the way.
bool ArgEquals(const fs::path& arg, std::string_view text)
{
    const auto& native = arg.native();
    return std::equal(native.begin(), native.end(), text.begin(), text.end(),
                      [](auto a, char b) { return a == static_cast<fs::path::value_type>(b); });
}

bool LooksLikeOption(const fs::path& arg)
{
    return arg.native().size() > 1 && arg.native()[0] == '-';
}

// Returns false, having said why on `err`, for arguments that make no sense.
bool ParseArguments(const std::vector<fs::path>& args, CliOptions& options, std::FILE* err)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& arg = args[i];

        if (optionsEnded || !LooksLikeOption(arg)) {
            options.paths.push_back(arg);
        } else if (ArgEquals(arg, "--")) {
            optionsEnded = true;
        } else if (ArgEquals(arg, "--json")) {
            options.json = true;
        } else if (ArgEquals(arg, "-r") || ArgEquals(arg, "--recursive")) {
            options.recursive = true;
        } else if (ArgEquals(arg, "-L") || ArgEquals(arg, "--follow-links")) {
            options.followLinks = true;
        } else if (ArgEquals(arg, "--mismatch")) {
            options.mismatchOnly = true;
        } else if (ArgEquals(arg, "--rename")) {
            options.rename = true;
        } else if (ArgEquals(arg, "--dry-run")) {
            options.dryRun = true;
        } else if (ArgEquals(arg, "--explain")) {
            options.explain = true;
        } else if (ArgEquals(arg, "--help") || ArgEquals(arg, "-h")) {
            options.help = true;
        } else if (ArgEquals(arg, "--version")) {
            options.version = true;
        } else if (ArgEquals(arg, "--signatures") || ArgEquals(arg, "--lint")) {
            if (i + 1 == args.size()) {
                std::fprintf(err, "kindsniffer-cli: %s needs a file\n", DisplayText(arg.native()).c_str());
                return false;
            }
            fs::path& value = ArgEquals(arg, "--lint") ? options.lintFile.emplace() : options.signaturePath;
            value = args[++i];
        } else {
            std::fprintf(err, "kindsniffer-cli: unknown option %s\n", DisplayText(arg.native()).c_str());
            return false;
        }
    }
    if (options.help || options.version || options.lintFile)
        return true;
    if (options.dryRun && !options.rename) {
        std::fprintf(err, "kindsniffer-cli: --dry-run goes with --rename\n");
        return false;
    }
    if (options.paths.empty()) {
        std::fprintf(err, "kindsniffer-cli: no file to examine\n");
        return false;
    }
    return true;
}

// Directory entries in a stable order: by name, compared as the system stores it.
void WalkDirectory(const fs::path& dir, const CliOptions& options, std::set<fs::path>& visited,
                   std::vector<fs::path>& files, std::FILE* err)
{
    std::error_code error;
    if (options.followLinks) {
        // A link back up the tree would otherwise be walked forever.
        auto real = fs::canonical(dir, error);
        if (error) {
            // Unresolved, it could not be told from a directory already
            // walked; skipping it in silence would lose everything under it.
            std::fprintf(err, "kindsniffer-cli: cannot work out the real path of %s: %s\n",
                         DisplayText(dir.native()).c_str(), error.message().c_str());
            files.push_back(dir);  // reported as unreadable, as a folder that cannot be listed
            return;
        }
        if (!visited.insert(real).second)
            return;
    }
    // What the listing reports of each entry, so that walking costs no system
    // call per file; only a link's target has to be looked up.
    struct Entry {
        fs::path path;
        bool isLink;
        bool isDirectory;  // for a link: whether it leads to a directory
    };
    std::vector<Entry> entries;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        std::error_code unknown;  // an entry whose type cannot be told is examined, and reported
        entries.push_back({it->path(), it->is_symlink(unknown), it->is_directory(unknown)});
    }
    if (error) {
        std::fprintf(err, "kindsniffer-cli: cannot list %s: %s\n", DisplayText(dir.native()).c_str(),
                     error.message().c_str());
        files.push_back(dir);  // reported as unreadable, so the failure shows in the results too
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.path.native() < b.path.native(); });

    for (Entry& entry : entries) {
        if (!entry.isDirectory)
            files.push_back(std::move(entry.path));  // a file, a link to one, or a broken link
        else if (!entry.isLink || options.followLinks)
            WalkDirectory(entry.path, options, visited, files, err);
    }
}

std::vector<fs::path> CollectFiles(const CliOptions& options, std::FILE* err)
{
    std::vector<fs::path> files;
    std::set<fs::path> visited;
    std::error_code error;
    for (const fs::path& path : options.paths) {
        if (options.recursive && fs::is_directory(path, error))
            WalkDirectory(path, options, visited, files, err);
        else
            files.push_back(path);
    }
    return files;
}

bool IsMismatch(const Examined& item)
{
    if (item.outcome.state != DetectionState::Detected || item.outcome.extensions.empty())
        return false;
    std::vector<NativeString> extensions;
    for (const std::string& ext : item.outcome.extensions)
        extensions.push_back(NativeFromSignatureText(ext));
    return !HasExtensionAmong(item.path, extensions);
}

RenameStep PlanAndRename(const Examined& item, bool dryRun)
{
    const NativeString extension = NativeFromSignatureText(item.outcome.extensions.front());
    if (!IsUsableExtension(extension))
        return {RenameAction::UnusableExtension, {}, "the type's first extension cannot be used in a file name"};
    RenameStep step{RenameAction::Renamed, RenameTarget(item.path, extension), {}};

    std::error_code error;
    if (dryRun) {
        step.action = fs::exists(fs::symlink_status(step.target, error)) ? RenameAction::TargetExists
                                                                         : RenameAction::WouldRename;
        return step;
    }
    switch (RenameNoReplace(item.path, step.target, step.error)) {
    case RenameResult::Renamed: step.action = RenameAction::Renamed; break;
    case RenameResult::TargetExists: step.action = RenameAction::TargetExists; break;
    case RenameResult::Failed: step.action = RenameAction::Failed; break;
    }
    return step;
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

void PrintJson(std::FILE* out, const Examined& item)
{
    const DetectionOutcome& outcome = item.outcome;
    std::string line = "{\"path\": " + JsonString(item.path.native()) + ", \"state\": \"" + StateName(outcome.state)
                     + "\", \"title\": " + JsonString(outcome.title) + ", \"extensions\": [";
    for (std::size_t i = 0; i < outcome.extensions.size(); ++i)
        line += (i ? ", " : "") + JsonString(outcome.extensions[i]);
    line += "]";
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

std::string TypeColumn(const DetectionOutcome& outcome)
{
    switch (outcome.state) {
    case DetectionState::Detected: return DisplayText(outcome.title);
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

void PrintTable(std::FILE* out, const std::vector<Examined>& rows)
{
    constexpr std::size_t kMaxColumn = 40;
    std::size_t typeWidth = 0, extWidth = 0, pathWidth = 0;
    for (const Examined& row : rows) {
        typeWidth = std::max(typeWidth, std::min(kMaxColumn, DisplayWidth(TypeColumn(row.outcome))));
        extWidth = std::max(extWidth, std::min(kMaxColumn, DisplayWidth(ExtensionsColumn(row.outcome))));
        if (row.rename)
            pathWidth = std::max(pathWidth, std::min(2 * kMaxColumn, DisplayWidth(DisplayText(row.path.native()))));
    }
    auto pad = [](std::string text, std::size_t width) {
        const std::size_t shown = DisplayWidth(text);
        return text + std::string(shown < width ? width - shown : 0, ' ');
    };
    for (const Examined& row : rows) {
        std::string line = pad(TypeColumn(row.outcome), typeWidth) + "  " + pad(ExtensionsColumn(row.outcome), extWidth)
                         + "  " + pad(DisplayText(row.path.native()), pathWidth);
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

// "examined 1200 of 10000" on one self-overwriting line, a few times a second.
struct Progress {
    std::FILE* err;
    bool enabled;
    std::size_t total;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    bool shown = false;

    void Update(std::size_t done)
    {
        if (!enabled)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::milliseconds(100))
            return;
        last = now;
        shown = true;
        std::fprintf(err, "\rexamined %zu of %zu", done, total);
        std::fflush(err);
    }
    void Finish()
    {
        if (shown)
            std::fprintf(err, "\r%*s\r", 40, "");
    }
};

bool OutputFailed(std::FILE* out)
{
    return std::ferror(out) != 0;
}

// What a batch did that its lost report would have told: the renames.
void TellRenamesOnError(const std::vector<Examined>& rows, std::FILE* err)
{
    for (const Examined& row : rows) {
        if (row.rename && row.rename->action == RenameAction::Renamed)
            std::fprintf(err, "kindsniffer-cli: renamed %s -> %s\n", DisplayText(row.path.native()).c_str(),
                         DisplayText(row.rename->target.native()).c_str());
    }
}

int Examine(const CliOptions& options, std::FILE* out, std::FILE* err)
{
    const SignatureTable table = LoadSignatureTable(options.signaturePath);
    // A missing signature file would turn every answer into "unknown": refuse instead.
    if (table.state == SignatureFileState::Unreadable) {
        std::fprintf(err, "kindsniffer-cli: cannot read signature file %s: it %s\n",
                     DisplayText(options.signaturePath.native()).c_str(), WholeFileProblem(table.file));
        return static_cast<int>(CliExit::Usage);
    }
    if (table.state == SignatureFileState::Unusable) {
        std::fprintf(err, "kindsniffer-cli: warning: %s has no <dat><types> list; no type can be detected\n",
                     DisplayText(options.signaturePath.native()).c_str());
    }

    std::vector<fs::path> files = CollectFiles(options, err);
    Progress progress{err, files.size() > 1 && IsTerminal(err), files.size()};
    std::vector<Examined> rows;
    int exitCode = static_cast<int>(CliExit::Examined);
    std::error_code error;
    // With renames, each line goes out before the next file is touched, so
    // that no rename happens once its report can no longer be written.
    const bool renaming = options.rename && !options.dryRun;

    // A rename must be done before the next file is examined (the same file
    // may be named twice), so a renaming batch examines one file at a time.
    const unsigned workers = renaming ? 1 : BatchWorkers(files.size());
    ExamineInOrder(table, files, workers, options.explain, [&](std::size_t i, BatchResult&& result) {
        // No worker touches a file's path again once its outcome is handed on.
        Examined item{std::move(files[i]), std::move(result.outcome), std::nullopt, std::move(result.basis)};
        progress.Update(i + 1);
        if (item.outcome.state == DetectionState::Unreadable) {
            exitCode = static_cast<int>(CliExit::Unreadable);
            if (!options.recursive && fs::is_directory(item.path, error))
                std::fprintf(err, "kindsniffer-cli: %s is a directory (use -r to examine its files)\n",
                             DisplayText(item.path.native()).c_str());
        }
        const bool mismatch = (options.mismatchOnly || options.rename) && IsMismatch(item);
        if (options.mismatchOnly && !mismatch)
            return true;
        if (options.rename && mismatch) {
            item.rename = PlanAndRename(item, options.dryRun);
            if (item.rename->action == RenameAction::Failed)
                exitCode = static_cast<int>(CliExit::RenameFailed);
        }
        if (!options.json) {
            rows.push_back(std::move(item));
            return true;
        }
        PrintJson(out, item);
        const bool lost = renaming && (std::fflush(out) != 0 || OutputFailed(out));
        if (item.rename)
            rows.push_back(std::move(item));  // kept only to be told should the output fail
        return !lost;
    });
    progress.Finish();
    if (!options.json)
        PrintTable(out, rows);
    if (std::fflush(out) != 0 || OutputFailed(out)) {
        TellRenamesOnError(rows, err);
        return static_cast<int>(CliExit::OutputFailed);
    }
    return exitCode;
}

// Beside the program, as the dialog keeps it; an installed program (bin/)
// finds the set in ../share/kindsniffer/ instead. When neither exists the
// path beside the program is the one an error names.
fs::path DefaultSignaturePath(const fs::path& programDir)
{
    const fs::path beside = programDir / "Kindsniffer.xml";
    const fs::path shared = programDir.parent_path() / "share" / "kindsniffer" / "Kindsniffer.xml";
    std::error_code error;
    if (fs::exists(beside, error) || !fs::exists(shared, error))
        return beside;
    return shared;
}

} // namespace

namespace {

int RunCommand(const std::vector<fs::path>& args, std::FILE* out, std::FILE* err)
{
    CliOptions options;
    if (!ParseArguments(args, options, err)) {
        std::fputs(kUsage, err);
        return static_cast<int>(CliExit::Usage);
    }
    if (options.help) {
        std::fputs(kHelp, out);
        return static_cast<int>(CliExit::Examined);
    }
    if (options.version) {
        std::fputs("kindsniffer-cli " KINDSNIFFER_VERSION "\n", out);
        return static_cast<int>(CliExit::Examined);
    }
    if (options.lintFile)
        return RunLint(*options.lintFile, out, err);
    if (options.signaturePath.empty())
        options.signaturePath = DefaultSignaturePath(ExecutablePath().parent_path());
    return Examine(options, out, err);
}

} // namespace

int RunCli(const std::vector<fs::path>& args, std::FILE* out, std::FILE* err)
{
    const int code = RunCommand(args, out, err);
    // Whatever the command, output that did not arrive whole is a failure,
    // never a success (a full disk, a closed pipe, /dev/full).
    if (std::fflush(out) != 0 || OutputFailed(out)) {
        std::fprintf(err, "kindsniffer-cli: cannot write the output; it is incomplete\n");
        return static_cast<int>(CliExit::OutputFailed);
    }
    return code;
}
