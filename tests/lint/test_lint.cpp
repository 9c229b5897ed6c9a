// The signature-file linter: what it reports, on which line, and what it
// must leave alone.
#include "lint.h"
#include "files/platform_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

// The types start on this line of the document that LintTypes builds.
constexpr int kFirst = 4;

// Lints `text` as the program does: from a file, here in a folder of its own.
std::vector<LintFinding> LintText(std::string_view text)
{
    TempDir dir;
    LintResult result = LintSignatureFile(dir.Write("lint.xml", text));
    EXPECT_EQ(result.file, WholeFileResult::Read);
    return std::move(result.findings);
}

// Most cases write printable bytes for brevity, which a note could hold too;
// that warning is left out unless asked for, and has its own test.
std::vector<LintFinding> LintTypes(std::string_view types, bool textWarnings = false)
{
    auto findings = LintText("<?xml version=\"1.0\"?>\n<dat>\n<types>\n" + std::string(types) + "\n</types>\n</dat>\n");
    if (!textWarnings)
        std::erase_if(findings, [](const LintFinding& f) { return f.message.find("could name a text file") != std::string::npos; });
    return findings;
}

std::string Dump(const std::vector<LintFinding>& findings)
{
    std::string out;
    for (const auto& finding : findings)
        out += std::to_string(finding.line) + ": " + finding.message + "\n";
    return out.empty() ? "(no findings)" : out;
}

int Count(const std::vector<LintFinding>& findings, int line, std::string_view part)
{
    int count = 0;
    for (const auto& finding : findings)
        count += finding.line == line && finding.message.find(part) != std::string::npos;
    return count;
}

bool Has(const std::vector<LintFinding>& findings, int line, std::string_view part)
{
    return Count(findings, line, part) > 0;
}

// A type that is clean apart from the patterns given.
std::string TypeWith(std::string_view magic, std::string_view title = "T")
{
    return "<type><magic>" + std::string(magic) + "</magic><title>" + std::string(title)
         + "</title><ext>.t</ext></type>";
}

} // namespace

TEST(Lint, ShippedSignatureFileIsClean)
{
    const auto path = ExecutablePath().parent_path() / KINDSNIFFER_SHIPPED_SIGNATURES;
    const LintResult result = LintSignatureFile(path);
    ASSERT_EQ(result.file, WholeFileResult::Read) << path;
    EXPECT_TRUE(result.findings.empty()) << Dump(result.findings);
}

TEST(Lint, CleanFileHasNoFindings)
{
    const auto findings = LintTypes("<!-- comment -->\n"
                                    "<type>\n"
                                    "  <note>x</note>\n"
                                    "  <magic>4D 5A ?? 00 </magic>\n"
                                    "  <magic>\n    <![CDATA[-2: 55 AA]]>\n  </magic>\n"
                                    "  <magic>-6: 55 AA</magic>\n"
                                    "  <magic>+16: 0x4d 000000007F</magic>\n"
                                    "  <magic>?: 50 4B</magic>\n"
                                    "  <title>Fish &amp; Chips &#65;</title>\n"
                                    "  <ext>.a</ext><ext>.b</ext>\n"
                                    "</type>\n"
                                    "<type><magic>512:</magic><magic>?:</magic><title>Any</title></type>");
    EXPECT_TRUE(findings.empty()) << Dump(findings);
}

TEST(LintDocument, ReportsMissingDatOrTypes)
{
    EXPECT_TRUE(Has(LintText(""), 1, "no XML"));
    EXPECT_TRUE(Has(LintText("<?xml version=\"1.0\"?>\n<other/>\n"), 1, "no <dat>"));
    EXPECT_TRUE(Has(LintText("<?xml version=\"1.0\"?>\n\n<dat><type/></dat>\n"), 3, "no <types>"));
}

TEST(LintDocument, TellsWhetherAParseErrorLosesDat)
{
    const auto inside = LintText("<dat>\n<types>\n<type><magic>4D</magic></typo>\n</types>\n</dat>\n");
    EXPECT_TRUE(Has(inside, 3, "XML_ERROR_MISMATCHED_ELEMENT")) << Dump(inside);
    EXPECT_TRUE(Has(inside, 3, "no file will be detected")) << Dump(inside);
    EXPECT_EQ(inside.size(), 1u) << Dump(inside);

    // The walk still sees everything before the error, and so does the linter.
    const auto after = LintText("<dat>\n<types>\n<type><magic>4D</magic><ext>exe</ext><title>A</title></type>\n"
                                         "</types>\n</dat>\n<after>\n<broken\n");
    EXPECT_TRUE(Has(after, 7, "not well-formed")) << Dump(after);
    EXPECT_TRUE(Has(after, 7, "not affected")) << Dump(after);
    EXPECT_TRUE(Has(after, 3, "leading period")) << Dump(after);
}

