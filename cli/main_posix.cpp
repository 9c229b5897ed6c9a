#include "cli.h"

#include <csignal>

int main(int argc, char** argv)
{
    // A reader that has gone (`| head -1`) must make a write fail, not end the
    // process: only then are the renames already done told on stderr, and the
    // exit status says the output was lost.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::filesystem::path> args(argv + 1, argv + argc);
    return RunCli(args, RunSettingsFromEnvironment(), stdout, stderr);
}
