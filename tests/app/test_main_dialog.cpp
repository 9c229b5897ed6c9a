// The main dialog from the real resources: its template, start-up and the
// display of each detection outcome.
#include "dialog_test_support.h"

#include <cstring>
#include <span>
#include <utility>
#include <vector>

namespace {

const char* kPicture =
    "<type><magic>FF D8 FF</magic><title>Picture</title><ext>.jpg</ext><ext>.jpeg</ext><ext>.jfif</ext></type>";
const char* kNoExtension = "<type><magic>89 50 4E 47</magic><title>Bare</title></type>";
const char* kAllTypes =
    "<type><magic>FF D8 FF</magic><title>Picture</title><ext>.jpg</ext><ext>.jpeg</ext><ext>.jfif</ext></type>"
    "<type><magic>89 50 4E 47</magic><title>Bare</title></type>";

const auto kPictureBytes = Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00});
const auto kBareBytes = Bytes({0x89, 0x50, 0x4E, 0x47, 0x0D});
const auto kOtherBytes = Bytes({0x00, 0x01, 0x02, 0x03});

// A resource of this program in Japanese, as the loader sees it.
std::span<const std::uint8_t> JapaneseResource(LPCWSTR type, int id)
{
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(self, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    if (!found)
        return {};
    auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(self, found)));
    return {data, SizeofResource(self, found)};
}