TEST(LintDocument, ReportsElementsSpelledWithOtherCapitals)
{
    const auto findings = LintText("<Dat/>\n<dat>\n<Types/>\n<types>\n<Type><magic>00</magic></Type>\n"
                                            "<type><MAGIC>1</MAGIC><magic>00</magic><Title>x</Title><title>T</title>"
                                            "<EXT>.x</EXT><Note/></type>\n</types>\n</dat>\n");
    EXPECT_TRUE(Has(findings, 1, "<Dat> is ignored"));
    EXPECT_TRUE(Has(findings, 3, "<Types> is ignored"));
    EXPECT_TRUE(Has(findings, 5, "<Type> is ignored"));
    EXPECT_TRUE(Has(findings, 6, "<MAGIC> is ignored"));
    EXPECT_TRUE(Has(findings, 6, "<Title> is ignored"));
    EXPECT_TRUE(Has(findings, 6, "<EXT> is ignored"));
    EXPECT_EQ(findings.size(), 6u) << Dump(findings);
}

TEST(LintType, ReportsMissingOrEmptyPieces)
{
    const auto findings = LintTypes("<type><title>No pattern</title></type>\n"
                                    "<type><magic>00</magic></type>\n"
                                    "<type><magic></magic><magic><!-- c -->00</magic><magic><![CDATA[]]></magic>"
                                    "<title><!-- c -->T</title><ext>   </ext><ext>png</ext></type>");
    EXPECT_TRUE(Has(findings, kFirst, "no <magic>"));
    EXPECT_TRUE(Has(findings, kFirst + 1, "no <title>"));
    EXPECT_EQ(Count(findings, kFirst + 2, "<magic> has no text"), 3) << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 2, "<title> has no text"));
    EXPECT_TRUE(Has(findings, kFirst + 2, "<ext> has no text"));
    EXPECT_TRUE(Has(findings, kFirst + 2, "\"png\" lacks its leading period"));
}

TEST(LintType, ReportsCharacterReferencesBesideTextThatIsNotUtf8)
{
    // Beside ASCII or UTF-8 a reference reads right; beside Latin-1 or Shift_JIS bytes it does not.
    const auto findings = LintTypes(TypeWith("00", "&#x30D5;ile") + "\n" + TypeWith("01", "Caf\xE9 &#233;") + "\n"
                                    + TypeWith("02", "<![CDATA[&#x30D5;]]>\xE9") + "\n"
                                    + "<type><magic>03</magic><title>T</title><ext>.\x95&#xE9;</ext></type>\n"
                                    + TypeWith("04", "\xE3\x83\x95&#233;"));
    EXPECT_TRUE(Has(findings, kFirst + 1, "&#233; beside text that is not UTF-8"));
    EXPECT_TRUE(Has(findings, kFirst + 3, "<ext> holds the character reference &#xE9;"));
    EXPECT_EQ(findings.size(), 2u) << Dump(findings);
}

TEST(LintType, AttributesACharacterReferenceToTheRightTitleOnASharedLine)
{
    // Both titles hold bytes that are not UTF-8, but only the second has a reference.
    const auto findings = LintTypes(TypeWith("00", "Caf\xE9") + TypeWith("01", "<!-- <title>&#233;</title> -->")
                                    + TypeWith("02", "\xE9&#233;"));
    EXPECT_EQ(Count(findings, kFirst, "&#233;"), 1) << Dump(findings);
    EXPECT_EQ(findings.size(), 2u) << Dump(findings);  // and the title that begins with a comment
}

