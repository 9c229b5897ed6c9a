// Signature texts are bytes in the ANSI code page. Run with LANG=ja_JP.UTF-8,
// under which Wine reports code page 932 (Shift-JIS), as Japanese Windows does.
#include "dialog_test_support.h"

TEST(CodePage, ShiftJisTitlesAndExtensionsShowAsJapanese)
{
    ASSERT_EQ(GetACP(), 932u) << "the ja_JP.UTF-8 locale is missing: scripts/setup.sh generates it";
    AppFolder app;
    // 表示画像 and .表; the trail byte of 表 is 0x5C, the backslash of ASCII.
    app.Signatures("<type><magic>FF D8</magic><title>\x95\x5C\x8E\xA6\x89\xE6\x91\x9C</title>"
                   "<ext>.\x95\x5C</ext><ext>.jpg</ext></type>");
    auto file = app.dir.Write(L"\u5199\u771F.dat", Bytes({0xFF, 0xD8, 0xFF}));
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    EXPECT_EQ(dialog.Title(), L"\u8868\u793A\u753B\u50CF");
    EXPECT_EQ(dialog.Extensions(), std::vector<std::wstring>({L".\u8868", L".jpg"}));

    // Rename gets the extension back as wide text.
    dialog.Press(IDC_RENAME);
    EXPECT_TRUE(std::filesystem::exists(app.dir.path / L"\u5199\u771F.\u8868"));
    EXPECT_FALSE(std::filesystem::exists(file));
}
