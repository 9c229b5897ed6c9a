// Reading the signature document: which elements count and what their text is.
#include "detection.h"
#include "signatures/signature_text.h"
#include "signatures/signature_xml.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

const std::vector<std::uint8_t> kMz = Bytes({0x4D, 0x5A, 0x90, 0x00});

DetectionOutcome DetectWith(const TempDir& dir, std::string_view types, const std::vector<std::uint8_t>& file = kMz)
{
    return DetectFileType(dir.Signatures(types), dir.Write("examined.bin", file));
}

DetectionOutcome DetectWithDocument(const TempDir& dir, std::string_view document)
{
    return DetectFileType(dir.Write("sig.xml", document), dir.Write("examined.bin", kMz));
}

} // namespace

TEST(DocumentWalk, ElementNamesAreCaseSensitive)
{
    TempDir dir;
    EXPECT_EQ(DetectWith(dir, "<Type><magic>4D 5A</magic><title>A</title></Type>").state,
              DetectionState::Undetermined);
    // A pattern spelled MAGIC is not seen, so the type has none and never matches.
    EXPECT_EQ(DetectWith(dir, "<type><MAGIC>4D 5A</MAGIC><title>A</title></type>").state,
              DetectionState::Undetermined);
    EXPECT_EQ(DetectWithDocument(dir, "<DAT><types><type><magic>4D</magic></type></types></DAT>").state,
              DetectionState::Undetermined);
}

TEST(DocumentWalk, CommentsAndForeignElementsDoNotInterruptIt)
{
    TempDir dir;
    auto outcome = DetectWith(dir,
                              "<!-- images -->\n<note>x</note>\n"
                              "<type><magic>00</magic><title>Zero</title></type>\n<!-- exes --><other/>\n"
                              "<type><magic>4D</magic><!-- c --><foo>1</foo><magic>1: 5A</magic><title>MZ</title></type>");
    EXPECT_EQ(outcome.state, DetectionState::Detected);
    EXPECT_EQ(outcome.title, "MZ");
}

TEST(DocumentWalk, OnlyTheFirstDatAndTypesCount)
{
    TempDir dir;
    EXPECT_EQ(DetectWithDocument(dir, "<dat><types/><types><type><magic>4D</magic></type></types></dat>"
                                      "<dat><types><type><magic>4D</magic></type></types></dat>")
                  .state,
              DetectionState::Undetermined);
}

TEST(DocumentWalk, TitleAndExtensionsInDocumentOrder)
{
    TempDir dir;
    auto outcome = DetectWith(dir, "<type><ext>.exe</ext><title>Program</title><ext>.dll</ext>"
                                   "<magic>4D 5A</magic><ext>.sys</ext><title>Second</title></type>");
    EXPECT_EQ(outcome.title, "Program");
    EXPECT_EQ(outcome.extensions, (std::vector<std::string>{".exe", ".dll", ".sys"}));
}

TEST(DocumentWalk, GeneralIsAnEmptyChildAnywhereInTheType)
{
    TempDir dir;
    EXPECT_FALSE(DetectWith(dir, "<type><magic>4D 5A</magic><title>Program</title></type>").general);
    for (const char* types : {"<type><general/><magic>4D 5A</magic><title>Program</title></type>",
                              "<type><magic>4D 5A</magic><title>Program</title><ext>.exe</ext><general></general></type>"}) {
        const DetectionOutcome outcome = DetectWith(dir, types);
        EXPECT_EQ(outcome.state, DetectionState::Detected) << types;
        EXPECT_EQ(outcome.title, "Program") << types;
        EXPECT_TRUE(outcome.general) << types;
    }
    // Spelled otherwise, it is a foreign element like any other.
    EXPECT_FALSE(DetectWith(dir, "<type><magic>4D 5A</magic><General/></type>").general);
}

TEST(DocumentWalk, MissingPiecesReadAsEmpty)
{
    TempDir dir;
    auto outcome = DetectWith(dir, "<type><magic>4D</magic><ext/><ext>   </ext><ext>.x</ext></type>");
    EXPECT_EQ(outcome.state, DetectionState::Detected);
    EXPECT_EQ(outcome.title, "");
    EXPECT_EQ(outcome.extensions, (std::vector<std::string>{"", "", ".x"}));
    EXPECT_EQ(DetectWith(dir, "<type><title>No patterns</title><ext>.x</ext></type>").state,
              DetectionState::Undetermined);
    EXPECT_EQ(DetectWith(dir, "<type><magic></magic><title>Empty pattern</title></type>").state,
              DetectionState::Undetermined);
    EXPECT_EQ(DetectWith(dir, "<type><magic><![CDATA[]]></magic><title>Empty CDATA</title></type>").state,
              DetectionState::Undetermined);
}

