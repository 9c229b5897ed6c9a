// Rename: the examined file takes the chosen extension, never onto a name
// that is taken, and never with no extension chosen.
#include "dialog_test_support.h"

#include <algorithm>

namespace {

const char* kTypes =
    "<type><magic>FF D8 FF</magic><title>Picture</title><ext>.jpg</ext><ext>.jpeg</ext><ext>.JPG</ext></type>"
    "<type><magic>1F 8B</magic><title>Packed</title><ext>.bin</ext><ext>.txt</ext><ext>.pdf</ext></type>"
    "<type><magic>89 50 4E 47</magic><title>Bare</title></type>";

const std::string kPicture = "\xFF\xD8\xFF\xE0 picture";

// What the system says for an error, as FormatMessageW gives it.
std::wstring SystemMessage(DWORD error)
{
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}
const std::string kPacked = "\x1F\x8B\x08 packed";

struct RenameFixture : ::testing::Test {
    AppFolder app;
    MessageBoxCatcher boxes;
    void SetUp() override { app.Signatures(kTypes); }

    // Examines `name` (written with `content`) and presses Rename with the
    // extension at `choice`.
    std::filesystem::path RenameOnce(const std::wstring& name, const std::string& content, int choice)
    {
        auto file = app.dir.Write(name, content);
        DialogUnderTest dialog(app.Inputs(file.wstring()));
        dialog.Choose(choice);
        dialog.Press(IDC_RENAME);
        return file;
    }
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        for (const auto& entry : std::filesystem::directory_iterator(app.dir.path))
            if (entry.path().filename() != L"Kindsniffer.xml")
                names.push_back(entry.path().filename().wstring());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::wstring> Warnings() const
    {
        std::vector<std::wstring> texts;
        for (const auto& box : boxes.boxes()) {
            EXPECT_EQ(box.caption, L"Kindsniffer");
            EXPECT_TRUE(box.warningIcon);
            EXPECT_EQ(box.buttons, 1);
            EXPECT_NE(box.owner, nullptr);
            texts.push_back(box.text);
        }
        return texts;
    }
};

} // namespace

using Rename = RenameFixture;

TEST_F(Rename, ReplacesOnlyThePartFromTheLastPeriod)
{
    RenameOnce(L"archive.tar.gz", kPacked, 0);
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"archive.tar.bin"}));
    EXPECT_EQ(ReadAll(app.dir.path / "archive.tar.bin"), kPacked);
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(Rename, AppendsWhereThereIsNoExtension)
{
    RenameOnce(L"README", kPacked, 1);
    RenameOnce(L"minutes.june final", kPacked, 2);  // a space after the last period: no extension
    RenameOnce(L".hidden", kPacked, 1);             // its only period leads the name: no extension
    EXPECT_EQ(Names(), std::vector<std::wstring>({L".hidden.txt", L"README.txt", L"minutes.june final.pdf"}));
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(Rename, TheSameExtensionNamesTheFileItselfAsTaken)
{
    RenameOnce(L"photo.jpg", kPicture, 0);
    EXPECT_EQ(Warnings(), std::vector<std::wstring>({L"photo.jpgは既に存在します。"}));
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"photo.jpg"}));
}

TEST_F(Rename, ATakenNameIsNeverOverwritten)
{
    app.dir.Write("photo.jpg", "someone else's");
    RenameOnce(L"photo.dat", kPicture, 0);
    EXPECT_EQ(Warnings(), std::vector<std::wstring>({L"photo.jpgは既に存在します。"}));
    EXPECT_EQ(ReadAll(app.dir.path / "photo.jpg"), "someone else's");
    EXPECT_EQ(ReadAll(app.dir.path / "photo.dat"), kPicture);

    // Wine, like Windows, matches names without regard to case.
    RenameOnce(L"other.dat", kPicture, 2);
    app.dir.Write("other.jpg", "taken");
    RenameOnce(L"other.dat", kPicture, 2);
    EXPECT_EQ(Warnings().back(), L"other.JPGは既に存在します。");
    EXPECT_EQ(ReadAll(app.dir.path / "other.jpg"), "taken");
}

TEST_F(Rename, TwiceInARowWorksOnTheOldPath)
{
    auto file = app.dir.Write("photo.dat", kPicture);
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    dialog.Press(IDC_RENAME);
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"photo.jpg"}));
    // Nothing on screen follows the rename.
    EXPECT_EQ(dialog.Title(), L"Picture");
    EXPECT_EQ(dialog.Caption(), L"Kindsniffer");
    EXPECT_STREQ(g_app.currentPath, file.c_str());

    dialog.Press(IDC_RENAME);
    EXPECT_EQ(Warnings(), std::vector<std::wstring>({L"photo.jpgは既に存在します。"}));

    dialog.Choose(1);  // .jpeg: photo.dat is gone, so nothing moves, and the system says why
    dialog.Press(IDC_RENAME);
    EXPECT_EQ(Warnings(), std::vector<std::wstring>({L"photo.jpgは既に存在します。", SystemMessage(ERROR_FILE_NOT_FOUND)}));
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"photo.jpg"}));
}

