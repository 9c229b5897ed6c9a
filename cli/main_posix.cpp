#include "cli.h"

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> args(argv + 1, argv + argc);
    return RunCli(args, stdout, stderr);
}
