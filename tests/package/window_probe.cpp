// Starts a Windows program as a user would and reports the windows it shows,
// then closes them as a user would: OK on a message box, the close box on
// the main dialog.
//
//   window_probe PROGRAM [FILE]
//
// Prints, in UTF-8, one line per visible top-level window of the program:
//   dialog TITLE | EXT EXT ...      the main dialog: its title box and list
//   message CAPTION: TEXT           a message box
// and last "exit CODE". Exits with 1 when no window came up or the program
// did not end.
#include "resource.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

void PrintUtf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// The controls belong to another process: their texts are asked for with
// messages, which the system carries across, with a time limit.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

std::wstring ControlText(HWND control)
{
    wchar_t text[1024] = {};
    if (control == nullptr || Ask(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text)) < 0)
        return L"?";
    return text;
}

std::wstring ListItems(HWND list)
{
    std::wstring items;
    LRESULT count = list ? Ask(list, CB_GETCOUNT, 0, 0) : -1;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[256] = {};
        if (Ask(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= 256)
            return L"?";
        Ask(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        items += (i ? L" " : L"") + std::wstring(item);
    }
    return items;
}

struct Search {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK Collect(HWND window, LPARAM into)
{
    auto& search = *reinterpret_cast<Search*>(into);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window))
        search.windows.push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD processId)
{
    Search search{processId, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

std::wstring Quoted(const std::wstring& argument)
{
    return L"\"" + argument + L"\"";
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs("usage: window_probe PROGRAM [FILE]\n", stderr);
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY);
    std::wstring commandLine = Quoted(argv[1]);
    if (argc == 3)
        commandLine += L" " + Quoted(argv[2]);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        std::fprintf(stderr, "window_probe: cannot start the program (error %lu)\n", GetLastError());
        return 1;
    }
    Handle process(started.hProcess);
    Handle thread(started.hThread);

    // Wait for the first window, then a moment more: a window shown behind a
    // message box would come up by then.
    std::vector<HWND> windows;
    for (int i = 0; i < 400 && windows.empty(); ++i) {
        if (WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0)
            break;
        windows = VisibleWindows(started.dwProcessId);
    }
    Sleep(500);
    windows = VisibleWindows(started.dwProcessId);

    for (HWND window : windows) {
        if (HWND message = GetDlgItem(window, 0xFFFF)) {
            wchar_t caption[256] = {};
            GetWindowTextW(window, caption, 256);
            PrintUtf8(L"message " + std::wstring(caption) + L": " + ControlText(message) + L"\n");
        } else {
            PrintUtf8(L"dialog " + ControlText(GetDlgItem(window, IDC_TYPE_TITLE)) + L" | " +
                      ListItems(GetDlgItem(window, IDC_EXT_LIST)) + L"\n");
        }
    }
    // Message boxes first: the dialog cannot close while its box is up.
    for (HWND window : windows) {
        if (GetDlgItem(window, 0xFFFF))
            PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    for (HWND window : windows) {
        if (!GetDlgItem(window, 0xFFFF))
            PostMessageW(window, WM_CLOSE, 0, 0);
    }

    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
        std::puts("exit running");
        TerminateProcess(process.get(), 99);
        return 1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    std::printf("exit %lu\n", code);
    return windows.empty() ? 1 : 0;
}