TEST(LintMagic, ReportsWhiteSpaceThatSpoilsTokens)
{
    const auto findings = LintTypes(TypeWith("\n  4D 5A\n") + "\n" + TypeWith("4D\t5A") + "\n" + TypeWith(" 4D 5A") + "\n"
                                    + TypeWith("4D  5A") + "\n" + TypeWith("4D 5A  ") + "\n" + TypeWith("00 01 "));
    EXPECT_TRUE(Has(findings, kFirst, "a line feed"));
    EXPECT_TRUE(Has(findings, kFirst + 3, "a tab"));
    EXPECT_TRUE(Has(findings, kFirst + 4, "a leading space"));
    EXPECT_TRUE(Has(findings, kFirst + 5, "doubled spaces"));
    EXPECT_TRUE(Has(findings, kFirst + 6, "trailing spaces"));
    EXPECT_EQ(findings.size(), 5u) << Dump(findings);  // one trailing space is harmless
}

TEST(LintMagic, ReportsByteTokenWithoutANumberOrBeyond32Bits)
{
    const auto findings = LintTypes(TypeWith("ZZ ? 80000000 FFFFFFFFFF 7FFFFFFF"));
    EXPECT_TRUE(Has(findings, kFirst, "\"ZZ\" holds no hexadecimal number"));
    EXPECT_TRUE(Has(findings, kFirst, "\"?\" holds no hexadecimal number (a wildcard is written"));
    EXPECT_TRUE(Has(findings, kFirst, "\"80000000\" is beyond 32 bits"));
    EXPECT_TRUE(Has(findings, kFirst, "\"FFFFFFFFFF\" is beyond 32 bits"));
    EXPECT_TRUE(Has(findings, kFirst, "\"7FFFFFFF\" holds more than one byte"));
    EXPECT_EQ(findings.size(), 5u) << Dump(findings);
}

TEST(LintMagic, ReportsTokensThatTestOtherBytesThanTheyShow)
{
    const auto findings = LintTypes(TypeWith("4D5A 14D -1 4Dzz 0xZZ"));
    EXPECT_TRUE(Has(findings, kFirst, "\"4D5A\" holds more than one byte: only its low byte 0x5A"));
    EXPECT_TRUE(Has(findings, kFirst, "\"14D\" holds more than one byte: only its low byte 0x4D"));
    EXPECT_TRUE(Has(findings, kFirst, "\"-1\" is negative: only its low byte 0xFF"));
    EXPECT_TRUE(Has(findings, kFirst, "\"4Dzz\" is read as 0x4D: the rest, \"zz\""));
    EXPECT_TRUE(Has(findings, kFirst, "\"0xZZ\" is read as 0x00"));
    EXPECT_EQ(findings.size(), 5u) << Dump(findings);
}

TEST(LintMagic, ReportsOffsetThatIsNotDecimal)
{
    const auto findings = LintTypes(TypeWith("0x10: 4D") + "\n" + TypeWith("1e3: 4E") + "\n" + TypeWith(": 4F") + "\n"
                                    + TypeWith("99999999999: 50") + "\n" + TypeWith("16: 51") + "\n"
                                    + TypeWith("-2: 55 AA"));
    EXPECT_TRUE(Has(findings, kFirst, "\"0x10:\" is read as offset 0"));
    EXPECT_TRUE(Has(findings, kFirst + 1, "\"1e3:\" is read as offset 1"));
    EXPECT_TRUE(Has(findings, kFirst + 2, "\":\" is read as offset 0"));
    EXPECT_TRUE(Has(findings, kFirst + 3, "beyond 32 bits"));
    EXPECT_EQ(findings.size(), 4u) << Dump(findings);
}

TEST(LintMagic, ReportsAnchorsAndWildcardsSpoiledByWhiteSpace)
{
    const auto findings = LintTypes(TypeWith("\n?: 50 4B") + "\n" + TypeWith("?:\t50") + "\n" + TypeWith("512:\n55")
                                    + "\n" + TypeWith("4D\t?? 00") + "\n" + TypeWith("4D ?: 5:"));
    EXPECT_TRUE(Has(findings, kFirst, "search anchor \"?:\" is spoiled") && Has(findings, kFirst, "offset anchor at 0"))
        << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 2, "search anchor \"?:\" is spoiled") && Has(findings, kFirst + 2, "never matches"))
        << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 3, "\"512:\" has white space after its colon")
                && Has(findings, kFirst + 3, "0x512, whose low byte 0x12"))
        << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 5, "wildcard \"??\" has white space attached")) << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 6, "anchor \"?:\" counts only as the first token")) << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 6, "anchor \"5:\" counts only as the first token; here it is read as the byte token 0x05"))
        << Dump(findings);
}

