// The text tests: encodings found from bytes, and the shapes of text
// (json, xmlroot, table, line, header, yaml, ini) against files built here.
#include "detection.h"
#include "patterns/magic.h"
#include "signatures/signatures.h"
#include "structure_builders.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// "日本語" in each encoding, and a line of it in a sentence.
const std::string kSjis = "\x93\xFA\x96\x7B\x8C\xEA";
const std::string kEuc = "\xC6\xFC\xCB\xDC\xB8\xEC";
const std::string kJis = "\x1B$BF|K\\8l\x1B(B";
const std::string kUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";

std::string Utf16(std::u16string_view text, bool big, bool bom = true)
{
    std::string out = bom ? (big ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (char16_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        out += big ? std::string{high, low} : std::string{low, high};
    }
    return out;
}

std::optional<TextEncoding> Classify(const std::string& file)
{
    const std::vector<std::uint8_t> bytes = AsBytes(file);
    const std::size_t head = std::min(bytes.size(), kTextHead);
    const std::size_t tail = std::min(bytes.size() - head, kTextTail);
    return ClassifyText({std::span(bytes).first(head), std::span(bytes).last(tail), bytes.size()});
}

bool Holds(std::string_view magic, const std::string& file, StructureHeld* held = nullptr)
{
    EXPECT_FALSE(ParseClassicMagicRule(magic).valid) << magic;
    const MagicRule rule = ParseMagicRule(magic);
    EXPECT_TRUE(rule.valid) << magic;
    const std::vector<std::uint8_t> bytes = AsBytes(file);
    MemorySource source(bytes);
    return TestMagic(rule, source, held) == MagicResult::Match;
}

} // namespace

