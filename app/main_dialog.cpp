// The main dialog procedure and the work it routes: start-up, examining a
// file, the queue of dropped files and the Rename command.
#include "main_dialog.h"
#include "resource.h"

#include "detection.h"
#include "file_names.h"

#include <shlwapi.h>

#include <cwchar>
#include <memory>

AppState g_app = {};

namespace {

std::wstring WideFromSignatureText(const std::string& text)
{
    const std::string utf8 = SignatureTextAsUtf8(text, {});
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

constexpr const wchar_t* kAppName = L"Kindsniffer";
constexpr const wchar_t* kUnreadableText = L"（ファイルが開けません）";
constexpr const wchar_t* kUndeterminedText = L"（判別できませんでした）";
constexpr int kVisibleExtensions = 5;

struct LocalFreeDeleter {
    void operator()(void* memory) const noexcept { LocalFree(memory); }
};

void ShowWarning(HWND dialog, const wchar_t* text)
{
    MessageBoxW(dialog, text, kAppName, MB_ICONWARNING);
}

// The last component of a path of any length.
std::wstring FileNameOf(std::wstring path)
{
    PathStripPathW(path.data());
    path.resize(std::wcslen(path.c_str()));
    return path;
}

// Shortens `name` to at most `room` characters, marking the cut with an
// ellipsis and never splitting a surrogate pair.
std::wstring FitName(std::wstring name, size_t room)
{
    if (name.size() <= room)
        return name;
    size_t keep = room > 0 ? room - 1 : 0;
    if (keep > 0 && IS_HIGH_SURROGATE(name[keep - 1]))
        --keep;
    name.resize(keep);
    if (room > 0)
        name += L'\u2026';
    return name;
}

void WarnTaken(HWND dialog, const wchar_t* target)
{
    // Counter and wording stay whole; only the name gives way.
    constexpr const wchar_t* format = L"%sは既に存在します。";
    const size_t fixedLength = std::wcslen(format) - 2;
    std::wstring name = FitName(FileNameOf(target), MAX_PATH - 1 - fixedLength);
    wchar_t text[MAX_PATH];
    wsprintfW(text, format, name.c_str());
    ShowWarning(dialog, text);
}

// A move that failed for another reason than a taken name: the system's own
// words for the error, so that a failure never passes for a rename done.
void WarnMoveFailed(HWND dialog, DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::unique_ptr<wchar_t, LocalFreeDeleter> owned(buffer);
    std::wstring text = length ? std::wstring(buffer, length) : L"エラー " + std::to_wstring(error);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    ShowWarning(dialog, text.c_str());
}

// Takes a path into currentPath whole, or not at all: a path that does not
// fit is remembered as such and is never examined or renamed under a cut name.
void TakePath(const std::wstring& path)
{
    g_app.currentPathTooLong = path.size() >= MAX_PATH;
    g_app.currentPath[0] = L'\0';
    if (!g_app.currentPathTooLong)
        wcscpy_s(g_app.currentPath, path.c_str());
}

// The signature file is the executable's own path with ".xml" for its
// extension. False when that path would not fit or the file is absent.
bool LocateSignatureFile(const std::filesystem::path& executable)
{
    const std::wstring& path = executable.native();
    g_app.signaturePath[0] = L'\0';
    if (path.empty() || path.size() >= MAX_PATH)
        return false;
    wcscpy_s(g_app.signaturePath, path.c_str());
    if (!PathRenameExtensionW(g_app.signaturePath, L".xml")) {
        g_app.signaturePath[0] = L'\0';
        return false;
    }
    return PathFileExistsW(g_app.signaturePath);
}

void OnInitDialog(HWND dialog, const StartupInputs* given)
{
    g_app = AppState{};
    StartupInputs own;
    if (!given) {
        own = ReadStartupInputs();
        given = &own;
    }
    if (!LocateSignatureFile(given->executablePath)) {
        ShowWarning(dialog, L"xmlがありません。");
        g_app.closedWhileStarting = true;
        SendMessageW(dialog, WM_CLOSE, 0, 0);
        return;
    }
    g_app.settings = given->settings;
    DragAcceptFiles(dialog, TRUE);
    // An empty argument counts as none.
    if (given->argument && !given->argument->empty()) {
        TakePath(*given->argument);
        EnableWindow(GetDlgItem(dialog, IDC_NEXT), FALSE);
        ExamineCurrentFile(dialog);
    }
}

void SizeDropDown(HWND list)
{
    // The height covers the selection field and the drop-down part together.
    RECT rect = {};
    GetWindowRect(list, &rect);
    auto fieldHeight = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    auto itemHeight = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, 0, 0));
    int height = fieldHeight + kVisibleExtensions * itemHeight + 4 * GetSystemMetrics(SM_CYEDGE);
    SetWindowPos(list, nullptr, 0, 0, rect.right - rect.left, height, SWP_NOZORDER | SWP_NOMOVE);
}

