// Entry point of Kindsniffer.exe.
#include "message_loop.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The dialog reads the wide command line and the executable path itself.
    return RunApplication(instance, nullptr);
}
