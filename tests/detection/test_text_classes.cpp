// The character classes the text tests read by: an XML name, the same in a
// signature's xmlroot and in a file's root element, and the white space of
// JSON and XML, which is not C's.
#include "patterns/magic.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TextClasses, XmlNamesReadAlikeInSignaturesAndFiles)
{
    const struct {
        std::string name;
        bool valid;
    } cases[] = {
        {"svg", true},  {"SVG", true},  {"_a", true},  {":a", true},  {"a-b.c", true}, {"a1", true},
        {"\xC3\xA9t\xC3\xA9", true},    {"1a", false}, {"-a", false}, {".a", false},   {"a@b", false},
        {"a\x01", false}, {"\x7F", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseMagicRule("xmlroot " + c.name).valid, c.valid) << c.name;
        const std::optional<std::string> root = XmlRootName("<" + c.name + ">");
        EXPECT_EQ(root == c.name, c.valid) << c.name;
    }
}

TEST(TextClasses, MarkupWhiteSpaceIsNotCs)
{
    const struct {
        std::string text;
        bool json;
        bool jsonLines;
        std::optional<std::string> root;
    } cases[] = {
        {" \t\r\n{}\r\n", true, false, std::nullopt},
        {"{} \t\n[]\t\n", false, true, std::nullopt},
        {"\v{}", false, false, std::nullopt},
        {"{\f}", false, false, std::nullopt},
        {"{}\n\f[]\n", false, false, std::nullopt},
        {"\r\n\t <a>", false, false, "a"},
        {"\f<a>", false, false, std::nullopt},
        {"<a\v>", false, false, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonHolds(c.text, false), c.json) << c.text;
        EXPECT_EQ(JsonLinesHolds(c.text, false), c.jsonLines) << c.text;
        EXPECT_EQ(XmlRootName(c.text), c.root) << c.text;
    }
}

} // namespace
