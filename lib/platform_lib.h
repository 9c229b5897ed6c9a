// What the C library asks of the platform beyond the core: paths in UTF-8,
// the system's error codes and their messages, and the library's own folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

// A path handed over in UTF-8. Empty when it is not well-formed UTF-8 and the
// platform's paths are wide, so that no other file is opened in its stead.
std::optional<std::filesystem::path> PathFromUtf8(std::string_view utf8);

// The code a caller of the system knows: errno on POSIX, a Win32 error code
// on Windows (the core's portable codes for a folder, a file that is no
// regular one and a failed read become their Win32 kin).
int SystemCode(const std::error_code& error);

// The system's message for it, in UTF-8, without a trailing period or line end.
std::string SystemMessage(const std::error_code& error);

// The code and message for a path that is no well-formed UTF-8.
std::error_code BadPathError();

// The folder of the library's own file; empty when the system will not say.
std::filesystem::path LibraryFolder();
