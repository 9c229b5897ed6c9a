// Entry point of Kindsniffer.exe.
#include "main_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The dialog reads the wide command line and the executable path itself.
    return RunApplication(instance, nullptr);
}
