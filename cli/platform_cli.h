// What the console program needs of the system beyond detection.
#pragma once

#include "file_names.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// The system's words for an error of the file layer, in UTF-8 without a
// trailing period or line break. A system code is put in the platform's own
// words; a portable one (std::errc) in the C library's.
std::string SystemErrorText(const std::error_code& error);

// An extension, already made UTF-8 by SignatureTextAsUtf8, as a native
// file-name string: bytes on POSIX, UTF-16 on Windows.
NativeString NativeFromSignatureText(std::string_view text);

bool IsTerminal(std::FILE* stream);

// Windows programs expand their own wildcards: each argument whose last
// component holds * or ? becomes the names it matches, sorted by name, or
// stays as it is when it matches none. Elsewhere the shell has done it, and
// the arguments come back unchanged.
std::vector<std::filesystem::path> ExpandWildcards(const std::vector<std::filesystem::path>& args);

// "/?" asks a Windows program for its help; elsewhere it is a path.
bool IsPlatformHelpRequest(const std::filesystem::path& arg);