TEST(TextEncodings, FoundInTheirOrder)
{
    const std::optional<TextEncoding> none;
    const struct {
        std::string file;
        std::optional<TextEncoding> encoding;
    } cases[] = {
        {"plain words\r\n\ttab\f", TextEncoding::Ascii},
        {"caf\xC3\xA9 " + kUtf8 + "\n", TextEncoding::Utf8},
        {"\xEF\xBB\xBFonly ascii after the mark", TextEncoding::Utf8},
        {Utf16(u"Hello 日本\r\n", false), TextEncoding::Utf16Le},
        {Utf16(u"Hello 日本\r\n", true), TextEncoding::Utf16Be},
        {Utf16(u"\U0001F600 pair", false), TextEncoding::Utf16Le},
        {"memo: " + kJis + " end\n", TextEncoding::Iso2022Jp},
        {"memo: " + kEuc + "\xA4\xB3\xA4\xF3 \x8E\xB1 end\n", TextEncoding::EucJp},
        {"memo: " + kSjis + " \xB1\xB2 \x82\xB1\x82\xF1\n", TextEncoding::ShiftJis},
        // Not text: empty, NUL, controls, bad sequences in every encoding, marks of UTF-32.
        {"", none},
        {std::string("ab\0cd", 5), none},
        {"bell\x07", none},
        {"del\x7F", none},
        {"escape \x1B[0m alone", none},
        {"\xC3\x28 \x80", none},
        {"\xE0\x80\x80 overlong", none},
        {"\xED\xA0\x80 surrogate", none},
        {"\xC2\x85 a C1 control", none},
        {"\x82 alone\xFF", none},
        {"\xEF\xBB\xBF\xFF", none},
        {Utf16(u"lone \xD800 high", false), none},
        {Utf16(std::u16string_view(u"nul\0x", 5), false), none},
        {std::string("\xFF\xFE\0\0a\0\0\0", 8), none},
        {Utf16(u"no mark, every second byte zero", false, false), none},
        {"\x1B$Bbad\x01\x1B(B", none},
        {std::string(300, '\0'), none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Classify(c.file), c.encoding) << testing::PrintToString(c.file);
}

TEST(TextEncodings, NamedOnlyWhenTheTextReadsAsText)
{
    const std::optional<TextEncoding> none;
    const struct {
        std::string file;
        std::optional<TextEncoding> encoding;
    } cases[] = {
        // Each encoding's text, and bytes valid in it that read as no text.
        {"Gr\xFC\xDF" "e aus M\xFCnchen! Die Stra\xDF" "e ist sch\xF6n\x85\r\n", TextEncoding::Windows1252},
        {"\xBF" "D\xF3nde est\xE1 la estaci\xF3n? El ni\xF1o comi\xF3.\n", TextEncoding::Windows1252},
        {"P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1" "belsk\xE9 \xF3" "dy.\n", TextEncoding::Windows1250},
        {"Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1, powiedzia\xB3 wczoraj.\n", TextEncoding::Windows1250},
        {"\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0! \xCA\xE0\xEA \xE4\xE5\xEB\xE0?\n", TextEncoding::Windows1251},
        {"Gr\xFC\xDF" "e", none},                                // too little to tell
        {"P5\n8 8\n255\n" + std::string(80, '\xFD'), none},      // a grey raster, one long "word"
        {"x\xA4\xA6\xAC\xB1 a\xD7\xF7\xA8 q\x83\x89 z\x88\x99\n", none},  // symbols, not letters
        {"ab\xC4\xE4\xC4\xE4 cd\xE9\xC9\xE9\xC9 ef\xF6\xD6\xF6\n", none},  // no word is cased so
        {"\xDC\xA7\xB1\xC4", none},                            // half-width kana soup
        {"memo \xF0\x40\xF0\x41\xF5\x9F\xF9\xFC ok\n", none},   // Shift_JIS user-defined area
        {"memo \xE0\x40\xE1\x41\xE2\x42\xE3\x43\n", none},       // Shift_JIS rare kanji only
        {"\xAD\xA1\xAD\xA2\xAD\xA3\xA9\xA1\xA9\xA2\n", none},     // EUC-JP rows no text uses
        {"\x1B$B)!)\"+!\x1B(B\n", none},                      // the same in ISO-2022-JP
        // Korean (EUC-KR) and Chinese (GBK) fill EUC-JP's rows of kanji, but hold no kana.
        {"\xBF\xEC\xB8\xAE\xB4\xC2 \xB0\xF8\xBF\xF8\xBF\xA1 \xB0\xA1\xBC\xAD \xBB\xEA\xC3\xA5\xC0\xBB \xC7\xCF\xB0\xED \xC1\xA1\xBD\xC9\xC0\xBB \xB8\xD4\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.\n", none},
        {"\xCE\xD2\xC3\xC7\xBD\xF1\xCC\xEC\xC8\xA5\xB1\xB1\xBE\xA9\xB2\xCE\xB9\xDB\xA1\xA3\n", none},
        {"\xE0\xA0\x80", none},                                 // one UTF-8 character
        {"xZq", none},                                          // three bytes, no word
        {"one", none},
        {"[1, 2]\n", none},
        {"one\n", TextEncoding::Ascii},
        {"[1, 2, 3]\n", TextEncoding::Ascii},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Classify(c.file), c.encoding) << testing::PrintToString(c.file);
}

TEST(TextEncodings, RandomFilesAreSeldomNamed)
{
    // Lengths spread evenly on a log scale, 1 byte to 64 KiB, so that short
    // files, the ones that random bytes can pass for text, are many.
    const SignatureTable table = LoadSignatureTable(KINDSNIFFER_SHIPPED_SET);
    const TempDir dir;
    auto buffers = MakeDetectionBuffers();
    std::mt19937 random(2000);
    std::uniform_real_distribution<double> exponent(0.0, 16.0);
    int named = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string file(static_cast<std::size_t>(std::exp2(exponent(random))), '\0');
        for (char& c : file)
            c = static_cast<char>(random());
        const DetectionOutcome outcome = DetectWithTable(table, dir.Write("f", file), *buffers);
        if (outcome.state == DetectionState::Detected) {
            ++named;
            EXPECT_LT(file.size(), 16u) << outcome.title << ": " << testing::PrintToString(file.substr(0, 40));
        }
    }
    EXPECT_LE(named, 4);
}