TEST_F(Rename, ATargetThatAppearsAfterTheTestIsNotOverwritten)
{
    // The existence test and the move are separate steps; here the target
    // comes into being between them, just before the move.
    auto from = app.dir.Write("photo.dat", kPicture);
    auto to = app.dir.path / "photo.jpg";
    DialogUnderTest dialog(app.Inputs(from.wstring()));
    ASSERT_FALSE(std::filesystem::exists(to));
    app.dir.Write("photo.jpg", "arrived meanwhile");
    MoveUnlessTaken(dialog.window(), from.c_str(), to.c_str());
    EXPECT_EQ(Warnings(), std::vector<std::wstring>({L"photo.jpgは既に存在します。"}));
    EXPECT_EQ(ReadAll(to), "arrived meanwhile");
    EXPECT_EQ(ReadAll(from), kPicture);

}

TEST_F(Rename, AFailedMoveIsToldWithTheSystemsMessageAndChangesNothing)
{
    auto file = app.dir.Write("photo.dat", kPicture);
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    {
        // Held open by another program that does not share deletion.
        HANDLE other = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        dialog.Press(IDC_RENAME);
        CloseHandle(other);
    }
    std::filesystem::remove(file);
    dialog.Press(IDC_RENAME);  // gone
    EXPECT_EQ(Warnings(), std::vector<std::wstring>({SystemMessage(ERROR_SHARING_VIOLATION), SystemMessage(ERROR_FILE_NOT_FOUND)}));
    EXPECT_STREQ(g_app.currentPath, file.c_str());
    EXPECT_TRUE(Names().empty());
}

TEST_F(Rename, AnExtensionThatCouldLeaveTheFolderIsRefused)
{
    app.Signatures("<type><magic>FF D8 FF</magic><title>Evil</title><ext>\\..\\..\\escaped</ext>"
                   "<ext>/../up</ext><ext>.a:b</ext><ext>.t&#9;ab</ext><ext>.fine</ext></type>");
    auto file = app.dir.Write("photo.dat", kPicture);
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    for (int choice = 0; choice < 4; ++choice) {
        dialog.Choose(choice);
        dialog.Press(IDC_RENAME);
    }
    EXPECT_EQ(Warnings().size(), 4u);
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"photo.dat"}));
    EXPECT_FALSE(std::filesystem::exists(app.dir.path.parent_path().parent_path() / "escaped"));
    dialog.Choose(4);  // an ordinary one is taken as before
    dialog.Press(IDC_RENAME);
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"photo.fine"}));
    EXPECT_EQ(Warnings().size(), 4u);
}

TEST_F(Rename, NonAsciiNames)
{
    RenameOnce(L"\u5199\u771F \u00E9 \U0001F600.dat", kPicture, 0);
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"\u5199\u771F \u00E9 \U0001F600.jpg"}));

    app.dir.Write(L"\u0394\u03B5\u03AF\u03B3\u03BC\u03B1.jpg", "taken");
    RenameOnce(L"\u0394\u03B5\u03AF\u03B3\u03BC\u03B1.dat", kPicture, 0);
    EXPECT_EQ(Warnings(), std::vector<std::wstring>({L"\u0394\u03B5\u03AF\u03B3\u03BC\u03B1.jpgは既に存在します。"}));
}

TEST_F(Rename, WithNoExtensionChosenTheFileKeepsItsName)
{
    RenameOnce(L"image.png", "\x89PNG\r\n", 0);   // a type without extensions
    RenameOnce(L"unknown.dat", "nothing known", 0);  // undetermined
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"image.png", L"unknown.dat"}));

    DialogUnderTest idle(app.Inputs());  // no file examined at all
    idle.Press(IDC_RENAME);
    EXPECT_EQ(Names(), std::vector<std::wstring>({L"image.png", L"unknown.dat"}));
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(Rename, WarningForALongNameKeepsItsWordingWhole)
{
    // C:\ plus a name of 255 characters: the path fits, the warning cannot hold the name.
    std::wstring name = std::wstring(251, L'n') + L".jpg";
    auto path = std::filesystem::path(L"C:\\") / name;
    std::ofstream(path, std::ios::binary) << kPicture;
    ASSERT_TRUE(std::filesystem::exists(path));
    {
        DialogUnderTest dialog(app.Inputs(path.wstring()));
        dialog.Press(IDC_RENAME);
    }
    std::filesystem::remove(path);
    auto warnings = Warnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].size(), 259u);
    EXPECT_EQ(warnings[0].substr(0, 4), L"nnnn");
    EXPECT_EQ(warnings[0].substr(warnings[0].size() - 10), L"\u2026は既に存在します。");
}

TEST_F(Rename, ANameThatWouldNotFitLeavesTheFileAndSaysSo)
{
    // With the new extension the path would reach 260 characters.
    auto file = app.dir.Write(std::wstring(259 - app.dir.path.native().size() - 1 - 2, L'q') + L".x", kPicture);
    ASSERT_EQ(file.native().size(), 259u);
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    dialog.Press(IDC_RENAME);
    EXPECT_EQ(Warnings(), std::vector<std::wstring>({file.filename().wstring() + L"は既に存在します。"}));
    EXPECT_TRUE(std::filesystem::exists(file));
}
