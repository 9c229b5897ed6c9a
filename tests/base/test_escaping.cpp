// Text as the console program and the linter write it: to a terminal, a table or a message.
#include "escaping.h"

#include <gtest/gtest.h>

TEST(DisplayText, EscapesWhatCouldForgeARowOrReachTheTerminal)
{
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain name.png", "plain name.png"},
        {"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"},
        {"new\nline\r\t", "new\\x0Aline\\x0D\\x09"},
        {"\x1B[31mred\x7F", "\\x1B[31mred\\x7F"},
        {"c1 \xC2\x9B" "6n", "c1 \\xC2\\x9B6n"},           // U+009B, the one-byte CSI
        {"latin1 caf\xE9", "latin1 caf\\xE9"},             // not UTF-8
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},               // a surrogate is not UTF-8
        {"C:\\dir\\x41.bin", "C:\\dir\\x5Cx41.bin"},       // would read as an escape
        {"C:\\xfiles\\a", "C:\\xfiles\\a"},                // would not
        {std::string("nul\0", 4), "nul\\x00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DisplayText(c.in), c.out) << c.in;
    EXPECT_EQ(DisplayText(std::wstring(L"tab\there\u00E9")), "tab\\x09here\xC3\xA9");
}

TEST(ControlEscapes, KeepEveryMessageOnOneLineAndQuotedTextReadableBack)
{
    const struct {
        std::string in, bare, quoted;
    } cases[] = {
        {"4D 5A", "4D 5A", "\"4D 5A\""},
        {"a\nb\tc\rd", "a\\x0Ab\\x09c\\x0Dd", "\"a\\nb\\tc\\rd\""},
        {"\x1B[31m\x7F", "\\x1B[31m\\x7F", "\"\\x1B[31m\\x7F\""},
        {"say \"hi\" C:\\x", "say \"hi\" C:\\x", "\"say \\\"hi\\\" C:\\\\x\""},
        {std::string("nul\0", 4), "nul\\x00", "\"nul\\x00\""},
        {"caf\xC3\xA9 \x80", "caf\xC3\xA9 \x80", "\"caf\xC3\xA9 \x80\""},  // bytes from 0x80 on are no C0 control
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithoutControls(c.in), c.bare) << c.in;
        EXPECT_EQ(QuotedText(c.in), c.quoted) << c.in;
    }
}