TEST(TextForms, SyntaxIsNeverInsideAMultiByteCharacter)
{
    const struct {
        const char* magic;
        std::string file;
        bool holds;
    } cases[] = {
        // が is 24 2C in ISO-2022-JP: no comma. 表 is 95 5C in Shift_JIS: no backslash.
        {"table ,", "\x1B$B:#F|$O$$$$E75$$G$9$,!\"\x1B(B\n\x1B$B;d$,9T$-$^$9!#\x1B(B\n", false},
        {"text iso-2022-jp", "\x1B$B:#F|$O$$$$E75$$G$9$,!\"\x1B(B\n\x1B$B;d$,9T$-$^$9!#\x1B(B\n", true},
        {"json", "{\"\x95\x5C\": \"\x95\x5C\x8E\xA6\", \"a\": 1}\n", true},
        {"table ,", "\x96\xBC\x91\x4F,\x90\xE0\x96\xBE\n\x8ER\x93\x63,\x82\xAA\x82\xF1\n", true},
        {"json", "{\"a\": \"\x1B$B$,F|K\\8l\x1B(B\"}", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Holds(c.magic, c.file), c.holds) << c.magic << " on " << testing::PrintToString(c.file);
}

TEST(TextEncodings, ValidatorsAllowOnlyCutsAtTheSampleEdges)
{
    const struct {
        TextEncoding encoding;
        std::string bytes;
        bool whole, cutBefore, cutAfter;
    } cases[] = {
        {TextEncoding::Utf8, kUtf8.substr(1), false, true, false},
        {TextEncoding::Utf8, kUtf8.substr(0, 4), false, false, true},
        {TextEncoding::Utf16Le, std::string("a\0\x3D", 3), false, false, true},
        {TextEncoding::Utf16Le, std::string("\x00\xDC" "a\0", 4), false, true, false},
        {TextEncoding::Utf16Le, std::string("a\0\x3D\xD8", 4), false, false, true},
        {TextEncoding::ShiftJis, "\x80" + kSjis, false, true, false},
        {TextEncoding::ShiftJis, kSjis.substr(0, 5), false, false, true},
        {TextEncoding::EucJp, kEuc.substr(1), false, true, false},
        {TextEncoding::EucJp, "\x8F\xB0", false, false, true},
        {TextEncoding::Iso2022Jp, kJis.substr(0, 4), false, false, true},
        {TextEncoding::Iso2022Jp, kJis.substr(0, 2), false, false, true},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> bytes = AsBytes(c.bytes);
        const std::string what = std::string(TextEncodingKeyword(c.encoding)) + " " + testing::PrintToString(c.bytes);
        EXPECT_EQ(ValidText(c.encoding, bytes, false, false), c.whole) << what;
        EXPECT_TRUE(ValidText(c.encoding, bytes, c.cutBefore, c.cutAfter)) << what;
    }
}

TEST(TextEncodings, SampleIsBounded)
{
    // A NUL past the head and before the tail is never read; one in the tail is.
    std::string file(1 << 20, 'a');
    file[200000] = '\0';
    EXPECT_EQ(Classify(file), TextEncoding::Ascii);
    EXPECT_TRUE(Holds("text ascii", file));
    file[file.size() - 100] = '\0';
    EXPECT_FALSE(Classify(file).has_value());
    EXPECT_FALSE(Holds("text", file));
    // A Shift_JIS character cut by the head's end, and one cut by the tail's start.
    std::string sjis(kTextHead - 1, 'a');
    sjis += kSjis + kSjis + std::string(300000, 'b') + "\x82\xB1" + kSjis + std::string(kTextTail - 7, 'c');
    EXPECT_EQ(Classify(sjis), TextEncoding::ShiftJis);
}

TEST(TextEncodings, NoFalseTextInBinaries)
{
    std::mt19937 random(99);
    int text = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string file(16 + random() % 4096, '\0');
        for (char& c : file)
            c = static_cast<char>(random());
        if (i % 4 == 1) {
            for (std::size_t k = 1; k < file.size(); k += 2)
                file[k] = '\0';  // UTF-16-looking, no mark
        } else if (i % 4 == 2) {
            file.replace(0, 2, "\xFF\xFE");  // a mark before random units
        }
        text += Classify(file).has_value();
    }
    EXPECT_LE(text, 20);
}