TEST(ElementText, IsTheFirstChildWhenItIsText)
{
    TempDir dir;
    EXPECT_EQ(DetectWith(dir, "<type><magic>4D</magic><title><!-- c -->Hidden</title></type>").title, "");
    EXPECT_EQ(DetectWith(dir, "<type><magic>4D</magic><title>Shown<!-- c -->Lost</title></type>").title, "Shown");
    EXPECT_EQ(DetectWith(dir, "<type><magic><b/>4D</magic><title>A</title></type>").state,
              DetectionState::Undetermined);
}

TEST(ElementText, EntitiesAndCharacterReferencesAreDecoded)
{
    TempDir dir;
    EXPECT_EQ(DetectWith(dir, "<type><magic>4D</magic><title>R&amp;D &lt;1&gt; &#65;&#x42;</title></type>").title,
              "R&D <1> AB");
    // A reference beyond ASCII becomes UTF-8 bytes.
    EXPECT_EQ(DetectWith(dir, "<type><magic>4D</magic><title>&#x3042;</title></type>").title, "\xE3\x81\x82");
}

TEST(ElementText, CdataIsReadAsWritten)
{
    TempDir dir;
    EXPECT_EQ(DetectWith(dir, "<type><magic><![CDATA[4D 5A]]></magic><title>A</title></type>").state,
              DetectionState::Detected);
    // On its own indented line, the section's content alone is the text...
    EXPECT_EQ(DetectWith(dir, "<type><magic>\n      <![CDATA[4D 5A]]>\n    </magic><title>A</title></type>").state,
              DetectionState::Detected);
    // ...while the same pattern as indented plain text keeps the indentation and is spoiled.
    EXPECT_EQ(DetectWith(dir, "<type><magic>\n      4D 5A\n    </magic><title>A</title></type>").state,
              DetectionState::Undetermined);
}

TEST(ElementText, BytesPassThroughUnconverted)
{
    TempDir dir;
    // Shift-JIS for a title, with a 0x5C trail byte, in a file that declares another encoding.
    const std::string title = "\x83\x5C\x83\x74\x83\x67";
    auto outcome = DetectWithDocument(dir, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><dat><types><type>"
                                           "<magic>4D</magic><title>" + title + "</title></type></types></dat>");
    EXPECT_EQ(outcome.title, title);
    // A UTF-8 byte-order mark is skipped.
    EXPECT_EQ(DetectWithDocument(dir, "\xEF\xBB\xBF<dat><types><type><magic>4D</magic><title>B</title></type>"
                                      "</types></dat>")
                  .title,
              "B");
}

TEST(SignatureLoading, DamagedOrMissingDocumentsGiveUndetermined)
{
    TempDir dir;
    auto file = dir.Write("examined.bin", kMz);
    const std::string good = "<dat><types><type><magic>4D</magic><title>A</title></type></types></dat>";

    EXPECT_EQ(DetectFileType(dir.path / "absent.xml", file).state, DetectionState::Undetermined);
    EXPECT_EQ(DetectFileType(dir.Write("empty.xml", ""), file).state, DetectionState::Undetermined);
    EXPECT_EQ(DetectFileType(dir.Write("nodat.xml", "<types><type><magic>4D</magic></type></types>"), file).state,
              DetectionState::Undetermined);
    EXPECT_EQ(DetectFileType(dir.Write("notypes.xml", "<dat><type><magic>4D</magic></type></dat>"), file).state,
              DetectionState::Undetermined);
    // An error after </dat> keeps what was parsed; one inside it loses dat.
    EXPECT_EQ(DetectFileType(dir.Write("after.xml", good + "<broken"), file).state, DetectionState::Detected);
    EXPECT_EQ(DetectFileType(dir.Write("inside.xml", "<dat><types><type><magic>4D</magic></type><x></types></dat>"),
                             file)
                  .state,
              DetectionState::Undetermined);
    EXPECT_EQ(DetectFileType(dir.path, file).state, DetectionState::Undetermined);
}

