// UTF-8 and UTF-16 as every library reads and writes them.
#include "unicode.h"

#include <gtest/gtest.h>

TEST(Unicode, DecodesOnlyWellFormedUtf8)
{
    const struct {
        std::string bytes;
        std::size_t length;  // 0: not well-formed
        char32_t code;
    } cases[] = {
        {"A", 1, U'A'},
        {std::string("\0", 1), 1, 0},
        {"\xC3\xA9x", 2, U'\u00E9'},
        {"\xE6\x97\xA5", 3, U'\u65E5'},
        {"\xF0\x9F\x98\x80", 4, U'\U0001F600'},
        {"\xF4\x8F\xBF\xBF", 4, U'\U0010FFFF'},
        {"", 0, 0},
        {"\x80", 0, 0},              // a continuation byte alone
        {"\xC0\xAF", 0, 0},          // overlong
        {"\xE0\x80\xAF", 0, 0},      // overlong
        {"\xED\xA0\x80", 0, 0},      // a surrogate
        {"\xF4\x90\x80\x80", 0, 0},  // past U+10FFFF
        {"\xE6\x97", 0, 0},          // cut
        {"\xC3\x41", 0, 0},          // no continuation
    };
    for (const auto& c : cases) {
        char32_t code = 0xFFFFFFFF;
        EXPECT_EQ(DecodeUtf8(c.bytes, code), c.length) << testing::PrintToString(c.bytes);
        if (c.length != 0) {
            EXPECT_EQ(code, c.code) << testing::PrintToString(c.bytes);
        }
    }
}

TEST(Unicode, Utf16RoundTripsAndShowsALoneSurrogateAsReplacement)
{
    const std::string text = "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80";
    const auto utf16 = Utf16FromUtf8(text);
    ASSERT_TRUE(utf16.has_value());
    EXPECT_EQ(*utf16, u"caf\u00E9 \u65E5 \U0001F600");
    EXPECT_EQ(Utf8FromUtf16(*utf16), text);
    EXPECT_EQ(Utf16FromUtf8("ok \xC3"), std::nullopt);
    EXPECT_EQ(Utf8FromUtf16(std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00)),
              "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}
