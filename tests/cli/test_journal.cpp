// The rename journal's lines: what is written reads back exactly, whatever
// the path holds, and what is not a line the writer makes is refused.
#include "renaming/journal.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace fs = std::filesystem;

namespace {

constexpr bool kWide = std::is_same_v<NativeString, std::wstring>;

// A native name from code units: bytes on POSIX, UTF-16 units on Windows.
NativeString Units(std::initializer_list<unsigned> units)
{
    NativeString name;
    for (unsigned unit : units)
        name += static_cast<NativeString::value_type>(unit);
    return name;
}

// Names no ordinary text holds: on POSIX, bytes that are not UTF-8 (a stray
// byte, an encoded surrogate, an overlong slash); on Windows, unpaired and
// reversed surrogates.
std::vector<NativeString> OddNames()
{
    std::vector<NativeString> names{fs::path(u8"quote\" back\\slash").native(), fs::path("tab\tline\nfeed").native(),
                                    fs::path(u8"\u30d5\u30a1\u30a4\u30eb \U0001F600").native(),
                                    Units({'c', 0x01, 0x1F, 0x7F, 'x'}), fs::path("\\udc80 as text").native()};
    if constexpr (kWide) {
        for (auto units : {Units({'a', 0xD800}), Units({0xDFFF, 'b'}), Units({0xDC80}), Units({0xDC00, 0xD800}),
                           Units({0xD83D, 0xD83D, 0xDE00})})
            names.push_back(units);
    } else {
        for (auto bytes : {Units({'c', 'a', 'f', 0xE9}), Units({0xFF, 0x80}), Units({0xED, 0xA0, 0x80}),
                           Units({0xC0, 0xAF}), Units({0xF0, 0x9F, 0x98})})
            names.push_back(bytes);
    }
    return names;
}

} // namespace

TEST(Journal, EveryLineReadsBackExactly)
{
    const fs::path folder = fs::path("/") / "tmp" / u8"\u6587\u66f8";
    const FileStamp stamps[] = {{0, 0}, {~0ull >> 1, -1'000'000'000}, {12345, 1'796'712'209'135'972'373}};
    std::string text;
    std::vector<JournalEntry> written;
    for (const NativeString& name : OddNames()) {
        for (const FileStamp& stamp : stamps) {
            const JournalEntry entry{folder / name, folder / (name + fs::path(".png").native()), stamp};
            const std::string line = JournalLine(entry.from, entry.to, entry.stamp);
            ASSERT_EQ(line.find('\n'), line.size() - 1);  // one line, whatever the name holds
            text += line;
            written.push_back(entry);
        }
    }
    const JournalReading reading = ReadJournal(text);
    EXPECT_TRUE(reading.problems.empty());
    EXPECT_FALSE(reading.unfinishedLast);
    ASSERT_EQ(reading.entries.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(reading.entries[i].from.native(), written[i].from.native()) << i;
        EXPECT_EQ(reading.entries[i].to.native(), written[i].to.native()) << i;
        EXPECT_EQ(reading.entries[i].stamp, written[i].stamp) << i;
        EXPECT_EQ(reading.lines[i], i + 1);
    }
}

TEST(Journal, HostileInputIsRefusedLineByLine)
{
    const std::string good = R"({"from": "/a/b.txt", "to": "/a/b.png", "size": 8, "modified": 5})";
    struct Case {
        const char* name;
        std::string text;
        std::size_t entries;
        std::vector<std::size_t> problemLines;
        bool unfinished;
    };
    const Case cases[] = {
        {"empty", "", 0, {}, false},
        {"blank lines and CRLF", "\n \r\n" + good + "\r\n\n", 1, {}, false},
        {"cut short by a crash", good + "\n" + good.substr(0, 20), 1, {}, true},
        {"whole but unfinished last line", good, 1, {}, false},
        {"garbage between entries", good + "\n\x01\xFFgarbage\n" + good + "\n", 2, {2}, false},
        {"not an object", "[1, 2]\n\"x\"\n42\n", 0, {1, 2, 3}, false},
        {"bad escapes",
         R"({"from": "/a\x41", "to": "/b", "size": 1, "modified": 1})" "\n"
         R"({"from": "/a\u12", "to": "/b", "size": 1, "modified": 1})" "\n"
         R"({"from": "/a\uZZZZ", "to": "/b", "size": 1, "modified": 1})" "\n"
         R"({"from": "/a\", "to": "/b", "size": 1, "modified": 1})" "\n"
         R"({"from": "/a\u0000", "to": "/b", "size": 1, "modified": 1})" "\n",
         0, {1, 2, 3, 4, 5}, false},
        {"raw control and broken UTF-8 inside a string",
         "{\"from\": \"/a\tb\", \"to\": \"/b\", \"size\": 1, \"modified\": 1}\n"
         "{\"from\": \"/a\xC3\", \"to\": \"/b\", \"size\": 1, \"modified\": 1}\n",
         0, {1, 2}, false},
        {"missing, doubled or mistyped fields",
         R"({"from": "/a", "to": "/b", "size": 1})" "\n"
         R"({"from": "/a", "from": "/c", "to": "/b", "size": 1, "modified": 1})" "\n"
         R"({"from": "/a", "to": "/b", "size": "1", "modified": 1})" "\n"
         R"({"from": "/a", "to": "/b", "size": -1, "modified": 1})" "\n"
         R"({"from": "/a", "to": "/b", "size": 01, "modified": 1})" "\n"
         R"({"from": "/a", "to": "/b", "size": 1, "modified": 99999999999999999999})" "\n"
         R"({"from": "", "to": "/b", "size": 1, "modified": 1})" "\n"
         R"({"from": "/a", "to": {"x": 1}, "size": 1, "modified": 1})" "\n"
         R"({"from": "/a", "to": "/b", "size": 1, "modified": 1} trailing)" "\n"
         R"({"from": "/a", "to": "/b", "size": 1, "modified": 1,})" "\n",
         0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, false},
        {"an unknown field is passed over",
         R"({"from": "/a", "to": "/b", "later": "x", "size": 1, "n": -3, "modified": 1})" "\n", 1, {}, false},
        {"a line past the bound",
         R"({"from": "/)" + std::string(kJournalLineLimit, 'a') + R"(", "to": "/b", "size": 1, "modified": 1})" "\n"
             + good + "\n",
         1, {1}, false},
    };
    for (const Case& c : cases) {
        const JournalReading reading = ReadJournal(c.text);
        EXPECT_EQ(reading.entries.size(), c.entries) << c.name;
        std::vector<std::size_t> lines;
        for (const JournalProblem& problem : reading.problems) {
            lines.push_back(problem.line);
            EXPECT_FALSE(problem.what.empty()) << c.name;
        }
        EXPECT_EQ(lines, c.problemLines) << c.name;
        EXPECT_EQ(reading.unfinishedLast, c.unfinished) << c.name;
    }
}
