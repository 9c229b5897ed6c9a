// Kindsniffer.exe's run: the main dialog with its accelerators and message loop.
#pragma once

#include "main_dialog.h"

// Runs the dialog until it is closed, with `inputs` (null: the process's
// own). Returns the exit code: 0 after an orderly end, otherwise one of these.
constexpr int kExitNoDialog = 1;           // the dialog could not be created
constexpr int kExitMessageLoopFailed = 2;  // GetMessageW failed
int RunApplication(HINSTANCE instance, const StartupInputs* inputs);
