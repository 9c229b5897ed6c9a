// The main dialog: the one window of Kindsniffer.exe, with the process-wide
// state it owns, the examination of a file, the drop queue and Rename.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "detection.h"

#include <filesystem>
#include <optional>
#include <string>

// What the dialog takes from its process when it starts. WinMain passes none,
// and the dialog reads its own command line and executable path; tests pass
// their own so that they need not be launched with an argument.
struct StartupInputs {
    std::filesystem::path executablePath;  // the signature file lies beside it
    std::optional<std::wstring> argument;  // the first command-line argument, if any
    RunSettings settings;                  // the environment's
};

StartupInputs ReadStartupInputs();

struct AppState {
    UINT dropCount;
    UINT dropIndex;                      // the file now examined, counted from 0
    HDROP dropHandle;                    // non-null exactly while files of a drop remain
    wchar_t currentPath[MAX_PATH];       // empty until a file is given
    bool currentPathTooLong;             // the path given did not fit; it is never examined or renamed
    wchar_t signaturePath[MAX_PATH];
    bool closedWhileStarting;            // no signature file: the dialog closed itself in WM_INITDIALOG
    RunSettings settings;                // as the dialog started with them
};

// Reset to its defaults (zero, but for the settings) at start and again
// whenever a main dialog initialises.
extern AppState g_app;

// lParam of WM_INITDIALOG: a const StartupInputs*, or 0 for the process's own.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Empties the title box and the extension list, then shows what currentPath is.
void ExamineCurrentFile(HWND dialog);

// The last step of Rename: moves `from` to `to` but never onto an existing
// file. A target that came into being after Rename tested for it gets the
// same warning as one that was there before; any other failure is shown
// with the system's message for it.
void MoveUnlessTaken(HWND dialog, const wchar_t* from, const wchar_t* to);