TEST(LintMagic, ReportsNegativeOffsetShorterThanItsPattern)
{
    const auto findings = LintTypes(TypeWith("-1: 55 AA") + "\n" + TypeWith("-2: 55 AA") + "\n" + TypeWith("-4: 55 AA"));
    EXPECT_TRUE(Has(findings, kFirst, "offset -1 with 2 tokens after it never matches"));
    EXPECT_EQ(findings.size(), 1u) << Dump(findings);
}

TEST(LintType, ReportsTypeThatANoteCouldSatisfy)
{
    const struct {
        const char* magics;
        bool warned;
    } cases[] = {
        {"<magic>49 44 33</magic>", true},
        {"<magic>49 44 33 03 00</magic>", false},
        {"<magic>4D 5A</magic><magic>ptr 60 u32le 0: 4E 45</magic>", true},
        {"<magic>4D 5A</magic><magic>ptr 60 u32le 0: 50 45 00 00</magic>", false},
        {"<magic>73 6F 6C 69 64 20</magic><magic>nontext</magic>", false},
        {"<magic>73 6F 6C 69 64 20</magic><magic>text</magic>", false},
        {"<magic>3C 3F 78 6D 6C 20</magic><magic>?: 3C 73 76 67</magic><magic>00</magic>", true},
        {"<magic>50 4B 03 04</magic><magic>zip mimetype</magic>", false},
    };
    for (const auto& c : cases) {
        const auto findings = LintTypes(std::string("<type>") + c.magics + "<title>Kind</title><ext>.k</ext></type>", true);
        EXPECT_EQ(Has(findings, kFirst, "type \"Kind\" could name a text file"), c.warned)
            << c.magics << "\n" << Dump(findings);
        EXPECT_EQ(findings.size(), c.warned ? 1u : 0u) << Dump(findings);
    }
}

TEST(LintShadowing, ReportsTypeThatAnEarlierTypeAlwaysWins)
{
    const auto findings = LintTypes(TypeWith("50 4B 03 04", "ZIP") + "\n"
                                    + "<type><magic>50 4B 03 04</magic><magic>?: 77 6F 72 64</magic><title>DOCX</title></type>\n"
                                    + TypeWith("4D ?? 90", "MZ") + "\n"
                                    + "<type><magic>4D 5A</magic><magic>2: 90 00</magic><title>PE</title></type>\n"
                                    + TypeWith("-2: 55 AA", "Boot") + "\n" + TypeWith("-4: 00 00 55 AA", "Boot2") + "\n"
                                    + TypeWith("512:", "Big") + "\n" + TypeWith("1024: 01", "Bigger"));
    EXPECT_TRUE(Has(findings, kFirst + 1, "type \"DOCX\" can never be reported: the earlier type \"ZIP\" (line 4)"))
        << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 3, "\"PE\" can never be reported")) << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 5, "\"Boot2\" can never be reported")) << Dump(findings);
    EXPECT_TRUE(Has(findings, kFirst + 7, "\"Bigger\" can never be reported")) << Dump(findings);
    EXPECT_EQ(findings.size(), 4u) << Dump(findings);
}

TEST(LintShadowing, ClaimsNothingThePatternsDoNotProve)
{
    const auto findings = LintTypes(
        // A search can decide where the later type's patterns would not.
        "<type><magic>?: 50 4B</magic><title>Search</title></type>\n" + TypeWith("50 4B 03 04", "Zip")
        // Needs a byte more than the later type: a two-byte file 4D 5A escapes it.
        + "\n" + TypeWith("0: 4D 5A", "Anchored") + "\n" + TypeWith("4D 5A", "Plain")
        // Counted from the other end: unknown without the file's size.
        + "\n" + TypeWith("-2: 55 AA", "End") + "\n" + TypeWith("510: 55 AA", "Start")
        // The later type's fixed pattern after its search is not tested when the search hits.
        + "\n" + TypeWith("7F", "Seven") + "\n"
        + "<type><magic>?: 45</magic><magic>7F</magic><title>SearchFirst</title></type>"
        // A type that never matches shadows nothing.
        + "\n" + TypeWith("ZZ", "Broken") + "\n" + TypeWith("01 02", "After broken"));
    EXPECT_TRUE(Has(findings, kFirst + 8, "\"ZZ\" holds no hexadecimal number"));
    EXPECT_EQ(findings.size(), 1u) << Dump(findings);
}

