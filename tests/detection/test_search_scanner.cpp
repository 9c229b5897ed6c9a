// The one-pass scanner of all search patterns, at every instruction-set level
// this processor runs, against a plain matcher.
#include "scan/search_scanner.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const char* LevelName(ScanLevel level)
{
    switch (level) {
    case ScanLevel::Plain: return "plain";
    case ScanLevel::Ssse3: return "ssse3";
    case ScanLevel::Avx2: return "avx2";
    }
    return "?";
}

std::optional<std::uint64_t> FirstMatch(const std::vector<PatternByte>& pattern, const std::vector<std::uint8_t>& data)
{
    for (std::size_t i = 0; data.size() >= pattern.size() && i <= data.size() - pattern.size(); ++i) {
        if (PatternMatchesAt(pattern, data.data() + i))
            return i;
    }
    return std::nullopt;
}

std::vector<PatternByte> Pattern(std::initializer_list<int> bytes)  // -1: a wildcard
{
    std::vector<PatternByte> pattern;
    for (int b : bytes)
        pattern.push_back({static_cast<std::uint8_t>(b < 0 ? 0 : b), b < 0});
    return pattern;
}

} // namespace

TEST(SearchScanner, AgreesWithAPlainMatcherAtEveryLevel)
{
    std::mt19937 random(2026);
    for (ScanLevel level : {ScanLevel::Plain, ScanLevel::Ssse3, ScanLevel::Avx2}) {
        for (int round = 0; round < 400; ++round) {
            // A small alphabet makes near misses and false filter hits common.
            const int alphabet = round % 2 ? 4 : 256;
            auto byte = [&] { return static_cast<std::uint8_t>(random() % alphabet); };
            // Several sizes around the vector widths, and more patterns than a group holds.
            std::vector<std::uint8_t> data(round % 4 == 0 ? random() % 40 : 1 + random() % 700);
            for (auto& b : data)
                b = byte();
            std::vector<std::vector<PatternByte>> patterns(1 + random() % (SearchScanner::kGroupSize + 12));
            for (auto& pattern : patterns) {
                pattern.resize(1 + random() % 9);  // length 1 included
                for (auto& p : pattern)
                    p = {byte(), random() % 4 == 0};
                if (pattern.size() > data.size() || random() % 2)
                    continue;
                // Planted at the start, ending on the last byte, or anywhere.
                const std::size_t room = data.size() - pattern.size();
                const std::size_t at = random() % 3 == 0 ? 0 : random() % 3 == 0 ? room : random() % (room + 1);
                for (std::size_t k = 0; k < pattern.size(); ++k)
                    data[at + k] = pattern[k].wildcard ? byte() : pattern[k].value;
            }
            const SearchScanner scanner = BuildSearchScanner(patterns);
            const std::size_t first = round % 5 == 0 ? random() % patterns.size() : 0;
            const std::uint64_t offset = round % 3 == 0 ? (std::uint64_t{1} << 33) : 0;
            SearchFindings findings;
            ResetFindings(scanner, first, data.size(), findings);
            ScanBytes(scanner, level, data, offset, findings);
            for (std::size_t i = 0; i < patterns.size(); ++i) {
                auto expected = FirstMatch(patterns[i], data);
                SCOPED_TRACE(testing::Message() << LevelName(level) << " round " << round << " pattern " << i);
                if (i < first || patterns[i].size() > data.size())
                    ASSERT_EQ(findings.at[i], SearchFindings::kIgnored);
                else if (expected)
                    ASSERT_EQ(findings.at[i], offset + *expected);
                else
                    ASSERT_EQ(findings.at[i], SearchFindings::kPending);
            }
        }
    }
}

TEST(SearchScanner, FilterWindowsAvoidRunsOfOneValueAndWildcards)
{
    struct Case {
        std::vector<PatternByte> pattern;
        std::uint32_t start;
    };
    const Case cases[] = {
        {Pattern({0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF}), 2},  // one zero and one 0xFF, never three zeros
        {Pattern({0x13, 0x00, -1, -1, 0x41, 0x6E, 0x64}), 4},
        {Pattern({0x57, 0x00, 0x6F, 0x00, 0x72, 0x00}), 0},
        {Pattern({0x00, 0x00, 0x01, 0xBA}), 1},
        {Pattern({-1, 0x50}), 0},
    };
    for (const Case& c : cases) {
        const FilterWindow window = ChooseFilterWindow(c.pattern);
        EXPECT_EQ(window.start, c.start) << "pattern of " << c.pattern.size() << " bytes";
        EXPECT_EQ(window.length, std::min<std::size_t>(c.pattern.size(), SearchScanner::kWindow));
    }
}
