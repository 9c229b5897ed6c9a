// The rename journal's reader. Input: bytes taken as a journal, and the same
// bytes taken as a file name. Oracles: every entry read, written again,
// reads back to itself on the same line count; each line is an entry, a
// problem, blank or the unfinished last one, never two of these; a name of
// any bytes (NUL aside) comes back from its line exactly.
#include "fuzz_support.h"

#include "renaming/journal.h"

#include <algorithm>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const JournalReading reading = ReadJournal(text);
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'))
                     + (text.empty() || text.back() == '\n' ? 0 : 1);
    FUZZ_CHECK(reading.entries.size() == reading.lines.size());
    FUZZ_CHECK(reading.entries.size() + reading.problems.size() + (reading.unfinishedLast ? 1 : 0) <= lines);
    FUZZ_CHECK(std::is_sorted(reading.lines.begin(), reading.lines.end()));
    for (const JournalProblem& problem : reading.problems)
        FUZZ_CHECK(problem.line >= 1 && problem.line <= lines && !problem.what.empty());

    std::string again;
    for (const JournalEntry& entry : reading.entries)
        again += JournalLine(entry.from, entry.to, entry.stamp);
    const JournalReading reread = ReadJournal(again);
    FUZZ_CHECK(reread.problems.empty() && !reread.unfinishedLast);
    FUZZ_CHECK(reread.entries.size() == reading.entries.size());
    for (std::size_t i = 0; i < reread.entries.size(); ++i) {
        FUZZ_CHECK(reread.entries[i].from.native() == reading.entries[i].from.native());
        FUZZ_CHECK(reread.entries[i].to.native() == reading.entries[i].to.native());
        FUZZ_CHECK(reread.entries[i].stamp == reading.entries[i].stamp);
    }

    std::string name(text);
    std::replace(name.begin(), name.end(), '\0', '_');
    if (!name.empty()) {
        const std::filesystem::path path(name);
        const JournalReading own = ReadJournal(JournalLine(path, path, FileStamp{size, -1}));
        FUZZ_CHECK(own.entries.size() == 1 && own.entries[0].from.native() == name);
    }
    return 0;
}