// Reads a DLGTEMPLATEEX: fixed fields, then word-aligned variable ones.
struct TemplateReader {
    const std::uint8_t* at;
    template <typename T> T Take()
    {
        T value;
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
    std::wstring TakeText()  // sz_Or_Ord: an ordinal appears as "#n"
    {
        if (Take<WORD>() == 0xFFFF)
            return L"#" + std::to_wstring(Take<WORD>());
        at -= sizeof(WORD);
        std::wstring text;
        for (wchar_t c; (c = static_cast<wchar_t>(Take<WORD>())) != 0;)
            text += c;
        return text;
    }
    void AlignTo(size_t bytes, const std::uint8_t* base)
    {
        while ((at - base) % bytes)
            ++at;
    }
};

struct TemplateControl {
    DWORD style;
    short x, y, cx, cy;
    DWORD id;
    std::wstring className, text;
};

// The class of a control may be stored as a name or as the predefined atom.
std::wstring ClassName(const std::wstring& stored)
{
    static const std::pair<const wchar_t*, const wchar_t*> atoms[] = {
        {L"#128", L"BUTTON"}, {L"#129", L"EDIT"}, {L"#133", L"COMBOBOX"}};
    for (auto [atom, name] : atoms)
        if (stored == atom)
            return name;
    std::wstring upper = stored;
    for (auto& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    return upper;
}

} // namespace

TEST(DialogResources, TemplateIsTheJapaneseMainDialog)
{
    auto resource = JapaneseResource(RT_DIALOG, IDD_MAIN);
    ASSERT_FALSE(resource.empty()) << "dialog 101 in language 1041";
    TemplateReader r{resource.data()};
    EXPECT_EQ(r.Take<WORD>(), 1);       // dlgVer
    EXPECT_EQ(r.Take<WORD>(), 0xFFFF);  // signature of DLGTEMPLATEEX
    EXPECT_EQ(r.Take<DWORD>(), 0u);     // helpID
    EXPECT_EQ(r.Take<DWORD>(), 0u);     // exStyle: no WS_EX_ACCEPTFILES until the signature file is found
    EXPECT_EQ(r.Take<DWORD>(), 0x00C808C8u);
    WORD count = r.Take<WORD>();
    EXPECT_EQ(r.Take<short>(), 0);
    EXPECT_EQ(r.Take<short>(), 0);
    EXPECT_EQ(r.Take<short>(), 173);
    EXPECT_EQ(r.Take<short>(), 45);
    EXPECT_EQ(r.TakeText(), L"");  // menu
    EXPECT_EQ(r.TakeText(), L"");  // standard dialog class
    EXPECT_EQ(r.TakeText(), L"Kindsniffer");
    EXPECT_EQ(r.Take<WORD>(), 8);    // points
    EXPECT_EQ(r.Take<WORD>(), 400);  // weight
    EXPECT_EQ(r.Take<BYTE>(), 0);    // italic
    EXPECT_EQ(r.Take<BYTE>(), 1);    // DEFAULT_CHARSET
    EXPECT_EQ(r.TakeText(), L"MS Shell Dlg");

    std::vector<TemplateControl> controls;
    for (WORD i = 0; i < count; ++i) {
        r.AlignTo(4, resource.data());
        EXPECT_EQ(r.Take<DWORD>(), 0u);  // helpID
        EXPECT_EQ(r.Take<DWORD>(), 0u);  // exStyle
        TemplateControl c;
        c.style = r.Take<DWORD>();
        c.x = r.Take<short>(), c.y = r.Take<short>(), c.cx = r.Take<short>(), c.cy = r.Take<short>();
        c.id = r.Take<DWORD>();
        c.className = ClassName(r.TakeText());
        c.text = r.TakeText();
        r.at += r.Take<WORD>();  // creation data
        controls.push_back(c);
    }
    ASSERT_EQ(controls.size(), 4u);
    auto expect = [](const TemplateControl& c, DWORD id, const wchar_t* cls, const wchar_t* text, DWORD style,
                     short x, short y, short cx, short cy) {
        SCOPED_TRACE(id);
        EXPECT_EQ(c.id, id);
        EXPECT_EQ(c.className, cls);
        EXPECT_EQ(c.text, text);
        EXPECT_EQ(c.style, style);
        EXPECT_EQ(std::vector<short>({c.x, c.y, c.cx, c.cy}), std::vector<short>({x, y, cx, cy}));
    };
    expect(controls[0], IDC_TYPE_TITLE, L"EDIT", L"", 0x50810880, 7, 7, 159, 14);
    expect(controls[1], IDC_EXT_LIST, L"COMBOBOX", L"", 0x50210103, 7, 26, 48, 30);
    expect(controls[2], IDC_RENAME, L"BUTTON", L"リネーム", 0x50010000, 61, 24, 50, 14);
    expect(controls[3], IDC_NEXT, L"BUTTON", L"次へ", 0x50010000, 116, 24, 50, 14);
}

TEST(DialogResources, IconsAreJapaneseGroupsOf32BitImagesInEverySizeExplorerShows)
{
    // GRPICONDIR: reserved, type, count; then 14-byte entries. A width or
    // height of 0 stands for 256.
    auto check = [](int id, std::vector<int> sizes) {
        SCOPED_TRACE(id);
        auto group = JapaneseResource(RT_GROUP_ICON, id);
        ASSERT_GE(group.size(), 6u);
        TemplateReader r{group.data()};
        r.Take<WORD>();
        EXPECT_EQ(r.Take<WORD>(), 1);
        ASSERT_EQ(r.Take<WORD>(), sizes.size());
        for (int size : sizes) {
            SCOPED_TRACE(size);
            EXPECT_EQ(r.Take<BYTE>(), size % 256);  // width
            EXPECT_EQ(r.Take<BYTE>(), size % 256);  // height
            r.Take<WORD>();                         // colours, reserved
            EXPECT_EQ(r.Take<WORD>(), 1);           // planes
            EXPECT_EQ(r.Take<WORD>(), 32);          // bits per pixel
            r.Take<DWORD>();
            r.Take<WORD>();
        }
    };
    check(IDI_APP_LARGE, {16, 24, 32, 48, 256});
    check(IDI_APP_SMALL, {16, 24});
    const std::pair<int, int> loads[] = {{IDI_APP_SMALL, 16}, {IDI_APP_SMALL, 24}, {IDI_APP_LARGE, 48}, {IDI_APP_LARGE, 256}};
    for (auto [id, size] : loads)
        EXPECT_NE(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_LOADTRANSPARENT),
                  nullptr) << id << " at " << size;
}

