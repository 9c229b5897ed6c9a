// The files a command line names: each path as given, and with -r the files
// in its folders, in name order.
#pragma once

#include "options.h"

#include <cstdio>
#include <filesystem>
#include <vector>

// A folder that cannot be listed (or, with -L, resolved) is named on `err`
// and listed itself, so that it is reported as unreadable.
std::vector<std::filesystem::path> CollectFiles(const CliOptions& options, std::FILE* err);
