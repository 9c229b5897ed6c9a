// Accelerators and the message loop around the main dialog.
#include "message_loop.h"
#include "resource.h"

#include <memory>
#include <type_traits>

namespace {

struct AcceleratorTableDeleter {
    void operator()(HACCEL table) const noexcept { DestroyAcceleratorTable(table); }
};
using UniqueAcceleratorTable = std::unique_ptr<std::remove_pointer_t<HACCEL>, AcceleratorTableDeleter>;

} // namespace

int RunApplication(HINSTANCE instance, const StartupInputs* inputs)
{
    // Flagged FVIRTKEY alone, the entries fire only with Shift, Ctrl and Alt up.
    ACCEL keys[2] = {
        {FVIRTKEY, VK_RETURN, ID_KEY_RETURN},
        {FVIRTKEY, VK_ESCAPE, ID_KEY_ESCAPE},
    };
    UniqueAcceleratorTable accelerators(CreateAcceleratorTableW(keys, 2));

    g_app = AppState{};
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc,
                                     reinterpret_cast<LPARAM>(inputs));
    if (dialog && IsWindow(dialog)) {
        ShowWindow(dialog, SW_SHOW);
    } else if (!g_app.closedWhileStarting) {
        // Nothing would ever post the quit message: the loop would wait forever.
        return kExitNoDialog;
    }
    // Without a dialog these have no effect.
    auto bigIcon = LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP_LARGE), IMAGE_ICON, 32, 32, LR_LOADTRANSPARENT);
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    auto smallIcon = LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP_SMALL), IMAGE_ICON, 16, 16, LR_LOADTRANSPARENT);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    // No IsDialogMessageW: Tab and the arrows stay with the focused control,
    // and Enter and Escape arrive only through the accelerators.
    MSG message = {};
    for (;;) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got == -1)
            return kExitMessageLoopFailed;
        if (!TranslateAcceleratorW(dialog, accelerators.get(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}