TEST(LintShadowing, ReportsATextTestThatHoldsWhereverALaterTextTypeDoes)
{
    const struct {
        std::string earlier;
        std::string later;
        bool shadowed;
    } cases[] = {
        {"text", "text utf-8", true},
        {"text", "json", true},
        {"text", "table ,", true},
        {"text", "4D 5A", false},  // a binary type is no text
        {"text utf-8", "json", false},  // JSON in another encoding escapes it
        {"text utf-8", "text utf-16le", false},
        {"json", "json lines", false},
        {"xmlroot svg", "xmlroot svg", true},
        {"xmlroot svg", "text utf-8</magic><magic>xmlroot html", false},
        {"text utf-8", "text utf-8</magic><magic>xmlroot svg", true},
        {"table ;", "3C</magic><magic>table ;", true},
        {"3C</magic><magic>table ;", "table ;", false},  // it needs a byte the later type does not
        {"text", "?: 00</magic><magic>text", false},  // a search hit decides before the text test
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.earlier + " before " + c.later);
        const auto findings = LintTypes(TypeWith(c.earlier, "Early") + "\n" + TypeWith(c.later, "Late"));
        EXPECT_EQ(Has(findings, kFirst + 1, "\"Late\" can never be reported: the earlier type \"Early\""), c.shadowed)
            << Dump(findings);
        EXPECT_EQ(findings.size(), c.shadowed ? 1u : 0u) << Dump(findings);
    }
}

