// The console program: detection runs from the command line.
#pragma once

#include <cstdio>
#include <filesystem>
#include <vector>

enum CliExit {
    ExitExamined = 0,    // every path was examined
    ExitUnreadable = 1,  // at least one path could not be read
    ExitUsage = 2,       // bad arguments, or no signature file to work with
};

// `args` are the arguments after the program's name, in the platform's native
// encoding (UTF-16 on Windows, bytes elsewhere).
int RunCli(const std::vector<std::filesystem::path>& args, std::FILE* out, std::FILE* err);
