// The console program: detection runs from the command line.
#pragma once

#include "detection.h"

#include <cstdio>
#include <filesystem>
#include <vector>

// The console program's exit status. --lint uses its own (see lint_command.h), and
// OutputFailed as well. Of several that apply, OutputFailed wins (then not
// even the report is whole), then RenameFailed, then RenameKept, then Unreadable.
enum class CliExit : int {
    Examined = 0,      // every path was examined and every rename done
    Unreadable = 1,    // at least one path could not be read
    Usage = 2,         // bad arguments, or no signature file to work with
    OutputFailed = 3,  // the output could not be written whole: what it lacks was not reported
    RenameFailed = 4,  // at least one rename failed: a file keeps a name it was to lose
    // At least one rename was not done because its target exists or its
    // type's extension cannot be used: the file was kept as it was, safely,
    // but a script that asked for renames must not take it as done.
    RenameKept = 5,
};

// `args` are the arguments after the program's name, in the platform's native
// encoding (UTF-16 on Windows, bytes elsewhere); `settings` are the
// environment's, read by main.
int RunCli(const std::vector<std::filesystem::path>& args, const RunSettings& settings, std::FILE* out,
           std::FILE* err);
