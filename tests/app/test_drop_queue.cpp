// Dropped files: one examined at a time, the caption counting them, Next
// bringing each further one, and the drop released as soon as it is spent.
#include "dialog_test_support.h"

namespace {

const char* kTypes =
    "<type><magic>41</magic><title>Type A</title><ext>.a</ext></type>"
    "<type><magic>42</magic><title>Type B</title><ext>.b</ext></type>"
    "<type><magic>43</magic><title>Type C</title><ext>.c</ext></type>";

struct DropFixture : ::testing::Test {
    AppFolder app;
    std::wstring a, b, c;
    void SetUp() override
    {
        app.Signatures(kTypes);
        a = app.dir.Write("a.bin", "A..").wstring();
        b = app.dir.Write("b.bin", "B..").wstring();
        c = app.dir.Write("c.bin", "C..").wstring();
    }
};

} // namespace

using DropQueue = DropFixture;

TEST_F(DropQueue, OneFileIsNamedWithoutCounterAndReleasedAtOnce)
{
    DialogUnderTest dialog(app.Inputs());
    HDROP drop = MakeDrop({a});
    dialog.Drop(drop);
    EXPECT_EQ(dialog.Caption(), L"a.bin");
    EXPECT_EQ(dialog.Title(), L"Type A");
    EXPECT_FALSE(dialog.NextEnabled());
    EXPECT_EQ(g_app.dropHandle, nullptr);
    EXPECT_TRUE(DropReleased(drop));
}

TEST_F(DropQueue, ThreeFilesAreCountedFromOneAndNextWalksThem)
{
    DialogUnderTest dialog(app.Inputs());
    HDROP drop = MakeDrop({a, b, c});
    dialog.Drop(drop);
    EXPECT_EQ(dialog.Caption(), L"(1/3)a.bin");
    EXPECT_EQ(dialog.Title(), L"Type A");
    EXPECT_TRUE(dialog.NextEnabled());
    EXPECT_EQ(g_app.dropHandle, drop);

    dialog.Press(IDC_NEXT);
    EXPECT_EQ(dialog.Caption(), L"(2/3)b.bin");
    EXPECT_EQ(dialog.Title(), L"Type B");
    EXPECT_EQ(dialog.Extensions(), std::vector<std::wstring>({L".b"}));
    EXPECT_TRUE(dialog.NextEnabled());
    EXPECT_FALSE(DropReleased(drop));

    dialog.Press(IDC_NEXT);
    EXPECT_EQ(dialog.Caption(), L"(3/3)c.bin");
    EXPECT_EQ(dialog.Title(), L"Type C");
    EXPECT_FALSE(dialog.NextEnabled());
    EXPECT_EQ(g_app.dropHandle, nullptr);
    EXPECT_TRUE(DropReleased(drop));

    // Spent: Next changes nothing now.
    dialog.Press(IDC_NEXT);
    EXPECT_EQ(dialog.Caption(), L"(3/3)c.bin");
    EXPECT_EQ(dialog.Title(), L"Type C");
}

TEST_F(DropQueue, ANewDropReplacesAPendingOne)
{
    DialogUnderTest dialog(app.Inputs());
    HDROP first = MakeDrop({a, b});
    dialog.Drop(first);
    ASSERT_TRUE(dialog.NextEnabled());

    dialog.Drop(MakeDrop({c}));
    EXPECT_TRUE(DropReleased(first));
    EXPECT_EQ(dialog.Caption(), L"c.bin");
    EXPECT_EQ(dialog.Title(), L"Type C");
    EXPECT_FALSE(dialog.NextEnabled());
    dialog.Press(IDC_NEXT);  // b.bin was abandoned
    EXPECT_EQ(dialog.Caption(), L"c.bin");
}

