// The pattern language and the matcher, on bytes in memory.
#include "patterns/magic.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <utility>


namespace {

MagicResult Match(std::string_view magic, const std::vector<std::uint8_t>& file)
{
    MemorySource source{file};
    return TestMagic(ParseMagicRule(magic), source);
}

std::vector<std::uint8_t> Filled(std::size_t size, std::uint8_t fill = 0x11)
{
    return std::vector<std::uint8_t>(size, fill);
}

} // namespace

TEST(SplitTokens, CutsAtSpacesOnly)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitTokens(""), V{});
    EXPECT_EQ(SplitTokens("4D 5A"), (V{"4D", "5A"}));
    EXPECT_EQ(SplitTokens("4D"), V{"4D"});
    EXPECT_EQ(SplitTokens(" 4D"), (V{"", "4D"}));
    EXPECT_EQ(SplitTokens("4D  5A"), (V{"4D", "", "5A"}));
    EXPECT_EQ(SplitTokens("4D "), V{"4D"});
    EXPECT_EQ(SplitTokens("4D   "), (V{"4D", "", ""}));
    EXPECT_EQ(SplitTokens("4D\t5A\n90\r00"), V{"4D\t5A\n90\r00"});
    EXPECT_EQ(SplitTokens(" "), V{""});
}