TEST(SignatureLoading, AnEditTakesEffectAtTheNextRun)
{
    TempDir dir;
    auto file = dir.Write("examined.bin", kMz);
    auto sig = dir.Signatures("<type><magic>4D</magic><title>First</title></type>");
    EXPECT_EQ(DetectFileType(sig, file).title, "First");
    dir.Signatures("<type><magic>4D</magic><title>Second</title></type>");
    EXPECT_EQ(DetectFileType(sig, file).title, "Second");
}

TEST(SignatureText, OnlyValidUtf8BeyondAsciiIsReadAsUtf8)
{
    const struct {
        const char* bytes;
        bool utf8;
    } cases[] = {
        {"PNG image", false},                        // ASCII: every code page reads it alike
        {"PNG\xE7\x94\xBB\xE5\x83\x8F", true},       // PNG画像 in UTF-8
        {"PNG\x89\xE6\x91\x9C", false},              // the same in Shift_JIS
        {"caf\xE9", false},                          // CP1252
        {"\xC0\x80", false},                         // overlong
        {"\xED\xA0\x80", false},                     // a surrogate
        {"\xF4\x90\x80\x80", false},                 // past U+10FFFF
        {"\xE7\x94", false},                         // cut short
        {"\xF0\x9F\x93\xB7", true},                  // beyond the BMP
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNonAsciiUtf8(c.bytes), c.utf8) << c.bytes;
}

TEST(SignatureLoading, ShippedNewFormsAreInvalidToAClassicReader)
{
    // A reader without the new forms must never let one hold, so that an old
    // program gives a more general answer, never a wrong specific one.
    tinyxml2::XMLDocument document;
    ASSERT_EQ(document.LoadFile(KINDSNIFFER_SHIPPED_SET), tinyxml2::XML_SUCCESS);
    const auto* types = document.FirstChildElement("dat")->FirstChildElement("types");
    std::size_t newForms = 0;
    for (auto* type = types->FirstChildElement("type"); type; type = type->NextSiblingElement("type")) {
        for (auto* magic = type->FirstChildElement("magic"); magic; magic = magic->NextSiblingElement("magic")) {
            const std::string text = ElementText(magic).value_or("");
            if (!NewFormOf(text))
                continue;
            ++newForms;
            EXPECT_TRUE(ParseMagicRule(text).valid) << "line " << magic->GetLineNum() << ": " << text;
            EXPECT_FALSE(ParseClassicMagicRule(text).valid) << "line " << magic->GetLineNum() << ": " << text;
        }
    }
    std::cout << newForms << " new-form patterns in the shipped set\n";
}

TEST(SignatureTypes, TextCanSatisfyOnlyPrintableAndStructureFreeTests)
{
    const struct {
        std::vector<const char*> magics;
        bool text;
    } cases[] = {
        {{"49 44 33"}, true},                       // "ID3": a note can open so
        {{"49 44 33 03 00"}, false},                // its version and revision cannot
        {{"4D 5A", "9: 00"}, false},
        {{"73 6F 6C 69 64 20 ?? 09 0A 0C 0D"}, true},  // wildcards and the controls text allows
        {{"-2: 0D 0A", "1080: 4D 2E 4B 2E"}, true},
        {{"25 21", "?: 1B"}, false},               // ESC outside its sequences
        {{"25 21", "?: 41", "00"}, true},          // a hit decides before the NUL is asked for
        {{"ptr 60 u32le 0: 4E 45"}, true},
        {{"ptr 60 u32le 0: 50 45 00 00"}, false},
        {{"ptr 60 u32le +23: 20&20"}, true},         // some printable byte has the bit
        {{"ptr 60 u32le +23: 80&80"}, false},        // none has the high bit
        {{"ptr 60 u32le +23: 10&F0"}, false},        // 10-1F: controls alone
        {{"50 4B", "zip mimetype"}, false},
        {{"D0 CF", "ole WordDocument"}, false},
        {{"1F 8B", "gzip 0: 41"}, false},
        {{"78", "zlib 0 0: 41"}, false},
        {{"4D 5A", "nontext"}, false},
        {{"7B", "text"}, true},
        {{"xmlroot svg"}, true},
        {{"4D 5A", "4Dzz5A"}, true},                 // read as the byte 4D
        {{"4D 5A", "nonsense"}, false},              // never holds at all
        {{"FF D8 FF"}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        std::vector<MagicRule> rules;
        for (const char* magic : c.magics)
            rules.push_back(ParseMagicRule(magic));
        EXPECT_EQ(TextCanSatisfy(rules), c.text) << testing::PrintToString(c.magics);
    }
}
