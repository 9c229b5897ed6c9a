// What the console program needs of the system beyond detection.
#pragma once

#include "names.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

enum class RenameResult { Renamed, TargetExists, Failed };

// Moves `from` to `to` on the same volume and never replaces an existing
// `to`, even one that appears between a check and the move.
RenameResult RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error);

// A signature text (an extension) as a native file-name string: bytes on
// POSIX; on Windows read in the ANSI code page, as the dialog shows it.
NativeString NativeFromSignatureText(std::string_view text);

bool IsTerminal(std::FILE* stream);
