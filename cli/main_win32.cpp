#include "cli.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

// wmain: the arguments arrive as UTF-16, so no name outside the ANSI code page is lost.
int wmain(int argc, wchar_t** argv)
{
    // Output is UTF-8 with plain line feeds, the same bytes as on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);

    std::vector<std::filesystem::path> args(argv + 1, argv + argc);
    return RunCli(args, stdout, stderr);
}
