// The entry point's loop, headless: accelerators, exit codes, start-up failure.
// Keys are posted to a control as WM_KEYDOWN, with Shift, Ctrl or Alt held
// through the thread's key state. Under Xvfb, tests/app/e2e_keyboard.sh
// presses real keys on the real program.
#include "dialog_test_support.h"
#include "message_loop.h"

namespace {

struct KeyStep {
    int control;
    WORD key;
    BYTE modifier;  // 0, VK_SHIFT, VK_CONTROL or VK_MENU, held down
};

std::vector<KeyStep> g_script;
size_t g_stepsDone = 0;
bool g_sawShownWithIcons = false;

// The main dialog of this thread. CTest runs other test processes beside
// this one, each with a dialog of the same class and caption on the same
// desktop; FindWindowW could hand back theirs, and keys posted there would
// close another test's dialog.
HWND OwnDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) -> BOOL {
            wchar_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (std::wstring(className) != L"#32770" || !GetDlgItem(window, IDC_EXT_LIST))
                return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void HoldOnly(BYTE modifier)
{
    BYTE keys[256] = {};
    if (modifier)
        keys[modifier] = 0x80;
    SetKeyboardState(keys);
}

void CALLBACK PlayNextStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = OwnDialog();
    if (!dialog)
        return;
    if (g_stepsDone == 0)
        g_sawShownWithIcons = IsWindowVisible(dialog) && SendMessageW(dialog, WM_GETICON, ICON_BIG, 0) &&
                              SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0);
    if (g_stepsDone == g_script.size()) {
        KillTimer(nullptr, timer);
        return;
    }
    const KeyStep& step = g_script[g_stepsDone++];
    HoldOnly(step.modifier);
    PostMessageW(GetDlgItem(dialog, step.control), WM_KEYDOWN, step.key, 1);
}

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(99);
}

// Runs the application as WinMain does, playing `script` once the dialog is up.
int RunWithKeys(HINSTANCE instance, const StartupInputs& inputs, std::vector<KeyStep> script)
{
    g_script = std::move(script);
    g_stepsDone = 0;
    g_sawShownWithIcons = false;
    UINT_PTR player = SetTimer(nullptr, 0, 20, PlayNextStep);
    UINT_PTR guard = SetTimer(nullptr, 0, 5000, GiveUp);
    int exitCode = RunApplication(instance, &inputs);
    KillTimer(nullptr, player);
    KillTimer(nullptr, guard);
    HoldOnly(0);
    if (HWND left = OwnDialog())
        DestroyWindow(left);
    DrainMessages();
    return exitCode;
}

} // namespace

TEST(Application, EnterAndEscapeCloseFromEveryControlWithZero)
{
    AppFolder app;
    app.Signatures("<type><magic>41</magic><title>A</title><ext>.a</ext><ext>.b</ext></type>");
    auto file = app.dir.Write("a.bin", "A..");
    for (int control : {IDC_TYPE_TITLE, IDC_EXT_LIST, IDC_RENAME, IDC_NEXT}) {
        for (WORD key : {WORD{VK_RETURN}, WORD{VK_ESCAPE}}) {
            SCOPED_TRACE(testing::Message() << "control " << control << ", key " << key);
            EXPECT_EQ(RunWithKeys(GetModuleHandleW(nullptr), app.Inputs(file.wstring()), {{control, key, 0}}), 0);
            EXPECT_EQ(g_stepsDone, 1u);
            EXPECT_TRUE(g_sawShownWithIcons);
        }
    }
    EXPECT_TRUE(std::filesystem::exists(file));  // Enter on a button did not press it
}

TEST(Application, EnterOrEscapeWithAModifierDoesNotClose)
{
    AppFolder app;
    app.Signatures("<type><magic>41</magic><title>A</title></type>");
    std::vector<KeyStep> script = {
        {IDC_EXT_LIST, VK_RETURN, VK_SHIFT}, {IDC_EXT_LIST, VK_RETURN, VK_CONTROL},
        {IDC_RENAME, VK_ESCAPE, VK_SHIFT},   {IDC_TYPE_TITLE, VK_RETURN, VK_MENU},
        {IDC_NEXT, VK_ESCAPE, 0},  // only this one closes
    };
    EXPECT_EQ(RunWithKeys(GetModuleHandleW(nullptr), app.Inputs(), script), 0);
    EXPECT_EQ(g_stepsDone, script.size());
}

TEST(Application, MissingSignatureFileEndsWithZeroOnceWarned)
{
    AppFolder app;
    MessageBoxCatcher boxes;
    EXPECT_EQ(RunWithKeys(GetModuleHandleW(nullptr), app.Inputs(), {}), 0);
    EXPECT_EQ(g_stepsDone, 0u);
    EXPECT_FALSE(g_sawShownWithIcons);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"xmlがありません。");
}

TEST(Application, NoDialogEndsAtOnceWithAnError)
{
    AppFolder app;
    app.Signatures("<type><magic>41</magic><title>A</title></type>");
    // A module without the dialog template: creation fails outright, and
    // nothing would ever post the quit message.
    MessageBoxCatcher boxes;
    EXPECT_EQ(RunWithKeys(GetModuleHandleW(L"kernel32.dll"), app.Inputs(), {}), kExitNoDialog);
    EXPECT_TRUE(boxes.boxes().empty());
}
