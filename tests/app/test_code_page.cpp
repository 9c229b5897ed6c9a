// Signature texts are bytes: UTF-8 when they are valid UTF-8 beyond ASCII,
// else in the ANSI code page. Run with LANG=ja_JP.UTF-8, under which Wine
// reports code page 932 (Shift-JIS), as Japanese Windows does.
#include "dialog_test_support.h"

TEST(CodePage, JapaneseTitlesShowAlikeSavedInShiftJisOrInUtf8)
{
    ASSERT_EQ(GetACP(), 932u) << "the ja_JP.UTF-8 locale is missing: scripts/setup.sh generates it";
    struct Saved {
        const char* encoding;
        const char* title;      // 表示画像
        const char* extension;  // .表
    };
    // In Shift_JIS the trail byte of 表 is 0x5C, the backslash of ASCII.
    const Saved cases[] = {
        {"Shift_JIS", "\x95\x5C\x8E\xA6\x89\xE6\x91\x9C", ".\x95\x5C"},
        {"UTF-8", "\xE8\xA1\xA8\xE7\xA4\xBA\xE7\x94\xBB\xE5\x83\x8F", ".\xE8\xA1\xA8"},
    };
    for (const Saved& saved : cases) {
        SCOPED_TRACE(saved.encoding);
        AppFolder app;
        app.Signatures(std::string("<type><magic>FF D8</magic><title>") + saved.title + "</title><ext>"
                       + saved.extension + "</ext><ext>.jpg</ext></type>");
        auto file = app.dir.Write(L"\u5199\u771F.dat", Bytes({0xFF, 0xD8, 0xFF}));
        DialogUnderTest dialog(app.Inputs(file.wstring()));
        EXPECT_EQ(dialog.Title(), L"\u8868\u793A\u753B\u50CF");
        EXPECT_EQ(dialog.Extensions(), std::vector<std::wstring>({L".\u8868", L".jpg"}));

        // Rename gets the extension back as wide text.
        dialog.Press(IDC_RENAME);
        EXPECT_TRUE(std::filesystem::exists(app.dir.path / L"\u5199\u771F.\u8868"));
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}
