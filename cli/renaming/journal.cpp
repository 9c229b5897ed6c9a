#include "journal.h"
#include "cli.h"

#include "escaping.h"
#include "detection.h"
#include "unicode.h"

#include <charconv>
#include <optional>

namespace fs = std::filesystem;

namespace {

// The name a later --undo, run from any folder, finds the file by. Joined
// by hand: the system's own full-path call would also drop a trailing
// period or space, and name another file.
fs::path Anchored(const fs::path& path)
{
    if (path.is_absolute())
        return path;
    std::error_code error;
    const fs::path here = fs::current_path(error);
    return error ? path : here / path;
}

// Reads the one JSON object of a journal line: string and integer values
// only, as the writer writes them. Each step returns false on the first
// thing that is not so.
struct LineReader {
    std::string_view text;
    std::size_t at = 0;

    void SkipSpace()
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r'))
            ++at;
    }
    bool Take(char c)
    {
        SkipSpace();
        if (at >= text.size() || text[at] != c)
            return false;
        ++at;
        return true;
    }
    bool Hex4(char32_t& unit)
    {
        if (text.size() - at < 4)
            return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text[at++];
            const int digit = c >= '0' && c <= '9' ? c - '0'
                            : c >= 'a' && c <= 'f' ? c - 'a' + 10
                            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                   : -1;
            if (digit < 0)
                return false;
            unit = unit << 4 | static_cast<char32_t>(digit);
        }
        return true;
    }
    // A string's code points; an escaped surrogate that has no partner stays itself.
    bool String(std::u32string& out)
    {
        out.clear();
        if (!Take('"'))
            return false;
        while (at < text.size()) {
            const char c = text[at];
            if (c == '"') {
                ++at;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                char32_t code = 0;
                const std::size_t length = DecodeUtf8(text.substr(at), code);
                if (length == 0)
                    return false;
                out += code;
                at += length;
                continue;
            }
            if (++at >= text.size())
                return false;
            const char kind = text[at++];
            switch (kind) {
            case '"': out += U'"'; break;
            case '\\': out += U'\\'; break;
            case '/': out += U'/'; break;
            case 'b': out += U'\b'; break;
            case 'f': out += U'\f'; break;
            case 'n': out += U'\n'; break;
            case 'r': out += U'\r'; break;
            case 't': out += U'\t'; break;
            case 'u': {
                char32_t unit = 0;
                if (!Hex4(unit))
                    return false;
                char32_t low = 0;
                const std::size_t mark = at;
                if (unit >= 0xD800 && unit <= 0xDBFF && text.substr(at, 2) == "\\u" && (at += 2, Hex4(low))
                    && low >= 0xDC00 && low <= 0xDFFF) {
                    out += 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                } else {
                    at = mark;
                    out += unit;
                }
                break;
            }
            default: return false;
            }
        }
        return false;
    }
    bool Integer(std::int64_t& value)
    {
        SkipSpace();
        const char* first = text.data() + at;
        const char* last = text.data() + text.size();
        // JSON's form: no plus sign, no leading zero.
        const char* digits = first < last && *first == '-' ? first + 1 : first;
        if (digits < last && *digits == '0' && digits + 1 < last && *(digits + 1) >= '0' && *(digits + 1) <= '9')
            return false;
        const auto [end, error] = std::from_chars(first, last, value);
        if (error != std::errc() || end == first)
            return false;
        at = static_cast<std::size_t>(end - text.data());
        return true;
    }
};

// One line's entry, or why it is none.
std::optional<JournalEntry> ReadEntry(std::string_view line, std::string& problem)
{
    LineReader reader{line};
    std::u32string key, text;
    std::optional<std::u32string> from, to;
    std::optional<std::int64_t> size, modified;
    problem = "not a journal line";
    if (!reader.Take('{'))
        return std::nullopt;
    for (bool first = true; !reader.Take('}'); first = false) {
        if ((!first && !reader.Take(',')) || !reader.String(key) || !reader.Take(':'))
            return std::nullopt;
        std::optional<std::u32string>* path = key == U"from" ? &from : key == U"to" ? &to : nullptr;
        std::optional<std::int64_t>* number = key == U"size" ? &size : key == U"modified" ? &modified : nullptr;
        if ((path && path->has_value()) || (number && number->has_value())) {
            problem = "a key given twice";
            return std::nullopt;
        }
        reader.SkipSpace();
        std::int64_t value = 0;
        if (reader.at < line.size() && line[reader.at] == '"') {
            if (!reader.String(text) || number)
                return std::nullopt;
            if (path)
                *path = text;
        } else {
            if (!reader.Integer(value) || path)
                return std::nullopt;
            if (number)
                *number = value;
        }
    }
    reader.SkipSpace();
    if (reader.at != line.size())
        return std::nullopt;
    if (!from || !to || !size || !modified || *size < 0) {
        problem = "a journal line lacks its paths, size or modification time";
        return std::nullopt;
    }
    NativeString fromNative, toNative;
    if (from->empty() || to->empty() || !NativeFromJsonText(*from, fromNative) || !NativeFromJsonText(*to, toNative)) {
        problem = "a path that this system cannot hold";
        return std::nullopt;
    }
    return JournalEntry{fs::path(std::move(fromNative)), fs::path(std::move(toNative)),
                        FileStamp{static_cast<std::uint64_t>(*size), *modified}};
}

} // namespace

