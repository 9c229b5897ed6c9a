// What the console program needs of the system beyond detection.
#pragma once

#include "names.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// The system's words for an error of the file layer, in UTF-8 without a
// trailing period or line break.
std::string SystemErrorText(const std::error_code& error);

// A signature text (an extension) as a native file-name string: bytes on
// POSIX; on Windows read in the ANSI code page, as the dialog shows it.
NativeString NativeFromSignatureText(std::string_view text);

bool IsTerminal(std::FILE* stream);