TEST(DialogResources, ManifestAsksForTheInvokersLevelAndNothingElse)
{
    HMODULE self = GetModuleHandleW(nullptr);
    int languages = 0;
    EnumResourceLanguagesW(self, RT_MANIFEST, MAKEINTRESOURCEW(1),
                           [](HMODULE, LPCWSTR, LPCWSTR, WORD, LONG_PTR count) -> BOOL {
                               ++*reinterpret_cast<int*>(count);
                               return TRUE;
                           },
                           reinterpret_cast<LONG_PTR>(&languages));
    ASSERT_EQ(languages, 1);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(1), RT_MANIFEST);
    std::string text(static_cast<const char*>(LockResource(LoadResource(self, found))), SizeofResource(self, found));
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(text.find("dependency"), std::string::npos);  // no common-controls version
    EXPECT_EQ(text.find("compatibility"), std::string::npos);
    EXPECT_EQ(text.find("dpiAware"), std::string::npos);
}

TEST(DialogStart, WithoutArgumentShowsNothingAndLeavesNextEnabled)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    for (auto inputs : {app.Inputs(), app.Inputs(L"")}) {  // an empty argument counts as none
        DialogUnderTest dialog(inputs);
        ASSERT_NE(dialog.window(), nullptr);
        EXPECT_EQ(dialog.Caption(), L"Kindsniffer");
        EXPECT_EQ(dialog.Title(), L"");
        EXPECT_TRUE(dialog.Extensions().empty());
        EXPECT_TRUE(dialog.NextEnabled());
        EXPECT_FALSE(IsWindowVisible(dialog.window()));  // WinMain shows it
        EXPECT_TRUE(GetWindowLongW(dialog.window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
        EXPECT_EQ(GetFocus(), nullptr);  // the dialog places no focus of its own

        dialog.Press(IDC_NEXT);
        EXPECT_EQ(dialog.Caption(), L"Kindsniffer");
        EXPECT_EQ(dialog.Title(), L"");
    }
}

TEST(DialogStart, ArgumentIsExaminedBeforeTheWindowIsShown)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    auto file = app.dir.Write("photo.dat", kPictureBytes);
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    EXPECT_EQ(dialog.Title(), L"Picture");
    EXPECT_EQ(dialog.Caption(), L"Kindsniffer");
    EXPECT_FALSE(dialog.NextEnabled());
    EXPECT_STREQ(g_app.currentPath, file.c_str());
}

TEST(DialogStart, SignatureFileBesideAnExecutableWithANonAnsiPath)
{
    // No ANSI code page holds these names: a narrow signature path could not reach the file.
    AppFolder app;
    auto folder = app.dir.path / L"\u7F72\u540D \u03A3 \U0001F600";
    std::filesystem::create_directories(folder);
    app.executable = folder / L"Kindsniffer.exe";
    app.dir.Write(folder / L"Kindsniffer.xml", std::string("<dat><types>") + kPicture + "</types></dat>");
    auto file = app.dir.Write("photo.dat", kPictureBytes);
    MessageBoxCatcher boxes;
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(dialog.Title(), L"Picture");
}

TEST(DialogStart, MissingSignatureFileWarnsAndDestroysTheDialog)
{
    AppFolder app;  // no Kindsniffer.xml beside it
    auto file = app.dir.Write("photo.dat", kPictureBytes);
    MessageBoxCatcher boxes;
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    EXPECT_FALSE(dialog.window() && IsWindow(dialog.window()));
    ASSERT_EQ(boxes.boxes().size(), 1u);
    const auto& box = boxes.boxes()[0];
    EXPECT_EQ(box.text, L"xmlがありません。");
    EXPECT_EQ(box.caption, L"Kindsniffer");
    EXPECT_TRUE(box.warningIcon);
    EXPECT_EQ(box.buttons, 1);
    EXPECT_NE(box.owner, nullptr);  // the dialog, hidden and about to go
    EXPECT_TRUE(g_app.closedWhileStarting);
    EXPECT_STREQ(g_app.currentPath, L"");  // nothing was examined
    // Its destruction asked the message loop to end with 0.
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
}

TEST(DialogStart, SignaturePathThatWouldNotFitIsMissing)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    // Beside an executable whose own path is already too long for any path buffer.
    app.executable = app.dir.path / (std::wstring(300 - app.dir.path.native().size(), L'k') + L".exe");
    MessageBoxCatcher boxes;
    DialogUnderTest dialog(app.Inputs());
    EXPECT_FALSE(dialog.window() && IsWindow(dialog.window()));
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"xmlがありません。");
}