// --- Drop queue ---

std::wstring QueryDroppedPath(HDROP drop, UINT index)
{
    UINT length = DragQueryFileW(drop, index, nullptr, 0);
    std::wstring path(length, L'\0');
    if (length > 0) {
        length = DragQueryFileW(drop, index, path.data(), length + 1);
        path.resize(length);
    }
    return path;
}

void SetDropCaption(HWND dialog, const std::wstring& path)
{
    wchar_t caption[MAX_PATH];
    std::wstring name = FileNameOf(path);
    if (g_app.dropCount == 1) {
        wcscpy_s(caption, FitName(name, MAX_PATH - 1).c_str());
    } else {
        auto index = static_cast<int>(g_app.dropIndex + 1);
        auto count = static_cast<int>(g_app.dropCount);
        wchar_t counter[32];
        int counterLength = wsprintfW(counter, L"(%d/%d)", index, count);
        name = FitName(name, MAX_PATH - 1 - static_cast<size_t>(counterLength));
        wsprintfW(caption, L"(%d/%d)%s", index, count, name.c_str());
    }
    SetWindowTextW(dialog, caption);
}

void ReleaseDrop()
{
    DragFinish(g_app.dropHandle);
    g_app.dropHandle = nullptr;
}

void OnDropFiles(HWND dialog, HDROP drop)
{
    if (g_app.dropHandle)
        ReleaseDrop();  // its files not yet examined are abandoned
    g_app.dropHandle = drop;
    g_app.dropCount = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    g_app.dropIndex = 0;
    if (g_app.dropCount == 0) {
        ReleaseDrop();
        return;
    }
    std::wstring path = QueryDroppedPath(drop, 0);
    TakePath(path);
    EnableWindow(GetDlgItem(dialog, IDC_NEXT), g_app.dropCount > 1);
    SetDropCaption(dialog, path);
    ExamineCurrentFile(dialog);
    if (g_app.dropCount == 1)
        ReleaseDrop();
}

void OnNext(HWND dialog)
{
    if (!g_app.dropHandle)
        return;
    ++g_app.dropIndex;
    std::wstring path = QueryDroppedPath(g_app.dropHandle, g_app.dropIndex);
    TakePath(path);
    SetDropCaption(dialog, path);
    ExamineCurrentFile(dialog);
    if (g_app.dropIndex + 1 >= g_app.dropCount) {
        ReleaseDrop();
        EnableWindow(GetDlgItem(dialog, IDC_NEXT), FALSE);
    }
}

// --- Rename ---