TEST(TokenReading, ByteTokensReadLikeStrtolBase16)
{
    EXPECT_EQ(ReadByteToken("4D"), 0x4D);
    EXPECT_EQ(ReadByteToken("4d"), 0x4D);
    EXPECT_EQ(ReadByteToken("0x4D"), 0x4D);
    EXPECT_EQ(ReadByteToken("0X4d"), 0x4D);
    EXPECT_EQ(ReadByteToken("14D"), 0x14D);
    EXPECT_EQ(ReadByteToken("4Dzz"), 0x4D);
    EXPECT_EQ(ReadByteToken("-1"), -1);
    EXPECT_EQ(ReadByteToken("+7f"), 0x7F);
    EXPECT_EQ(ReadByteToken("\n\t 4D"), 0x4D);
    EXPECT_EQ(ReadByteToken("4D\n5A"), 0x4D);
    // "0x" without a hex digit after it: the zero alone is the number.
    EXPECT_EQ(ReadByteToken("0xZZ"), 0);
    EXPECT_EQ(ReadByteToken("7FFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(ReadByteToken("-80000000"), INT32_MIN);
    EXPECT_EQ(ReadByteToken("000000000000004D"), 0x4D);
}

TEST(TokenReading, ByteTokensWithoutANumberOrBeyond32BitsAreRefused)
{
    for (std::string_view bad : {"", " ", "\n", "ZZ", "?", "x4D", "-", "80000000", "-80000001", "FFFFFFFFFF"})
        EXPECT_FALSE(ReadByteToken(bad).has_value()) << '"' << bad << '"';
}

TEST(TokenReading, OffsetsAreDecimalUpToTheFirstNonDigit)
{
    EXPECT_EQ(ReadOffsetAnchor("512:"), 512);
    EXPECT_EQ(ReadOffsetAnchor("-4:"), -4);
    EXPECT_EQ(ReadOffsetAnchor(":"), 0);
    EXPECT_EQ(ReadOffsetAnchor("0x10:"), 0);
    EXPECT_EQ(ReadOffsetAnchor(" \t7:"), 7);
    EXPECT_EQ(ReadOffsetAnchor("2147483647:"), INT32_MAX);
    EXPECT_EQ(ReadOffsetAnchor("-2147483648:"), INT32_MIN);
    EXPECT_FALSE(ReadOffsetAnchor("2147483648:").has_value());
    EXPECT_FALSE(ReadOffsetAnchor("99999999999999999999:").has_value());
}

TEST(RuleParsing, ClassifiesTheFirstToken)
{
    MagicRule search = ParseMagicRule("?: 50 4B");
    EXPECT_TRUE(search.valid);
    EXPECT_EQ(search.anchor, MagicAnchor::Search);
    EXPECT_EQ(search.tokenCount, 3u);
    EXPECT_EQ(search.pattern.size(), 2u);

    MagicRule anchored = ParseMagicRule("-3: 4D ?? 5A");
    EXPECT_EQ(anchored.anchor, MagicAnchor::Offset);
    EXPECT_EQ(anchored.offset, -3);
    ASSERT_EQ(anchored.pattern.size(), 3u);
    EXPECT_TRUE(anchored.pattern[1].wildcard);

    MagicRule plain = ParseMagicRule("4D 5A");
    EXPECT_EQ(plain.offset, 0);
    EXPECT_EQ(plain.tokenCount, 2u);
}

TEST(RuleParsing, CanonicalFormShowsHowTheRuleWasRead)
{
    const std::pair<const char*, const char*> cases[] = {
        {"4d 5a", "0: 4D 5A"},           {"0x10: 4D", "0: 4D"},       {"-4: 1FF ?? 0x7", "-4: FF ?? 07"},
        {"?: 50 4b 03 04", "?: 50 4B 03 04"}, {"512: -1", "512: FF"}, {"2:", "2:"},
    };
    for (const auto& [text, canonical] : cases)
        EXPECT_EQ(FormatMagicRule(ParseMagicRule(text)), canonical) << text;
}

TEST(RuleParsing, WhiteSpaceOtherThanSingleSpacesSpoilsThePattern)
{
    // A line feed before "?:" makes it an offset anchor at 0.
    MagicRule spoiledSearch = ParseMagicRule("\n?: 50");
    EXPECT_EQ(spoiledSearch.anchor, MagicAnchor::Offset);
    EXPECT_EQ(spoiledSearch.offset, 0);

    // "512:" joined to the next value is one byte token, 0x512.
    MagicRule joined = ParseMagicRule("512:\n55");
    ASSERT_TRUE(joined.valid);
    EXPECT_EQ(joined.offset, 0);
    ASSERT_EQ(joined.pattern.size(), 1u);
    EXPECT_EQ(joined.pattern[0].value, 0x12);

    // A wildcard with a tab attached is no wildcard, and holds no number.
    EXPECT_FALSE(ParseMagicRule("4D ??\t").valid);
    EXPECT_FALSE(ParseMagicRule("4D  5A").valid);
    EXPECT_FALSE(ParseMagicRule(" 4D").valid);
    EXPECT_FALSE(ParseMagicRule("").valid);
    EXPECT_FALSE(ParseMagicRule("99999999999: 4D").valid);
}

TEST(FixedTest, NeedsAsManyBytesAsTokensBeforeReadingAny)
{
    EXPECT_EQ(Match("4D 5A 90 00", Bytes({0x4D, 0x5A, 0x90})), MagicResult::NoMatch);
    EXPECT_EQ(Match("4D 5A 90 00", Bytes({0x4D, 0x5A, 0x90, 0x00})), MagicResult::Match);
    // The anchor counts as a token.
    EXPECT_EQ(Match("0: 4D 5A", Bytes({0x4D, 0x5A})), MagicResult::NoMatch);
    EXPECT_EQ(Match("4D 5A", Bytes({0x4D, 0x5A})), MagicResult::Match);
    EXPECT_EQ(Match("0: 4D 5A", Bytes({0x4D, 0x5A, 0x00})), MagicResult::Match);
}

TEST(FixedTest, OffsetFromTheStartIncludingExactLengths)
{
    auto file = Filled(514);
    file[512] = 0x55;
    file[513] = 0xAA;
    EXPECT_EQ(Match("512: 55 AA", file), MagicResult::Match);
    file.pop_back();
    EXPECT_EQ(Match("512: 55 AA", file), MagicResult::NoMatch);
    EXPECT_EQ(Match("512:", Filled(512)), MagicResult::Match);
    EXPECT_EQ(Match("512:", Filled(511)), MagicResult::NoMatch);
    EXPECT_EQ(Match("0:", Filled(1)), MagicResult::Match);
    EXPECT_EQ(Match("0:", {}), MagicResult::NoMatch);
    EXPECT_EQ(Match("0x10: 4D", Bytes({0x4D, 0, 0})), MagicResult::Match);
    EXPECT_EQ(Match("2147483647: 00", Filled(16)), MagicResult::NoMatch);
}

TEST(FixedTest, ComparesBytesAndWildcards)
{
    EXPECT_EQ(Match("4D ?? ?? 00", Bytes({0x4D, 0xAB, 0xCD, 0x00})), MagicResult::Match);
    EXPECT_EQ(Match("4D ?? ?? 00", Bytes({0x4D, 0xAB, 0xCD, 0x01})), MagicResult::NoMatch);
    EXPECT_EQ(Match("14D", Bytes({0x4D})), MagicResult::Match);
    EXPECT_EQ(Match("4D5A", Bytes({0x5A})), MagicResult::Match);
    EXPECT_EQ(Match("-1", Bytes({0xFF})), MagicResult::Match);
    EXPECT_EQ(Match("4D", Bytes({0x4D, 0x5A})), MagicResult::Match);
    // A token the comparison never reaches still spoils the pattern.
    EXPECT_EQ(Match("4D ZZ", Bytes({0x4D, 0x00})), MagicResult::NoMatch);
    EXPECT_EQ(Match("4D\n5A", Bytes({0x4D, 0x00})), MagicResult::Match);
}

TEST(FixedTest, NegativeOffsetsCountBackFromTheEnd)
{
    EXPECT_EQ(Match("-2: 55 AA", Bytes({0x00, 0x55, 0xAA})), MagicResult::Match);
    EXPECT_EQ(Match("-2: 55 AA", Bytes({0x55, 0xAA})), MagicResult::NoMatch);  // needs 3 bytes
    EXPECT_EQ(Match("-3: 4D ?? 5A", Bytes({0x01, 0x4D, 0x77, 0x5A})), MagicResult::Match);
    // Further back than the pattern's length: the bytes from S - k, when they fit.
    EXPECT_EQ(Match("-4: 4D 5A", Bytes({0x00, 0x4D, 0x5A, 0x01, 0x02})), MagicResult::Match);
    EXPECT_EQ(Match("-5: 4D 5A", Bytes({0x4D, 0x5A, 0x00, 0x01, 0x02})), MagicResult::Match);
    EXPECT_EQ(Match("-6: 4D 5A", Bytes({0x4D, 0x5A, 0x00, 0x01, 0x02})), MagicResult::NoMatch);
    // Less far back than its length: it would run past the end.
    EXPECT_EQ(Match("-1: 5A 00", Bytes({0x00, 0x4D, 0x5A})), MagicResult::NoMatch);
    EXPECT_EQ(Match("-2147483648: 00", Filled(8)), MagicResult::NoMatch);
}

TEST(Search, FindsThePatternAnywhereAsADecisiveMatch)
{
    EXPECT_EQ(Match("?: 50 4B", Bytes({0x50, 0x4B, 0x00})), MagicResult::DecisiveMatch);
    EXPECT_EQ(Match("?: 50 4B", Bytes({0x00, 0x50, 0x4B, 0x00})), MagicResult::DecisiveMatch);
    EXPECT_EQ(Match("?: FF D8", Bytes({0x00, 0xFF, 0xD8, 0x00})), MagicResult::DecisiveMatch);
    EXPECT_EQ(Match("?: 50 4B", Bytes({0x50, 0x00, 0x4B})), MagicResult::NoMatch);
    EXPECT_EQ(Match("?: 50 ?? 4B", Bytes({0x00, 0x50, 0x99, 0x4B})), MagicResult::DecisiveMatch);
}

TEST(Search, FindsPatternEndingOnLastByte)
{
    EXPECT_EQ(Match("?: 50 4B", Bytes({0x00, 0x50, 0x4B})), MagicResult::DecisiveMatch);
    // The anchor counts toward the size check: two bytes are too few for N = 3.
    EXPECT_EQ(Match("?: 50 4B", Bytes({0x50, 0x4B})), MagicResult::NoMatch);
}

TEST(Search, AnchorAloneMatchesEveryNonEmptyFile)
{
    EXPECT_EQ(Match("?:", Bytes({0x00})), MagicResult::DecisiveMatch);
    EXPECT_EQ(Match("?:", {}), MagicResult::NoMatch);
    EXPECT_EQ(Match("?: ?? ??", Bytes({1, 2, 3})), MagicResult::DecisiveMatch);
}

TEST(NewForms, ReadStrictlyAndShownCanonically)
{
    // Valid texts, each with the canonical form the matcher shows.
    const std::pair<const char*, const char*> valid[] = {
        {"ptr 60 u32le 0: 50 45 00 00", "ptr 60 u32le 0: 50 45 00 00"},
        {"ptr 60 u32le +23: 20&20", "ptr 60 u32le +23: 20&20"},
        {"ptr 0060 u16be -2: ?? ff 00&00 1f&ff", "ptr 60 u16be -2: ?? FF ?? 1F"},
        {"zip mimetype", "zip mimetype"},
        {"zip *.npy 0: 93 4E", "zip *.npy 0: 93 4E"},
        {"zip a%20b ?: 50", "zip a%20b ?: 50"},
        {"ole %05SummaryInformation", "ole %05SummaryInformation"},
        {"oleclsid 00020906-0000-0000-c000-000000000046", "oleclsid 00020906-0000-0000-C000-000000000046"},
        {"gzip ?: 3C 73 76 67", "gzip ?: 3C 73 76 67"},
        {"zlib 12 007: 78", "zlib 12 7: 78"},
    };
    for (const auto& [text, canonical] : valid) {
        const MagicRule rule = ParseMagicRule(text);
        EXPECT_TRUE(rule.valid) << text;
        EXPECT_NE(rule.form, MagicForm::Classic) << text;
        EXPECT_EQ(FormatMagicRule(rule), canonical) << text;
        EXPECT_FALSE(MinimumFileSize(rule).has_value()) << text;
        EXPECT_FALSE(ParseClassicMagicRule(text).valid) << text;
    }
    // Anything outside the new forms' tokens spoils the whole text.
    for (const char* text : {
             "ptr", "ptr 60 u32le 0:", "ptr 60 u64le 0: 50", "ptr 60 u32le 0 50", "ptr -60 u32le 0: 50",
             "ptr 60 u32le ?: 50", "ptr 60 u32le 0: 4D5A", "ptr 60 u32le 0: 14D", "ptr 60 u32le 0: 0x4D",
             "ptr 60 u32le 0:  4D", "ptr 60 u32le 0: 4D&", "ptr 60 u32le 0: 4D&FFF", "ptr 0x3C u32le 0: 4D",
             "ptr 1234567890123456789 u32le 0: 4D", "zip", "zip  mimetype", "zip a 0:", "zip a 0: zz",
             "zip a%2", "zip a%zz", "zip a -1: 00", "zip a +1: 00", "ole", "ole a b", "ole \xFF",
             "ole abcdefghijklmnopqrstuvwxyz012345", "oleclsid 00020906-0000-0000-C000-00000000004",
             "oleclsid 00020906+0000-0000-C000-000000000046", "oleclsid {00020906-0000-0000-C000-000000000046}",
             "gzip", "gzip 0:", "gzip 0 3C", "gzip -1: 3C", "zlib 0: 78", "zlib 0 ?:", "zlib x 0: 78",
             "Zip mimetype"}) {
        const MagicRule rule = ParseMagicRule(text);
        EXPECT_FALSE(rule.valid) << text;
        EXPECT_FALSE(ParseClassicMagicRule(text).valid) << text;
    }
}