std::string JournalLine(const fs::path& from, const fs::path& to, FileStamp stamp)
{
    return "{\"from\": " + JsonString(from.native()) + ", \"to\": " + JsonString(to.native())
         + ", \"size\": " + std::to_string(stamp.size) + ", \"modified\": " + std::to_string(stamp.modified) + "}\n";
}

JournalReading ReadJournal(std::string_view text)
{
    JournalReading reading;
    for (std::size_t number = 1; !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        const bool finished = end != std::string_view::npos;
        const std::string_view line = text.substr(0, finished ? end : text.size());
        text.remove_prefix(finished ? end + 1 : text.size());
        if (line.find_first_not_of(" \t\r") == std::string_view::npos)
            continue;
        std::string problem;
        std::optional<JournalEntry> entry;
        if (line.size() > kJournalLineLimit)
            problem = "a line longer than " + std::to_string(kJournalLineLimit) + " bytes";
        else
            entry = ReadEntry(line, problem);
        if (entry) {
            reading.entries.push_back(std::move(*entry));
            reading.lines.push_back(number);
        } else if (!finished) {
            // Cut short by a stopped batch: its rename was never done.
            reading.unfinishedLast = true;
        } else {
            reading.problems.push_back({number, std::move(problem)});
        }
    }
    return reading;
}

bool Journal::Record(const fs::path& from, const fs::path& to, std::string& problem)
{
    if (!failure.empty()) {
        problem = failure;
        return false;
    }
    FileStamp stamp;
    std::error_code error;
    if (!ReadFileStamp(from, stamp, error)) {
        problem = SystemErrorText(error);
        return false;
    }
    if (!AppendDurably(*file, JournalLine(Anchored(from), Anchored(to), stamp), error)) {
        failure = "cannot write the journal " + DisplayText(path.native()) + ": " + SystemErrorText(error);
        problem = failure;
        return false;
    }
    return true;
}

namespace {

enum class UndoResult { Restored, NotRenamed, Kept, Failed };

UndoResult UndoOne(const JournalEntry& entry, std::string& why)
{
    FileStamp now;
    std::error_code error;
    // The old name holds the file as it was: never renamed (the batch
    // stopped between the line and the rename), or undone already.
    if (ReadFileStamp(entry.from, now, error) && now == entry.stamp)
        return UndoResult::NotRenamed;
    error.clear();
    if (!ReadFileStamp(entry.to, now, error)) {
        why = "its new name no longer exists (" + SystemErrorText(error) + ")";
        return UndoResult::Kept;
    }
    if (now != entry.stamp) {
        why = "the file at its new name has changed since the rename (size or modification time)";
        return UndoResult::Kept;
    }
    switch (MoveNoReplace(entry.to, entry.from, error)) {
    case MoveResult::Moved: return UndoResult::Restored;
    case MoveResult::TargetExists: why = "its old name is taken by another file"; return UndoResult::Kept;
    case MoveResult::Failed: why = "the move failed: " + SystemErrorText(error); return UndoResult::Failed;
    }
    return UndoResult::Failed;
}

} // namespace

int UndoJournal(const fs::path& journal, std::FILE* out, std::FILE* err)
{
    const std::string name = DisplayText(journal.native());
    std::string text;
    UniqueStdioFile unused;
    const WholeFileResult read = ReadWholeFile(journal, kJournalLimit, text, unused);
    if (read != WholeFileResult::Read) {
        std::fprintf(err, "kindsniffer-cli: cannot read the journal %s: it %s%s\n", name.c_str(),
                     WholeFileProblem(read), read == WholeFileResult::TooLarge ? " (512 MiB at most)" : "");
        return static_cast<int>(CliExit::Usage);
    }
    const JournalReading reading = ReadJournal(text);
    for (const JournalProblem& problem : reading.problems)
        std::fprintf(err, "kindsniffer-cli: %s:%zu: %s; nothing undone for it\n", name.c_str(), problem.line,
                     problem.what.c_str());
    if (reading.unfinishedLast)
        std::fprintf(err, "kindsniffer-cli: %s: the last line was cut short while it was written; "
                          "its rename was never done\n", name.c_str());

    std::size_t restored = 0, untouched = 0, kept = reading.problems.size(), failed = 0;
    for (std::size_t i = reading.entries.size(); i-- > 0;) {
        const JournalEntry& entry = reading.entries[i];
        const std::string from = DisplayText(entry.from.native()), to = DisplayText(entry.to.native());
        std::string why;
        const UndoResult result = UndoOne(entry, why);
        switch (result) {
        case UndoResult::Restored:
            ++restored;
            std::fprintf(out, "restored %s -> %s\n", to.c_str(), from.c_str());
            break;
        case UndoResult::NotRenamed: ++untouched; break;
        case UndoResult::Kept:
        case UndoResult::Failed:
            ++(result == UndoResult::Failed ? failed : kept);
            std::fprintf(err, "kindsniffer-cli: %s:%zu: not undone: %s -> %s: %s\n", name.c_str(), reading.lines[i],
                         to.c_str(), from.c_str(), why.c_str());
            break;
        }
    }
    std::fprintf(out, "undo: %zu restored, %zu already at the old name, %zu not undone\n", restored, untouched,
                 kept + failed);
    return static_cast<int>(failed ? CliExit::RenameFailed : kept ? CliExit::RenameKept : CliExit::Examined);
}