TEST_F(DropQueue, NextWithNothingPendingDoesNothing)
{
    DialogUnderTest dialog(app.Inputs(a));  // a file from the command line
    ASSERT_EQ(dialog.Title(), L"Type A");
    dialog.Press(IDC_NEXT);
    EXPECT_EQ(dialog.Caption(), L"Kindsniffer");
    EXPECT_EQ(dialog.Title(), L"Type A");

    // A drop replaces the command-line file and names itself in the caption.
    dialog.Drop(MakeDrop({b, c}));
    EXPECT_EQ(dialog.Caption(), L"(1/2)b.bin");
    EXPECT_TRUE(dialog.NextEnabled());
}

TEST_F(DropQueue, ClosingReleasesAPendingDrop)
{
    DialogUnderTest dialog(app.Inputs());
    HDROP drop = MakeDrop({a, b, c});
    dialog.Drop(drop);
    SendMessageW(dialog.window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(dialog.window()));
    EXPECT_TRUE(DropReleased(drop));
    EXPECT_EQ(g_app.dropHandle, nullptr);
    EXPECT_EQ(g_app.dropIndex, 0u);  // the rest were never examined
}

TEST_F(DropQueue, PathTooLongIsNeverExaminedAndTheQueueGoesOn)
{
    DialogUnderTest dialog(app.Inputs());
    // Cut to 259 characters it would name b.bin's twin, a file that exists.
    auto twin = app.dir.Write(std::wstring(259 - app.dir.path.native().size() - 1, L'b'), "B..");
    ASSERT_EQ(twin.native().size(), 259u);
    std::wstring tooLong = twin.native() + L"-and-more";

    dialog.Drop(MakeDrop({a, tooLong, c}));
    dialog.Press(IDC_NEXT);
    EXPECT_EQ(dialog.Title(), L"（ファイルが開けません）");
    EXPECT_TRUE(dialog.Extensions().empty());
    EXPECT_EQ(dialog.Caption().substr(0, 5), L"(2/3)");
    EXPECT_TRUE(dialog.NextEnabled());

    MessageBoxCatcher boxes;
    dialog.Press(IDC_RENAME);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(std::filesystem::exists(twin));

    dialog.Press(IDC_NEXT);
    EXPECT_EQ(dialog.Caption(), L"(3/3)c.bin");
    EXPECT_EQ(dialog.Title(), L"Type C");
}

TEST_F(DropQueue, LongCaptionKeepsTheCounterAndShortensTheName)
{
    // C:\ plus a name of 255 characters, the longest a Linux file system takes.
    std::wstring name = L"y" + std::wstring(253, L'x') + L"z";
    auto path = std::filesystem::path(L"C:\\") / name;
    std::ofstream(path, std::ios::binary) << "A..";
    ASSERT_TRUE(std::filesystem::exists(path));

    DialogUnderTest dialog(app.Inputs());
    dialog.Drop(MakeDrop({path.wstring(), b}));
    std::wstring caption = dialog.Caption();
    EXPECT_EQ(dialog.Title(), L"Type A");  // the path itself fits and is examined
    EXPECT_LE(caption.size(), 259u);
    EXPECT_EQ(caption.substr(0, 6), L"(1/2)y");
    EXPECT_EQ(caption.back(), L'\u2026');

    // Alone, the name fits the caption whole.
    dialog.Drop(MakeDrop({path.wstring()}));
    EXPECT_EQ(dialog.Caption(), name);
    std::filesystem::remove(path);
}

TEST_F(DropQueue, NonAsciiNamesReachTheCaptionAndTheExamination)
{
    auto file = app.dir.Write(L"\u5199\u771F \u00E9 \U0001F600.bin", "C..");
    DialogUnderTest dialog(app.Inputs());
    dialog.Drop(MakeDrop({file.wstring(), a}));
    EXPECT_EQ(dialog.Caption(), L"(1/2)\u5199\u771F \u00E9 \U0001F600.bin");
    EXPECT_EQ(dialog.Title(), L"Type C");
}
