#include "options.h"
#include "platform_cli.h"

#include "escaping.h"

#include <algorithm>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

const char* const kUsage = "usage: kindsniffer-cli [OPTIONS] PATH...\n"
                           "       kindsniffer-cli [OPTIONS] --files-from FILE [PATH...]\n"
                           "       kindsniffer-cli --lint FILE\n"
                           "       kindsniffer-cli --undo JOURNAL\n"
                           "Try 'kindsniffer-cli --help' for more.\n";

const char* const kHelp =
    "usage: kindsniffer-cli [OPTIONS] PATH...\n"
    "       kindsniffer-cli [OPTIONS] --files-from FILE [PATH...]\n"
    "       kindsniffer-cli --lint FILE\n"
    "       kindsniffer-cli --undo JOURNAL\n"
    "\n"
    "Tells what kind of file each PATH really is, from its bytes.\n"
    "\n"
    "  --signatures FILE   signature file (default: Kindsniffer.xml beside the program,\n"
    "                      or else in ../share/kindsniffer/ from the program's folder)\n"
    "  -r, --recursive     examine the files in directories, and in theirs\n"
    "  -L, --follow-links  with -r, also walk directories reached through symbolic links\n"
    "  --files-from FILE   also examine the paths listed in FILE (- for standard input),\n"
    "                      one a line, after those given as arguments; a line's\n"
    "                      trailing CR is dropped and empty lines are skipped. Each\n"
    "                      path is used as it is written: bytes on Linux, UTF-8 on\n"
    "                      Windows. With --json the list is read as it is examined,\n"
    "                      so a list of any length takes the same memory\n"
    "  -0, --null          with --files-from: the paths end in NUL bytes instead\n"
    "  --json              one JSON object per line instead of a table; a type's\n"
    "                      MIME type is its \"mime\"\n"
    "  --mime              add a column with each type's MIME type to the table\n"
    "  --mismatch          list only files whose extension does not fit their type;\n"
    "                      a general answer, marked (general), fits the extensions\n"
    "                      of its family and those the signature file does not know\n"
    "  --rename            give each such file the first extension of its type;\n"
    "                      never overwrites, never touches an unknown or unreadable file\n"
    "  --dry-run           with --rename: only tell what would be renamed\n"
    "  --journal JOURNAL   with --rename: record each rename in JOURNAL, a new file\n"
    "                      (one that exists is refused), before it is done; no\n"
    "                      rename happens that its journal does not hold\n"
    "  --undo JOURNAL      rename back, newest first, each file of JOURNAL whose new\n"
    "                      name still holds it (same size and modification time);\n"
    "                      never overwrites, and tells what it could not undo\n"
    "  --explain           say why: the type's line in the signature file, where each\n"
    "                      of its patterns held, or how many types were tried\n"
    "  --lint FILE         check a signature file and report its problems\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 when every file was examined (and every rename done), 1 when a\n"
    "file could not be read, 2 for bad arguments or a signature file that cannot be\n"
    "opened, 3 when the output could not be written, 4 when a rename failed, 5 when\n"
    "a file was kept as it was (its new name is taken, or its type's extension\n"
    "cannot be used; not with --dry-run).\n"
    "--lint: 0 when clean, 1 with findings, 2 when the file cannot be read.\n"
    "--undo: 0 when every rename is undone or was never done, 2 when the journal\n"
    "cannot be read, 4 when a move failed, 5 when a file was left (its new name\n"
    "is gone or holds another file, its old name is taken, or its line is unreadable).\n";

namespace {

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

} // namespace

bool ParseArguments(const std::vector<fs::path>& args, CliOptions& options, std::FILE* err)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& arg = args[i];

        if (!optionsEnded && IsPlatformHelpRequest(arg)) {
            options.help = true;
        } else if (optionsEnded || !LooksLikeOption(arg)) {
            options.paths.push_back(arg);
        } else if (ArgEquals(arg, "--")) {
            optionsEnded = true;
        } else if (ArgEquals(arg, "-0") || ArgEquals(arg, "--null")) {
            options.nulSeparated = true;
        } else if (ArgEquals(arg, "--json")) {
            options.json = true;
        } else if (ArgEquals(arg, "--mime")) {
            options.mime = true;
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
        } else if (ArgEquals(arg, "--signatures") || ArgEquals(arg, "--lint") || ArgEquals(arg, "--files-from")
                   || ArgEquals(arg, "--journal") || ArgEquals(arg, "--undo")) {
            if (i + 1 == args.size()) {
                std::fprintf(err, "kindsniffer-cli: %s needs a file\n", DisplayText(arg.native()).c_str());
                return false;
            }
            fs::path& value = ArgEquals(arg, "--lint")         ? options.lintFile.emplace()
                            : ArgEquals(arg, "--files-from") ? options.filesFrom.emplace()
                            : ArgEquals(arg, "--journal")    ? options.journal.emplace()
                            : ArgEquals(arg, "--undo")       ? options.undo.emplace()
                                                               : options.signaturePath;
            value = args[++i];
        } else {
            std::fprintf(err, "kindsniffer-cli: unknown option %s\n", DisplayText(arg.native()).c_str());
            return false;
        }
    }
    if (options.help || options.version || options.lintFile)
        return true;
    if (options.undo) {
        // An undo takes its paths from the journal alone: anything else given is a mistake.
        if (!options.paths.empty() || options.filesFrom || options.journal || options.rename || options.mismatchOnly
            || options.dryRun || options.json || options.recursive || options.followLinks || options.nulSeparated
            || options.explain || options.mime || !options.signaturePath.empty()) {
            std::fprintf(err, "kindsniffer-cli: --undo takes its journal and nothing else\n");
            return false;
        }
        return true;
    }
    if (options.journal && (!options.rename || options.dryRun)) {
        std::fprintf(err, "kindsniffer-cli: --journal goes with --rename, without --dry-run\n");
        return false;
    }
    if (options.dryRun && !options.rename) {
        std::fprintf(err, "kindsniffer-cli: --dry-run goes with --rename\n");
        return false;
    }
    if (options.nulSeparated && !options.filesFrom) {
        std::fprintf(err, "kindsniffer-cli: -0 goes with --files-from\n");
        return false;
    }
    // Only arguments: a listed path is a name, and no pattern.
    options.paths = ExpandWildcards(options.paths);
    if (options.paths.empty() && !options.filesFrom) {
        std::fprintf(err, "kindsniffer-cli: no file to examine\n");
        return false;
    }
    return true;
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