TEST(LintDocument, ReportsWhatTheParserReadsWrongWithItsPlace)
{
    const struct {
        std::string document;
        int line;
        const char* finding;  // nullptr: clean
    } cases[] = {
        {"<dat><types>\n" + TypeWith("4D", "A &amp; B & C") + "\n</types></dat>", 2,
         "\"&\" at column 41 starts no reference"},
        {"<dat><types>\n" + TypeWith("4D", "&zz; &#0; &#X41; &#x41; &#65; &lt;") + "\n</types></dat>", 2,
         "\"&zz;\" at column 31, \"&#0;\" at column 36 and \"&#X41;\" at column 41 start no reference"},
        {"<dat><types>\n<type><magic>zip a&b</magic><title>T</title><ext>.a&amp;</ext></type>\n</types></dat>", 2,
         "\"&\" at column 19 starts"},
        {"<dat note=\"x & y\"><types>\n" + TypeWith("4D 00") + "\n</types></dat>", 1, "\"&\" at column 14"},
        {"<dat><types><!-- a & b --><![CDATA[&]]>\n" + TypeWith("4D 00") + "\n</types></dat>", 0, nullptr},
        {"<dat>\n<types>\n<type><magic>4D</magic><title>T</title><ext>.a</ext>\n</types>\n</dat>", 3,
         "(</types> at line 4, column 1 does not close <type> of line 3, column 1)"},
        {"<dat>\n<types>\n" + TypeWith("4D 00") + "\n</types>\n", 1, "(<dat> of line 1 is never closed)"},
        {"<dat><types>" + TypeWith("4D 00") + "</types></dat>\n</types>\n", 2,
         "</types> at line 2, column 1 closes no open element: the parser stops there"},
        {"</x>\n<dat><types>" + TypeWith("4D 00") + "</types></dat>", 1, "</x> at line 1, column 1 closes no open element"},
        {"<dat><types>" + TypeWith("4D 00") + "</types></dat>\n<dat>\n", 2, "(<dat> of line 2 is never closed); the error lies after"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        const auto findings = LintText(c.document);
        if (c.finding)
            EXPECT_TRUE(Has(findings, c.line, c.finding)) << Dump(findings);
        else
            EXPECT_TRUE(findings.empty()) << Dump(findings);
    }
}

TEST(HostileInput, LintOfExtremeFilesIsOneLineAFindingAndBounded)
{
    // 100,000 types, every tenth sharing its first bytes with others, and one
    // near the end shadowed by the first: found without comparing all pairs.
    std::string many = TypeWith("7E 7E", "First");
    for (int i = 0; i < 100000; ++i) {
        char magic[32];
        std::snprintf(magic, sizeof magic, "%02X %02X %02X %02X", i % 10 ? 0x51 : 0x50, (i >> 16) & 0xFF,
                      (i >> 8) & 0xFF, i & 0xFF);
        many += "\n" + TypeWith(magic, "T" + std::to_string(i));
    }
    many += "\n" + TypeWith("7E 7E 01", "Late");
    const auto findings = LintTypes(many);
    ASSERT_EQ(findings.size(), 1u) << Dump(findings);
    EXPECT_NE(findings[0].message.find("type \"Late\" can never be reported"), std::string::npos);

    // 100,000 types of one MIME type, kin only by their titles' first word, and
    // one unrelated type after them: grouped without comparing all pairs.
    std::string kin;
    for (int i = 0; i < 100000; ++i) {
        char magic[32];
        std::snprintf(magic, sizeof magic, "60 %02X %02X %02X", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        kin += std::string("<type><magic>") + magic + "</magic><title>Kind " + std::to_string(i) + "</title><ext>.e" +
               std::to_string(i) + "</ext><mime>image/k</mime></type>\n";
    }
    kin += "<type><magic>01</magic><title>Other</title><ext>.o</ext><mime>image/k</mime></type>";
    const auto kinFindings = LintTypes(kin);
    ASSERT_EQ(kinFindings.size(), 1u) << kinFindings.size();
    EXPECT_TRUE(Has(kinFindings, kFirst + 100000, "type \"Other\" (.o) is also given to type \"Kind 0\" (.e0)"))
        << Dump(kinFindings);

    // Nested 100,000 deep: one finding, on one line.
    std::string deep = "<dat><types>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    const auto nested = LintText(deep);
    ASSERT_FALSE(nested.empty());
    EXPECT_NE(nested[0].message.find("not well-formed"), std::string::npos) << Dump(nested);

    // 100,000 stray '&'s on one line: one finding that writes out a few and counts the rest.
    const auto strays = LintTypes(TypeWith("00", std::string(100000, '&')));
    ASSERT_EQ(strays.size(), 1u);
    EXPECT_NE(strays[0].message.find("and 99994 more start no reference"), std::string::npos) << Dump(strays);
}

TEST(LintMagic, ChecksTheStructureForms)
{
    const struct {
        std::string magic;
        const char* finding;  // nullptr: clean
    } cases[] = {
        {"ptr 60 u32le 0: 50 45 00 00", nullptr},
        {"zip word/document.xml", nullptr},
        {"ole %05SummaryInformation", nullptr},
        {"gzip ?: 3C 73 76 67", nullptr},
        {"ptr 60 u32 0: 50 45", "ptr test is malformed"},
        {"zip mimetype 0: 6170", "zip test is malformed"},
        {"oleclsid 00020906-0000-0000-C000", "oleclsid test is malformed"},
        {"zlib 0: 78", "zlib test is malformed"},
        {"ptr 60 u16le -70000: 00", "never matches"},
        {"gzip 65535: 00 00", "first 65536 bytes of the payload"},
        {"zip a.bin 65536: 00", nullptr},  // a stored member is read wherever its bytes lie
        {"ole a/b", "never hold"},
        {"text shift_jis", nullptr},
        {"json", nullptr},
        {"xmlroot svg:svg", nullptr},
        {"table tab", nullptr},
        {"line Windows%20Registry", nullptr},
        {"text sjis", "text test is malformed"},
        {"json object", "json test is malformed"},
        {"xmlroot svg=1", "xmlroot test is malformed"},
        {"table |", "write it as table , or table ; or table tab"},
        {"line a%2", "line test is malformed"},
        {"json lines", nullptr},
        {"header From Subject", nullptr},
        {"yaml", nullptr},
        {"ini", nullptr},
        {"json lines x", "write it as json, or json lines"},
        {"header", "write it as header NAME..."},
        {"header From:", "header test is malformed"},
        {"yaml 1", "write it as yaml, alone"},
        {"ini x", "ini test is malformed"},
        // The bad token is named, or where one is missing.
        {"ptr 60 u32le 0: 50 4", "ptr test is malformed at \"4\" (token 6)"},
        {"zip a 0:", "zip test is malformed: a token is missing after \"0:\""},
        {"gzip 0: 1F GG", "at \"GG\" (token 4)"},
        {"zlib 0: 78", "at \"0:\" (token 2)"},
        {"ole abcdefghijklmnopqrstuvwxyz0123456", "at \"abcdefghijklmnopqrstuvwxyz0123456\""},
        {"oleclsid 00020906-0000-0000-C000", "at \"00020906-0000-0000-C000\""},
        {"text sjis", "at \"sjis\" (token 2)"},
        {"xmlroot svg=1", "at \"svg=1\""},
        {"line a%2", "at \"a%2\""},
        {"header a b c d e f g h i", "at \"i\", one token too many"},
        {"json lines x", "at \"x\" (token 3)"},
        {"lang C", "lang test is malformed at \"C\" (token 2)"},
        {"weigh 0 word a", "weigh test is malformed at \"0\" (token 2)"},
        {"weigh 3 regex a", "at \"regex\" (token 3)"},
        // A masked byte with a bit outside its mask, in every form that takes masked bytes.
        {"ptr 60 u32le +23: 20&amp;20 51&amp;50", "masked byte \"51&50\" can never hold"},
        {"zip a 0: F0&amp;0F", "masked byte \"F0&0F\""},
        {"gzip ?: 01&amp;01 02&amp;01 03&amp;01", "masked bytes \"02&01\" and \"03&01\""},
        {"zlib 0 0: 78&amp;F0", "masked byte \"78&F0\""},
        {"zlib 0 0: 70&amp;F0 ??", nullptr},
        {"near pe export 4096: 2E", nullptr},
        {"near 0 2000000: 41", "near test is malformed"},
        {"xmlroot svg xmlns=http://www.w3.org/2000/svg version", nullptr},
        {"xmlroot s:svg xmlns=urn:x", "holds no colon"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.magic);
        const auto findings = LintTypes("<type><magic>50 4B</magic><magic>" + c.magic
                                        + "</magic><title>T</title><ext>.t</ext></type>");
        if (c.finding)
            EXPECT_TRUE(Has(findings, kFirst, c.finding)) << Dump(findings);
        else
            EXPECT_TRUE(findings.empty()) << Dump(findings);
    }

    // A text type opens with a text test: any first byte may start a text.
    const auto text = LintTypes("<type><magic>text utf-8</magic><magic>json</magic><title>J</title><ext>.json</ext></type>");
    EXPECT_TRUE(text.empty()) << Dump(text);

    // A structure test only narrows its type: a general type before it still takes every file it would match.
    const auto shadowed = LintTypes(TypeWith("50 4B 03 04", "ZIP") + "\n"
                                    + "<type><magic>50 4B 03 04</magic><magic>zip mimetype</magic><title>ODF</title>"
                                      "<ext>.odt</ext></type>");
    EXPECT_TRUE(Has(shadowed, kFirst + 1, "\"ODF\" can never be reported")) << Dump(shadowed);
}

TEST(LintLanguages, ReportsEvidenceNeverWeighedAndLanguagesWithoutEvidence)
{
    const auto clean = LintTypes("<type><magic>lang a</magic><magic>weigh 5 start al</magic><title>A</title><ext>.a</ext></type>\n"
                                 "<type><magic>lang b</magic><magic>weigh 5 start be</magic><title>B</title><ext>.b</ext></type>\n"
                                 "<type><magic>lang a b</magic><title>A or B</title><ext>.a</ext></type>");
    EXPECT_TRUE(clean.empty()) << Dump(clean);
    const auto pairWeighs = LintTypes("<type><magic>lang a c</magic><magic>weigh 5 start al</magic><title>A</title><ext>.a</ext></type>");
    EXPECT_TRUE(Has(pairWeighs, kFirst, "it is never weighed")) << Dump(pairWeighs);
    EXPECT_TRUE(Has(pairWeighs, kFirst, "the language \"c\"")) << Dump(pairWeighs);
    const auto noLang = LintTypes("<type><magic>text</magic><magic>weigh 5 start al</magic><title>A</title><ext>.a</ext></type>");
    EXPECT_TRUE(Has(noLang, kFirst, "it is never weighed")) << Dump(noLang);
}

TEST(LintMime, ChecksEachMimeTypesSyntax)
{
    const struct {
        const char* mime;
        const char* finding;  // nullptr: none
    } cases[] = {
        {"image/png", nullptr},
        {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", nullptr},
        {"application/x-7z-compressed", nullptr},
        {"audio/AMR-WB", nullptr},
        {"image/svg+xml", nullptr},
        {"x-epoc/x-sisx-app", nullptr},
        {"", "has no text"},
        {"image", "is not a MIME type"},
        {"image/", "is not a MIME type"},
        {"/png", "is not a MIME type"},
        {"image/png; charset=x", "is not a MIME type"},
        {"image /png", "is not a MIME type"},
        {"image/-png", "is not a MIME type"},
        {"image/png/x", "is not a MIME type"},
        {"aplication/pdf", "not registered"},
        {"chemical/x-cdx", "not registered"},
    };
    for (const auto& c : cases) {
        const auto findings = LintTypes(std::string("<type><magic>01</magic><title>Kind</title><ext>.k</ext><mime>") +
                                        c.mime + "</mime></type>");
        if (c.finding) {
            EXPECT_TRUE(Has(findings, kFirst, c.finding)) << c.mime << "\n" << Dump(findings);
        }
        EXPECT_EQ(findings.size(), c.finding ? 1u : 0u) << c.mime << "\n" << Dump(findings);
    }
    const std::string longName(128, 'a');
    EXPECT_TRUE(Has(LintTypes("<type><magic>01</magic><title>K</title><mime>image/" + longName + "</mime></type>"),
                    kFirst, "is not a MIME type"));
    EXPECT_TRUE(LintTypes("<type><magic>01</magic><title>K</title><mime>image/" + longName.substr(1) +
                          "</mime></type>").empty());
    EXPECT_TRUE(Has(LintTypes("<type><magic>01</magic><title>K</title><MIME>image/png</MIME></type>"), kFirst,
                    "write <mime>"));
}

TEST(LintMime, ReportsOneMimeTypeGivenToFormatsThatShareNothing)
{
    const auto type = [](const char* magic, const char* title, const char* exts, const char* mime,
                         const char* extra = "") {
        std::string out = std::string("<type><magic>") + magic + "</magic><title>" + title + "</title>";
        for (std::string_view rest = exts; !rest.empty();) {
            const auto space = rest.find(' ');
            out += "<ext>" + std::string(rest.substr(0, space)) + "</ext>";
            rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        }
        return out + "<mime>" + mime + "</mime>" + extra + "</type>\n";
    };
    const struct {
        std::string types;
        int reported;  // line of the one finding, or 0
    } cases[] = {
        // Unrelated: the second is named wrong.
        {type("89 50", "PNG image", ".png", "image/png") + type("FF D8", "JPEG image", ".jpg", "image/png"), kFirst + 1},
        // Its kin by an extension, by the title's first word, or by a first pattern that begins with the other's.
        {type("89 50 4E", "Animated PNG", ".apng .png", "image/png") + type("89 50", "PNG image", ".png", "image/png"), 0},
        {type("00 00 02", "Lotus worksheet (WK1)", ".wk1", "image/y") + type("00 00 1A", "Lotus worksheet (WK3)", ".wk3", "image/y"), 0},
        {type("89 50 4E 47", "Brush preset", ".kpp", "image/png") + type("89 50", "PNG image", ".png", "image/png"), 0},
        // Extensions compare without regard to case, and a type without any is not compared.
        {type("01", "A", ".z", "image/y") + type("02", "B", ".Z", "IMAGE/Y"), 0},
        {type("01", "A", ".a", "image/y") + type("02", "B", "", "image/y"), 0},
        // Names of no format, and the MIME type of a general answer, are given to anything.
        {type("01", "A", ".a", "application/octet-stream") + type("02", "B", ".b", "application/octet-stream"), 0},
        {type("01", "A", ".a", "text/plain") + type("02", "B", ".b", "text/plain"), 0},
        {type("50 4B", "ZIP archive", ".zip", "application/zip", "<general/>") + type("01", "Wheel", ".whl", "application/zip"), 0},
        // A later MIME type of a type counts as much as its first.
        {type("01", "A", ".a", "image/a") + type("02", "B", ".b", "image/b</mime><mime>image/a"), kFirst + 1},
    };
    for (const auto& c : cases) {
        const auto findings = LintTypes(c.types);
        EXPECT_EQ(findings.size(), c.reported ? 1u : 0u) << c.types << Dump(findings);
        if (c.reported) {
            EXPECT_TRUE(Has(findings, c.reported, "shares nothing with")) << c.types << Dump(findings);
        }
    }
}