TEST(DialogStart, ArgumentTooLongForAPathIsNeverCut)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    // Its first 259 characters name a file that exists and would be detected.
    auto file = app.dir.Write(std::wstring(259 - app.dir.path.native().size() - 1, L'p'), kPictureBytes);
    ASSERT_EQ(file.native().size(), 259u);
    std::wstring argument = file.native() + L".more";
    DialogUnderTest dialog(app.Inputs(argument));
    EXPECT_EQ(dialog.Title(), L"（ファイルが開けません）");
    EXPECT_TRUE(dialog.Extensions().empty());
    EXPECT_FALSE(dialog.NextEnabled());
    EXPECT_TRUE(g_app.currentPathTooLong);
}

// Records the size the list is given, as the list itself is told of it.
WNDPROC g_listProc = nullptr;
std::vector<SIZE> g_listSizes;
LRESULT CALLBACK RecordListSize(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WINDOWPOSCHANGING) {
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (!(pos->flags & SWP_NOSIZE))
            g_listSizes.push_back({pos->cx, pos->cy});
    }
    return CallWindowProcW(g_listProc, window, message, wParam, lParam);
}

TEST(DialogOutcome, ExtensionsInDocumentOrderFirstChosenAndFiveItemsHigh)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    DialogUnderTest dialog(app.Inputs());
    HWND list = dialog.Control(IDC_EXT_LIST);
    RECT before = {};
    GetWindowRect(list, &before);
    g_listSizes.clear();
    g_listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordListSize)));

    dialog.Drop(MakeDrop({app.dir.Write("photo.dat", kPictureBytes).wstring()}));
    EXPECT_EQ(dialog.Title(), L"Picture");
    // Not sorted, although the list carries CBS_SORT.
    EXPECT_EQ(dialog.Extensions(), std::vector<std::wstring>({L".jpg", L".jpeg", L".jfif"}));
    EXPECT_EQ(dialog.Selection(), 0);
    EXPECT_EQ(dialog.ChosenExtension(), L".jpg");

    // Five items high whatever the number of extensions, from the heights the
    // list reports for its selection field and its items, in this font and locale.
    auto field = SendMessageW(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    auto item = SendMessageW(list, CB_GETITEMHEIGHT, 0, 0);
    ASSERT_FALSE(g_listSizes.empty());
    EXPECT_EQ(g_listSizes[0].cy, field + 5 * item + 4 * GetSystemMetrics(SM_CYEDGE));
    EXPECT_EQ(g_listSizes[0].cx, before.right - before.left);
    RECT after = {};
    GetWindowRect(list, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    // Windows reports the dropped rectangle with the selection field in it,
    // Wine without; either way the drop-down part holds five items.
    RECT dropped = {};
    SendMessageW(list, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_GE(dropped.bottom - dropped.top, 5 * item);
    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listProc));
}

TEST(DialogOutcome, TypeWithoutExtensionsShowsItsTitleAndAnEmptyList)
{
    AppFolder app;
    app.Signatures(kNoExtension);
    DialogUnderTest dialog(app.Inputs(app.dir.Write("image.dat", kBareBytes).wstring()));
    EXPECT_EQ(dialog.Title(), L"Bare");
    EXPECT_TRUE(dialog.Extensions().empty());
    EXPECT_EQ(dialog.Selection(), CB_ERR);
    EXPECT_EQ(dialog.ChosenExtension(), L"");
}

TEST(DialogOutcome, FailuresAreToldWithFullWidthParentheses)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    {
        DialogUnderTest dialog(app.Inputs((app.dir.path / "absent.bin").wstring()));
        EXPECT_EQ(dialog.Title(), L"\uFF08ファイルが開けません\uFF09");
        EXPECT_TRUE(dialog.Extensions().empty());
    }
    {
        DialogUnderTest dialog(app.Inputs(app.dir.Write("other.bin", kOtherBytes).wstring()));
        EXPECT_EQ(dialog.Title(), L"\uFF08判別できませんでした\uFF09");
        EXPECT_TRUE(dialog.Extensions().empty());
    }
}