void OnRename(HWND dialog)
{
    if (g_app.currentPathTooLong || g_app.currentPath[0] == L'\0')
        return;
    // A drop-down list's window text is the text of its selected item, read
    // back from the narrow bytes in the ANSI code page.
    wchar_t extension[256] = {};
    GetWindowTextW(GetDlgItem(dialog, IDC_EXT_LIST), extension, 256);
    if (extension[0] == L'\0')
        return;  // no extension chosen: stripping the old one is no rename anybody asked for
    // A signature file may offer anything as an extension; one that could
    // move the file out of its folder is refused, as the console program does.
    if (HasUnsafeNameCharacter(extension)) {
        ShowWarning(dialog, L"この拡張子にはファイル名に使えない文字が含まれています。");
        return;
    }

    wchar_t target[MAX_PATH];
    wcscpy_s(target, g_app.currentPath);
    // When the new name would not fit, the target stays the current path,
    // which exists, so the user is told rather than left guessing.
    // ".hidden" is all name: the extension goes after it rather than over it.
    const std::wstring name = PathFindFileNameW(target);
    if (name.rfind(L'.') == 0) {
        if (wcslen(target) + wcslen(extension) < MAX_PATH)
            wcscat_s(target, extension);
    } else {
        PathRenameExtensionW(target, extension);
    }
    if (PathFileExistsW(target)) {
        WarnTaken(dialog, target);
        return;
    }
    MoveUnlessTaken(dialog, g_app.currentPath, target);
}

void OnClose(HWND dialog)
{
    if (g_app.dropHandle)
        ReleaseDrop();
    DestroyWindow(dialog);
}

} // namespace

StartupInputs ReadStartupInputs()
{
    StartupInputs inputs;
    inputs.executablePath = ExecutablePath();
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreeDeleter> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (arguments && count >= 2)
        inputs.argument = arguments.get()[1];
    inputs.settings = RunSettingsFromEnvironment();
    return inputs;
}

void ExamineCurrentFile(HWND dialog)
{
    HWND title = GetDlgItem(dialog, IDC_TYPE_TITLE);
    HWND list = GetDlgItem(dialog, IDC_EXT_LIST);
    // Emptied first, so nothing of the previous outcome survives any outcome.
    SetWindowTextW(title, L"");
    SendMessageW(list, CB_RESETCONTENT, 0, 0);

    if (g_app.currentPathTooLong) {
        SetWindowTextW(title, kUnreadableText);
        return;
    }
    DetectionOutcome outcome = DetectFileType(g_app.signaturePath, g_app.currentPath, g_app.settings);
    switch (outcome.state) {
    case DetectionState::Unreadable:
        SetWindowTextW(title, kUnreadableText);
        break;
    case DetectionState::Undetermined:
        SetWindowTextW(title, kUndeterminedText);
        break;
    case DetectionState::Detected:
        // Signature texts are bytes: UTF-8 when they are valid UTF-8 beyond
        // ASCII, else in the ANSI code page, as the console program reads them.
        SetWindowTextW(title, WideFromSignatureText(outcome.title).c_str());
        for (size_t i = 0; i < outcome.extensions.size(); ++i) {
            const std::wstring extension = WideFromSignatureText(outcome.extensions[i]);
            SendMessageW(list, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(extension.c_str()));
        }
        SizeDropDown(list);
        SendMessageW(list, CB_SETCURSEL, 0, 0);
        break;
    }
}

void MoveUnlessTaken(HWND dialog, const wchar_t* from, const wchar_t* to)
{
    // A file that appeared since the existence test makes the move fail
    // instead of being overwritten.
    std::error_code error;
    switch (MoveNoReplace(from, to, error)) {
    case MoveResult::Moved: break;
    case MoveResult::TargetExists: WarnTaken(dialog, to); break;
    case MoveResult::Failed: WarnMoveFailed(dialog, static_cast<DWORD>(error.value())); break;
    }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // FALSE for every message: the dialog manager places no default focus,
    // and what is not handled here gets the default handling.
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, reinterpret_cast<const StartupInputs*>(lParam));
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case ID_KEY_RETURN:
        case ID_KEY_ESCAPE:
            SendMessageW(dialog, WM_CLOSE, 0, 0);
            break;
        case IDC_RENAME:
            OnRename(dialog);
            break;
        case IDC_NEXT:
            OnNext(dialog);
            break;
        }
        break;
    case WM_DROPFILES:
        OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
        break;
    case WM_CLOSE:
        OnClose(dialog);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    }
    return FALSE;
}
