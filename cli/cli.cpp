#include "cli.h"
#include "batch.h"
#include "renaming/journal.h"
#include "lint_command.h"
#include "options.h"
#include "platform_cli.h"
#include "report.h"
#include "walk.h"

#include "detection.h"
#include "escaping.h"

#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Paths of a list examined at a time: enough to keep the workers busy between
// blocks, few enough that a list of any length costs the same memory.
constexpr std::size_t kListBlock = 4096;

int Examine(const CliOptions& options, const RunSettings& settings, std::FILE* out, std::FILE* err)
{
    const SignatureTable table = LoadSignatureTable(options.signaturePath);
    // A missing signature file would turn every answer into "unknown": refuse instead.
    if (table.state == SignatureFileState::Unreadable) {
        std::fprintf(err, "kindsniffer-cli: cannot read signature file %s: it %s\n",
                     DisplayText(options.signaturePath.native()).c_str(), WholeFileProblem(table.file));
        // A copy of the program that was not installed has no set beside it: say where it looked.
        if (options.signaturesDefaulted)
            std::fprintf(err, "kindsniffer-cli: looked for Kindsniffer.xml beside the program and in "
                              "../share/kindsniffer/ from its folder; name one with --signatures FILE\n");
        return static_cast<int>(CliExit::Usage);
    }
    if (table.state == SignatureFileState::Unusable) {
        std::fprintf(err, "kindsniffer-cli: warning: %s has no <dat><types> list; no type can be detected\n",
                     DisplayText(options.signaturePath.native()).c_str());
    }

    std::optional<PathList> list;
    if (options.filesFrom) {
        std::string problem;
        list = OpenPathList(*options.filesFrom, options.nulSeparated, problem);
        if (!list) {
            std::fprintf(err, "kindsniffer-cli: cannot read the list of files %s: %s\n",
                         DisplayText(options.filesFrom->native()).c_str(), problem.c_str());
            return static_cast<int>(CliExit::Usage);
        }
    }

    // Made before any file is looked at, so that no rename happens without it.
    std::optional<Journal> journal;
    if (options.journal) {
        std::error_code error;
        UniqueJournalFile file = CreateJournalFile(*options.journal, error);
        if (!file) {
            std::fprintf(err, "kindsniffer-cli: cannot create the journal %s: %s; no file was renamed\n",
                         DisplayText(options.journal->native()).c_str(), SystemErrorText(error).c_str());
            return static_cast<int>(CliExit::Usage);
        }
        journal.emplace(Journal{*options.journal, std::move(file), {}});
    }
    // Worked out once for the batch: every file's answer is weighed against them.
    const ExtensionClaims claims = options.mismatchOnly || options.rename ? ClaimsOf(table) : ExtensionClaims{};

    WalkedFolders walked;
    std::vector<fs::path> files = CollectFiles(options, walked, err);
    // A list's length is known only at its end: no "of N" to show.
    Progress progress{err, !list && files.size() > 1 && IsTerminal(err), files.size()};
    std::vector<Examined> rows;
    bool anyUnreadable = false, anyRenameFailed = false, anyRenameKept = false;
    // With renames, each line goes out before the next file is touched, so
    // that no rename happens once its report can no longer be written.
    const bool renaming = options.rename && !options.dryRun;
    std::size_t done = 0;  // files handed on so far, over every block

    // Called for each file in order. False stops the batch: its report can no longer be written.
    auto take = [&](fs::path&& path, BatchResult&& result) {
        Examined item{std::move(path), std::move(result.outcome), std::nullopt, std::move(result.basis)};
        // From here on a title or an extension is UTF-8, whatever the signature file was saved in.
        item.outcome.title = SignatureTextAsUtf8(item.outcome.title, table.declaredEncoding);
        for (std::string& extension : item.outcome.extensions)
            extension = SignatureTextAsUtf8(extension, table.declaredEncoding);
        progress.Update(++done);
        // The journal may lie in the folder it records. It is no file of the
        // batch: never renamed, and not reported (Windows cannot even read it
        // while it is open for writing).
        if (journal && IsJournalFile(*journal->file, item.path))
            return true;
        if (item.outcome.state == DetectionState::Unreadable) {
            anyUnreadable = true;
            TellUnreadable(item, options.recursive, err);
        }
        const bool mismatch = (options.mismatchOnly || options.rename) && IsMismatch(claims, item.path, item.outcome);
        if (options.mismatchOnly && !mismatch)
            return true;
        if (options.rename && mismatch) {
            const bool journalWhole = !journal || journal->failure.empty();
            item.rename = PlanAndRename(item.path, item.outcome, options.dryRun, journal ? &*journal : nullptr);
            if (journalWhole && journal && !journal->failure.empty())
                std::fprintf(err, "kindsniffer-cli: %s; no file is renamed from here on\n", journal->failure.c_str());
            anyRenameFailed = anyRenameFailed || item.rename->action == RenameAction::Failed;
            anyRenameKept = anyRenameKept || item.rename->action == RenameAction::TargetExists
                         || item.rename->action == RenameAction::UnusableExtension;
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
    };

    // The arguments' files make the first block; a list is then read and
    // examined a block at a time, so that only one block's paths are held.
    for (bool going = true; going;) {
        if (list)
            ReadListedFiles(*list, options, walked, files, kListBlock, err);
        if (files.empty())
            break;
        // A rename must be done before the next file is examined (the same file
        // may be named twice), so a renaming batch examines one file at a time.
        const unsigned workers = renaming ? 1 : BatchWorkers(files.size(), settings.workers);
        ExamineInOrder(table, files, workers, settings, options.explain, [&](std::size_t i, BatchResult&& result) {
            // No worker touches a file's path again once its outcome is handed on.
            going = take(std::move(files[i]), std::move(result));
            return going;
        });
        files.clear();
        going = going && list.has_value();
    }
    bool listFailed = false;
    if (list && !list->problem.empty()) {
        listFailed = true;
        std::fprintf(err, "kindsniffer-cli: cannot read the list of files %s to its end: %s\n",
                     DisplayText(options.filesFrom->native()).c_str(), list->problem.c_str());
    }
    progress.Finish();
    if (!options.json)
        PrintTable(out, rows, options.mime);
    if (std::fflush(out) != 0 || OutputFailed(out)) {
        TellRenamesOnError(rows, err);
        return static_cast<int>(CliExit::OutputFailed);
    }
    // A dry run only foretells: what it would keep is no rename left undone.
    const CliExit exit = anyRenameFailed                     ? CliExit::RenameFailed
                       : anyRenameKept && !options.dryRun    ? CliExit::RenameKept
                       : listFailed                          ? CliExit::Usage
                       : anyUnreadable                       ? CliExit::Unreadable
                                                             : CliExit::Examined;
    return static_cast<int>(exit);
}

int RunCommand(const std::vector<fs::path>& args, const RunSettings& settings, std::FILE* out, std::FILE* err)
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
        return static_cast<int>(RunLint(*options.lintFile, out, err));
    if (options.undo)
        return UndoJournal(*options.undo, out, err);
    if (options.signaturePath.empty()) {
        options.signaturePath = DefaultSignaturePath(ExecutablePath().parent_path());
        options.signaturesDefaulted = true;
    }
    return Examine(options, settings, out, err);
}

} // namespace

int RunCli(const std::vector<fs::path>& args, const RunSettings& settings, std::FILE* out, std::FILE* err)
{
    const int code = RunCommand(args, settings, out, err);
    // Whatever the command, output that did not arrive whole is a failure,
    // never a success (a full disk, a closed pipe, /dev/full).
    if (std::fflush(out) != 0 || OutputFailed(out)) {
        std::fprintf(err, "kindsniffer-cli: cannot write the output; it is incomplete\n");
        return static_cast<int>(CliExit::OutputFailed);
    }
    return code;
}
