#include "cli.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

// The console's own output code page, given back on every way out: the
// console outlives us, and the next program in it expects its own.
UINT g_consoleCodePage = 0;

BOOL WINAPI RestoreCodePageOnBreak(DWORD)
{
    if (g_consoleCodePage != 0)
        SetConsoleOutputCP(g_consoleCodePage);
    return FALSE;  // and let the default handler end the process
}

struct CodePageRestorer {
    ~CodePageRestorer()
    {
        if (g_consoleCodePage != 0)
            SetConsoleOutputCP(g_consoleCodePage);
    }
};

} // namespace

// wmain: the arguments arrive as UTF-16, so no name outside the ANSI code page is lost.
int wmain(int argc, wchar_t** argv)
{
    // Output is UTF-8 with plain line feeds, the same bytes as on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    g_consoleCodePage = GetConsoleOutputCP();  // 0 without a console: nothing to give back
    CodePageRestorer restorer;
    SetConsoleCtrlHandler(RestoreCodePageOnBreak, TRUE);
    if (g_consoleCodePage != 0)
        SetConsoleOutputCP(CP_UTF8);

    std::vector<std::filesystem::path> args(argv + 1, argv + argc);
    return RunCli(args, RunSettingsFromEnvironment(), stdout, stderr);
}
