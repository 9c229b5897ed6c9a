// The words Windows has for a system error code, for messages in UTF-8.
#pragma once

#include <string>

// Built for Windows only. The system's text for a Win32 error code in the
// user's language, without the full stop and line break it ends with, or
// "error N" where the system has none.
std::string Win32ErrorText(unsigned long code);