TEST(DialogOutcome, NothingOfThePreviousOutcomeRemains)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    DialogUnderTest dialog(app.Inputs(app.dir.Write("photo.dat", kPictureBytes).wstring()));
    ASSERT_EQ(dialog.Extensions().size(), 3u);

    dialog.Drop(MakeDrop({app.dir.Write("other.bin", kOtherBytes).wstring()}));
    EXPECT_EQ(dialog.Title(), L"（判別できませんでした）");
    EXPECT_TRUE(dialog.Extensions().empty());
    EXPECT_EQ(dialog.ChosenExtension(), L"");

    dialog.Drop(MakeDrop({app.dir.Write("photo2.dat", kPictureBytes).wstring()}));
    dialog.Drop(MakeDrop({app.dir.Write("image.dat", kBareBytes).wstring()}));
    EXPECT_EQ(dialog.Title(), L"Bare");
    EXPECT_TRUE(dialog.Extensions().empty());
}

TEST(DialogOutcome, AnEditedSignatureFileCountsAtTheNextExamination)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    auto file = app.dir.Write("photo.dat", kPictureBytes);
    DialogUnderTest dialog(app.Inputs(file.wstring()));
    ASSERT_EQ(dialog.Title(), L"Picture");

    app.Signatures("<type><magic>FF D8</magic><title>Edited</title><ext>.new</ext></type>");
    dialog.Drop(MakeDrop({file.wstring()}));
    EXPECT_EQ(dialog.Title(), L"Edited");
    EXPECT_EQ(dialog.Extensions(), std::vector<std::wstring>({L".new"}));

    // Deleted after start-up: no new warning, the file simply goes undetermined.
    MessageBoxCatcher boxes;
    std::filesystem::remove(app.dir.path / "Kindsniffer.xml");
    dialog.Drop(MakeDrop({file.wstring()}));
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(dialog.Title(), L"（判別できませんでした）");
}

TEST(DialogClose, CloseDestroysTheDialogAndEndsTheLoopWithZero)
{
    AppFolder app;
    app.Signatures(kAllTypes);
    for (int command : {ID_KEY_RETURN, ID_KEY_ESCAPE}) {
        DialogUnderTest dialog(app.Inputs());
        dialog.Press(command);
        EXPECT_FALSE(IsWindow(dialog.window()));
        MSG quit;
        ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(quit.wParam, 0u);
    }
    // Other commands, such as the list's notifications or IDOK, leave it open.
    DialogUnderTest dialog(app.Inputs());
    for (int command : {IDOK, IDCANCEL, IDC_TYPE_TITLE, IDC_EXT_LIST})
        dialog.Press(command);
    EXPECT_TRUE(IsWindow(dialog.window()));
}

TEST(HostileInput, SignatureFileReplacedOrDeletedBetweenExaminations)
{
    AppFolder app;
    app.Signatures("<type><magic>4D 5A</magic><title>First</title><ext>.a</ext></type>");
    auto a = app.dir.Write("a.bin", "MZ-a");
    auto b = app.dir.Write("b.bin", "MZ-b");
    auto c = app.dir.Write("c.bin", "MZ-c");
    DialogUnderTest dialog(app.Inputs());
    dialog.Drop(MakeDrop({a.wstring(), b.wstring(), c.wstring()}));
    EXPECT_EQ(dialog.Title(), L"First");

    // Replaced: the next examination reads the new one.
    app.Signatures("<type><magic>4D 5A</magic><title>Second</title><ext>.b</ext></type>");
    dialog.Press(IDC_NEXT);
    EXPECT_EQ(dialog.Title(), L"Second");
    EXPECT_EQ(dialog.Extensions(), std::vector<std::wstring>({L".b"}));

    // Deleted: no type is known, so none is claimed, and nothing of the last
    // outcome stays on screen.
    std::filesystem::remove(app.dir.path / "Kindsniffer.xml");
    dialog.Press(IDC_NEXT);
    EXPECT_EQ(dialog.Title(), L"（判別できませんでした）");
    EXPECT_TRUE(dialog.Extensions().empty());
}
