// Helpers for driving the real main dialog in-process: it is created from the
// resources linked into the test program and driven with SendMessageW.
#pragma once

#include "main_dialog.h"
#include "resource.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::wstring WindowText(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

// A message box seen by MessageBoxCatcher: what it said and how.
struct SeenMessageBox {
    std::wstring text;
    std::wstring caption;
    HWND owner = nullptr;
    bool warningIcon = false;
    int buttons = 0;
};

// Answers every message box of this thread with OK, keeping what it showed.
// A guard timer ends any box the hook missed, so a fault cannot hang a test.
class MessageBoxCatcher {
public:
    MessageBoxCatcher()
    {
        seen().clear();
        hook_ = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
        guard_ = SetTimer(nullptr, 0, 10000, OnGuard);
    }
    ~MessageBoxCatcher()
    {
        KillTimer(nullptr, guard_);
        UnhookWindowsHookEx(hook_);
    }
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    const std::vector<SeenMessageBox>& boxes() const { return seen(); }

private:
    static std::vector<SeenMessageBox>& seen()
    {
        static std::vector<SeenMessageBox> boxes;
        return boxes;
    }
    static bool IsMessageBox(HWND window)
    {
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        return std::wstring(className) == L"#32770" && GetDlgItem(window, 0xFFFF) != nullptr;
    }
    static BOOL CALLBACK InspectChild(HWND child, LPARAM into)
    {
        auto& box = *reinterpret_cast<SeenMessageBox*>(into);
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        std::wstring name(className);
        LONG style = GetWindowLongW(child, GWL_STYLE);
        // The icon is a static control of style SS_ICON. Windows gives it the
        // id 20 and Wine 1088, so it is found by its style instead.
        if (_wcsicmp(name.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
            auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
            box.warningIcon = icon != nullptr && icon == LoadIconW(nullptr, IDI_WARNING);
        }
        if (_wcsicmp(name.c_str(), L"Button") == 0 && (style & WS_VISIBLE))
            ++box.buttons;
        return TRUE;
    }
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam)
    {
        auto window = reinterpret_cast<HWND>(wParam);
        if (code == HCBT_ACTIVATE && IsMessageBox(window)) {
            SeenMessageBox box;
            box.text = WindowText(GetDlgItem(window, 0xFFFF));
            box.caption = WindowText(window);
            box.owner = GetWindow(window, GW_OWNER);
            EnumChildWindows(window, InspectChild, reinterpret_cast<LPARAM>(&box));
            seen().push_back(box);
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static BOOL CALLBACK EndBox(HWND window, LPARAM)
    {
        if (IsMessageBox(window))
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    static void CALLBACK OnGuard(HWND, UINT, UINT_PTR, DWORD)
    {
        ADD_FAILURE() << "a message box was left open";
        EnumThreadWindows(GetCurrentThreadId(), EndBox, 0);
    }

    HHOOK hook_ = nullptr;
    UINT_PTR guard_ = 0;
};

// Takes away what a destroyed dialog leaves in the thread's queue: its quit
// message would otherwise end the next test's message loop.
inline void DrainMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT)
            DispatchMessageW(&message);
    }
}

// A folder standing for the program's own: the executable's path (the file
// itself need not exist) with the signature file beside it.
struct AppFolder {
    TempDir dir;
    std::filesystem::path executable = dir.path / L"Kindsniffer.exe";

    std::filesystem::path Signatures(std::string_view types) const
    {
        return dir.Signatures(types, L"Kindsniffer.xml");
    }
    StartupInputs Inputs(std::optional<std::wstring> argument = std::nullopt) const
    {
        return StartupInputs{executable, std::move(argument), RunSettings{}};
    }
};

// The main dialog, created as WinMain creates it but never shown.
class DialogUnderTest {
public:
    explicit DialogUnderTest(const StartupInputs& inputs)
    {
        window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                     MainDialogProc, reinterpret_cast<LPARAM>(&inputs));
    }
    ~DialogUnderTest()
    {
        if (window_ && IsWindow(window_))
            DestroyWindow(window_);
        DrainMessages();
    }
    DialogUnderTest(const DialogUnderTest&) = delete;
    DialogUnderTest& operator=(const DialogUnderTest&) = delete;

    HWND window() const { return window_; }
    HWND Control(int id) const { return GetDlgItem(window_, id); }
    std::wstring Caption() const { return WindowText(window_); }
    std::wstring Title() const { return WindowText(Control(IDC_TYPE_TITLE)); }
    bool NextEnabled() const { return IsWindowEnabled(Control(IDC_NEXT)) != FALSE; }
    std::wstring ChosenExtension() const { return WindowText(Control(IDC_EXT_LIST)); }
    int Selection() const { return static_cast<int>(SendMessageW(Control(IDC_EXT_LIST), CB_GETCURSEL, 0, 0)); }

    std::vector<std::wstring> Extensions() const
    {
        std::vector<std::wstring> items;
        HWND list = Control(IDC_EXT_LIST);
        auto count = SendMessageW(list, CB_GETCOUNT, 0, 0);
        for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
            auto length = SendMessageW(list, CB_GETLBTEXTLEN, i, 0);
            std::wstring item(static_cast<size_t>(length) + 1, L'\0');
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<size_t>(length));
            items.push_back(item);
        }
        return items;
    }
    void Choose(int index) const { SendMessageW(Control(IDC_EXT_LIST), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    void Press(int id) const { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id))); }
    void Drop(HDROP drop) const { SendMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0); }

private:
    HWND window_ = nullptr;
};

// An HDROP as the shell builds it: a DROPFILES header, then the wide paths,
// each NUL-terminated, and one more NUL.
inline HDROP MakeDrop(const std::vector<std::wstring>& paths)
{
    std::wstring list;
    for (const auto& path : paths)
        list += path + L'\0';
    list += L'\0';
    size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

// Whether DragFinish has given the drop's memory back.
inline bool DropReleased(HDROP drop)
{
    return GlobalSize(drop) == 0;
}

inline std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
