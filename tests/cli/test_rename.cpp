// Which names a rename leaves alone: the rule behind --mismatch and --rename,
// over a table made in code.
#include "renaming/rename.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

SignatureType Type(std::string title, std::initializer_list<const char*> magics,
                   std::initializer_list<const char*> extensions, bool general = false)
{
    SignatureType type;
    type.title = std::move(title);
    for (const char* magic : magics)
        type.magics.push_back(ParseMagicRule(magic));
    type.extensions.assign(extensions.begin(), extensions.end());
    type.general = general;
    return type;
}

SignatureTable Table()
{
    SignatureTable table;
    table.state = SignatureFileState::Usable;
    table.types = {
        Type("Word document", {"50 4B 03 04", "zip word/document.xml"}, {".docx"}),
        Type("Java archive", {"zip META-INF/MANIFEST.MF"}, {".jar"}),  // found by its directory alone
        Type("ZIP archive", {"50 4B 03 04"}, {".zip"}, true),
        Type("ZIP archive (empty)", {"50 4B 05 06"}, {".zip"}, true),
        Type("PNG image", {"89 50 4E 47"}, {".png"}),
        Type("JPEG image", {"FF D8 FF"}, {".jpg", ".jpeg"}),
        Type("Python script", {"line #!/usr/bin/python"}, {".py"}),
        Type("Markdown", {"line # "}, {".md"}),
        Type("Property list", {"xmlroot plist"}, {".plist"}),
        Type("HTML document", {"xmlroot html"}, {".html", ".htm"}),
        // A text answer by the extension it shares with the text test; first, so
        // that ".txt" is met before the text test's own family.
        Type("Text, UTF-16 little-endian", {"FF FE"}, {".txt"}, true),
        Type("Text", {"text ascii"}, {".txt"}, true),
    };
    IndexSignatureTable(table);
    return table;
}

DetectionOutcome Answer(const SignatureTable& table, std::string_view title)
{
    for (const SignatureType& type : table.types) {
        if (type.title == title)
            return {DetectionState::Detected, {}, type.title, type.extensions, type.general, {}};
    }
    ADD_FAILURE() << "no type " << title;
    return {};
}

} // namespace

TEST(Mismatch, GeneralAnswersKeepTheirFamilysNamesAndOfferTheirOwnForTheRest)
{
    const SignatureTable table = Table();
    const ExtensionClaims claims = ClaimsOf(table);
    struct Case {
        const char* answer;
        const char* name;
        bool mismatch;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"Text", "tool.py", false},         // a text type's
             {"Text", "README.MD", false},
             {"Text", "notes.txt", false},
             {"Text", "build.bat", false},       // unknown to the set
             {"Text", "page.html", false},       // an XML root test is a text type
             {"Text", "README", false},          // a source tree's convention
             {"PNG image", "README", true},      // a specific answer names it
             {"Text", "photo.jpg", true},        // an unrelated format's
             {"Text", "a.zip", true},
             {"Text, UTF-16 little-endian", "tool.py", false},
             {"Text, UTF-16 little-endian", "photo.jpg", true},
             {"ZIP archive", "report.docx", false},  // shares its opening bytes
             {"ZIP archive", "app.JAR", false},      // looks into a ZIP
             {"ZIP archive", "bundle.xpi", false},
             {"ZIP archive", "image.png", true},
             {"ZIP archive", "notes.txt", true},
             {"ZIP archive", "archive", false},
             {"ZIP archive (empty)", "report.docx", false},  // one family with "ZIP archive"
             {"ZIP archive (empty)", "tool.py", true},
             {"PNG image", "photo.png", false},
             {"PNG image", "photo.bin", true},  // a specific answer keeps no unknown extension
             {"PNG image", "photo.jpg", true},
             {"Word document", "report.zip", true},  // a specific answer renames a general name
         }) {
        EXPECT_EQ(IsMismatch(claims, c.name, Answer(table, c.answer)), c.mismatch) << c.answer << ": " << c.name;
    }
}

TEST(Mismatch, AnUnknownSuffixAfterTheAnswersExtensionKeepsTheName)
{
    const SignatureTable table = Table();
    const ExtensionClaims claims = ClaimsOf(table);
    struct Case {
        const char* answer;
        const char* name;
        bool mismatch;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"Property list", "Info.plist.in", false},
             {"HTML document", "page.html.j2", false},
             {"HTML document", "page.HTM.bak", false},
             {"PNG image", "photo.png.jpg", true},    // the last extension names another format
             {"PNG image", "photo.png.zip", true},    // a general one too
             {"PNG image", "photo.jpg.in", true},
             {"PNG image", "photo. png.in", true},    // a space after the period: no inner extension
             {"PNG image", ".png.in", true},          // a leading period starts a name, not an extension
             {"Text", "notes.txt.jpg", true},
             {"ZIP archive", "backup.zip.1", false},
         }) {
        EXPECT_EQ(IsMismatch(claims, c.name, Answer(table, c.answer)), c.mismatch) << c.answer << ": " << c.name;
    }
}

TEST(Mismatch, OnlyADetectedAnswerWithExtensionsCanMismatch)
{
    const ExtensionClaims claims = ClaimsOf(Table());
    EXPECT_FALSE(IsMismatch(claims, "x.jpg", DetectionOutcome{DetectionState::Undetermined, {}, {}, {}, false, {}}));
    EXPECT_FALSE(IsMismatch(claims, "x.jpg", DetectionOutcome{DetectionState::Unreadable, {}, {}, {}, false, {}}));
    EXPECT_FALSE(IsMismatch(claims, "x.jpg", DetectionOutcome{DetectionState::Detected, {}, "Ends", {}, true, {}}));
}