TEST(TextForms, ReadWrittenAndShown)
{
    const std::pair<const char*, const char*> valid[] = {
        {"text", "text"}, {"text shift_jis", "text shift_jis"}, {"text windows-1250", "text windows-1250"}, {"json", "json"}, {"xmlroot svg:svg", "xmlroot svg:svg"},
        {"xmlroot *", "xmlroot *"}, {"table ,", "table ,"}, {"table tab", "table tab"},
        {"xmlroot svg xmlns=http://www.w3.org/2000/svg", "xmlroot svg xmlns=http://www.w3.org/2000/svg"},
        {"xmlroot rss version", "xmlroot rss version"}, {"xmlroot a b=%20c d= e", "xmlroot a b=%20c d= e"},
        {"line WEBVTT", "line WEBVTT"}, {"line Windows%20Registry", "line Windows%20Registry"},
        {"json lines", "json lines"}, {"header From Message-ID", "header From Message-ID"}, {"yaml", "yaml"},
        {"ini", "ini"}, {"nontext", "nontext"},
    };
    for (const auto& [text, canonical] : valid) {
        const MagicRule rule = ParseMagicRule(text);
        EXPECT_TRUE(rule.valid) << text;
        EXPECT_EQ(FormatMagicRule(rule), canonical);
        EXPECT_FALSE(ParseClassicMagicRule(text).valid) << text;
    }
    for (const char* text : {"text sjis", "text cp1252", "text windows-1253", "text utf-8 ascii", "text  ", "json x", "xmlroot", "xmlroot 1a", "xmlroot a>b",
                             "table", "table |", "table , ;", "line", "line a%2", "line a b", "Text", "json line",
                             "json lines x", "header", "header From:", "header a b c d e f g h i", "yaml x", "ini x",
                             "xmlroot a xmlns=", "xmlroot a xmlns=x xmlns=y", "xmlroot a 1b", "xmlroot a b=%2",
                             "xmlroot a b c d e f", "xmlroot a  b",
                             "nontext ascii", "non-text"}) {
        EXPECT_FALSE(ParseMagicRule(text).valid) << text;
        EXPECT_FALSE(ParseClassicMagicRule(text).valid) << text;
    }
}

TEST(TextForms, ShapesOfText)
{
    const std::string bigJson = "[" + std::string(100000, ' ') + "1, {\"a\": [true, false, null, -1.5e3]}";
    const struct {
        const char* magic;
        std::string file;
        bool holds;
    } cases[] = {
        {"json", " {\"a\": [1, 2.5, \"\\u00e9\\n\"], \"b\": {}}\n", true},
        {"json", "\xEF\xBB\xBF[]", true},
        {"json", Utf16(u"{\"k\": \"日本\"}", false), true},
        {"json", bigJson, true},
        {"json", "{\"a\": 1", false},
        {"json", "{\"a\": 1} x", false},
        {"json", "\"just a string\"", false},
        {"json", "{\"a\": 01}", false},
        {"json", "{'a': 1}", false},
        {"json", "[1,]", false},
        {"json", std::string(600, '[') + std::string(600, ']'), false},
        {"xmlroot svg", "<?xml version=\"1.0\"?>\n<!-- c -->\n<!DOCTYPE svg [<!ENTITY a \">\">]>\n<svg width=\"1\"/>", true},
        {"xmlroot svg", "<svg:svg xmlns:svg=\"x\"/>", false},
        {"xmlroot svg:svg", "<svg:svg xmlns:svg=\"x\"/>", true},
        {"xmlroot html", "<!-- page -->\n<HTML><body></body></HTML>", true},
        {"xmlroot html", "<!doctype html><Html lang=en>", true},
        {"xmlroot rss", "<RSS version=\"2.0\">", false},
        {"xmlroot *", "<?xml-stylesheet href=\"a\"?><feed xmlns=\"x\">", true},
        {"xmlroot *", "text <b>", false},
        {"xmlroot *", "<!-- never closed", false},
        {"xmlroot feed", Utf16(u"<feed>", true), true},
        // A namespace names the root's own; attributes are the root's own.
        {"xmlroot svg xmlns=http://www.w3.org/2000/svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\">", true},
        {"xmlroot svg xmlns=http://www.w3.org/2000/svg", "<s:svg\n  xmlns:s = 'http://www.w3.org/2000/svg'>", true},
        {"xmlroot svg xmlns=http://www.w3.org/2000/svg", "<s:svg xmlns=\"http://www.w3.org/2000/svg\">", false},
        {"xmlroot svg xmlns=http://www.w3.org/2000/svg", "<svg>", false},
        {"xmlroot svg xmlns=http://www.w3.org/2000/svg",
         "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><svg xmlns=\"http://www.w3.org/2000/svg\"/>", false},
        {"xmlroot * xmlns=urn:x", "<a:b xmlns:a=\"urn:x\">", true},
        {"xmlroot rss version", "<rss version=\"2.0\">", true},
        {"xmlroot rss version", "<rss>\n<channel version=\"2.0\">", false},
        {"xmlroot rss version", "<xsl:stylesheet version=\"1.0\"><rss version=\"2.0\">", false},
        {"xmlroot lmms-project type=song", "<!DOCTYPE lmms-project>\n<lmms-project version=\"1.0\" type=\"song\">", true},
        {"xmlroot lmms-project type=song", "<lmms-project type=\"songs\">", false},
        {"xmlroot lmms-project type=song", "<lmms-project broken type=\"song\">", false},
        {"xmlroot a b=x%20y", "<a b=\"x y\"/>", true},
        {"table ,", "a,b,\"c,d\"\n1,2,\"say \"\"hi\"\"\"\r\n3,4,5", true},
        {"table ,", "a,b\n\"multi\nline\",x\n", true},
        {"table ,", "a,b\n1,2,3\n", false},
        {"table ,", "a,b\r\n\r\n1,2\r\n\r\n", true},
        {"table ,", "a,b\n", false},
        {"table ,", "a b\nc d\n", false},
        {"table ,", "a,\"open\n", false},
        {"table ;", "Name;Ort\n" + kSjis + ";" + kSjis + "\n", true},
        {"table tab", "a\tb\tc\n1\t2\t3\n", true},
        {"table tab", "a,b\n1,2\n", false},
        {"table ,", "# made by hand, with care\n# x, y, z\nx,y,z\n1,2,3\n", true},
        {"table ,", "a,b\n# not a comment once rows began\n1,2\n", false},
        {"table ,", "# a script\nimport os, sys\nfrom a import b, c\n", false},
        {"table ;", "v1;\npackage p;\nconst N = 1 ;\n", false},
        {"table ;", "; a comment\n; and another\n", false},
        {"table ,", "a,\nb,\nc,\n", false},
        {"table ,", "a,b,\n1,2,\n", true},
        {"table ,", "Le caf\xE9 est servi, \xE0 c\xF4t\xE9.\r\nIl co\xFBte cher, h\xE9las !\r\n", false},
        {"table ,", "code,text\nE1,File not found.\nE2,Disk full.\n", true},
        {"line [InternetShortcut]", "[InternetShortcut]\r\nURL=http://x/\r\n", true},
        {"line Windows%20Registry%20Editor", Utf16(u"Windows Registry Editor Version 5.00\r\n", false), true},
        {"line WEBVTT", "\xEF\xBB\xBFWEBVTT\n", true},
        {"line WEBVTT", "  WEBVTT\n", false},
        {"line WEBVTT", std::string("WEBVTT\0", 7), false},
        {"xmlroot h2", "<!-- part -->\n<H2>News</H2>\n<p>x</p>", true},
        {"xmlroot div", "<DIV class=\"x\">link</DIV>", true},
        {"xmlroot p", "<para>x</para>", false},
        {"json lines", "{\"a\": 1}\n[2, 3]\r\n{}\n\n", true},
        {"json lines", "{\"a\": 1}\n", false},
        {"json lines", "{\"a\": 1}\n\n{\"b\": 2}\n", false},
        {"json lines", "{\"a\": 1}\n{\"b\":\n 2}\n", false},
        {"json lines", "1\n2\n", false},
        {"json lines", "{\"a\": 1}\n{\"b\": 2}\n{\"c\"", false},
        {"json lines", "{\"a\": 1}\n{\"b\": 2}\n{\"c\"" + std::string(70000, ' '), true},  // cut by the sample
        {"json", "{\"a\": 1}\n{\"b\": 2}\n", false},
        {"header From Subject", "To: b@x\r\nFrom: a@x\r\nSubject: hi,\r\n there\r\n\r\nFrom: body\r\n", true},
        {"header From Subject", "from: a@x\nSUBJECT: hi\n", true},
        {"header From Subject", "From: a@x\nHi, subject: lunch\n", false},
        {"header From Subject", "From: a@x\n\nSubject: in the body\n", false},
        {"header From Subject", " From: a@x\nSubject: s\n", false},
        {"header From Subject", "From : a@x\nSubject: s\n", false},
        {"header From", "From x Mon Jan 1\nFrom: a@x\n", false},
        {"yaml", "# settings\nrepos:\n-   repo: x\n    rev: 1\nname: y\n", true},
        {"yaml", "icons:\n  - name: Glass\n    id: glass\n", true},
        {"yaml", "---\nname: x\nitems:\n  - 1\n", true},
        {"yaml", "a: 1\nb: 2\n", false},
        {"yaml", "---\ntitle: Notes\n---\n\nSome prose here.\n", false},
        {"yaml", "Ingredients:\n- eggs\n- milk\n", false},
        {"yaml", "class Example:\n    def method(self, a: str) -> None: ...\n", false},
        {"yaml", "all:\n\tcc -o x x.c\n", false},
        {"yaml", "map:\n  key: 1\nthen prose\n", false},
        {"yaml", "doc:\n  description:\n    plain text, on the next line\n  type: x\n", true},
        {"yaml", "map:\n  b: 1\n c: 2\n", false},
        {"yaml", "Source: x\nComment:\n From: a\n To: b\n", false},
        {"yaml", "Comment:\n  Parts taken from Util:\n  Copyright: 1997\n", false},
        {"ini", "; made by hand\n[General]\nSize=10\n\n[Other]\nName = x\n", true},
        {"ini", "[General]\n", false},
        {"ini", "Size=10\n[General]\nName=x\n", false},
        {"ini", "[![badge](x)](y)\nSome=thing\n", false},
        {"ini", "[General]\nSize=10\nand a line of prose\n", false},
        {"ini", "[Options]\n;LogToFile=c:\\log.txt\n", true},
        {"ini", "[managed]\nError=To install,\n try apt.\n\n Or a venv.\n", true},
        {"ini", "\n[i18n]\nBabel>=2.7\n", false},
        // A line cut by the sample's end is not read: the shape of what came before decides.
        {"header From Subject", "From: a@x\r\nSubject: s\r\nX-Long: " + std::string(70000, 'y'), true},
        {"yaml", "a:\n  b: 1\nc: " + std::string(70000, 'y') + " prose", true},
        {"ini", "[a]\r\nb=1\r\nc" + std::string(70000, ' ') + "prose", true},
        {"ini", "[a]\r\nb=1\r\nc" + std::string(500, ' ') + "prose", false},
        {"text ascii", "plain\n", true},
        {"text utf-8", "plain\n", false},
        {"text shift_jis", kSjis, true},
        // nontext holds exactly where text does not: a control byte, a NUL, UTF-16 without its mark.
        {"nontext", "MZ-80K restoration notes\n", false},
        {"nontext", kSjis, false},
        {"nontext", Utf16(u"ID3 tags", false), false},
        {"nontext", std::string("MZ\x90\0\3\0", 6), true},
        {"nontext", "ID3\x03 tags", true},
        {"nontext", std::string("I\0D\0""3\0", 6), true},
        {"nontext", "solid " + std::string(70000, 'x') + "\x01", true},
        {"nontext", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Holds(c.magic, c.file), c.holds) << c.magic << " on " << testing::PrintToString(c.file);

    StructureHeld held;
    ASSERT_TRUE(Holds("xmlroot *", "\xEF\xBB\xBF<plist version=\"1.0\">", &held));
    EXPECT_EQ(held.name, "plist");
    EXPECT_EQ(held.encoding, TextEncoding::Utf8);
}

TEST(TextForms, ReadOnlyTheSampleOnceForAllTests)
{
    // A source that counts what it is asked for: every text test of a run
    // shares one sample, however large the file.
    struct CountingSource : MemorySource {
        using MemorySource::MemorySource;
        std::uint64_t asked = 0;
        const std::uint8_t* Bytes(std::uint64_t position, std::size_t count)
        {
            asked += count;
            return MemorySource::Bytes(position, count);
        }
    };
    std::string file(8 << 20, 'x');
    file.replace(0, 6, "a,b\nc,");
    const std::vector<std::uint8_t> bytes = AsBytes(file);
    CountingSource source(bytes);
    for (const char* text : {"text", "json", "xmlroot *", "table ,", "line a", "text ascii"})
        TestMagic(ParseMagicRule(text), source);
    EXPECT_LE(source.asked, 1024 + kTextHead + kTextTail);
    EXPECT_GT(source.asked, kTextHead);
}
