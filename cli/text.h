// Turning paths and signature texts into output bytes.
#pragma once

#include <string>
#include <string_view>

// A JSON string literal, quotes included. Narrow text is taken as UTF-8; a
// byte that is not part of a valid UTF-8 sequence becomes \udcXX (XX the
// byte), the same escape that Python's surrogateescape uses, so every line
// stays valid JSON and a reader can recover the original bytes.
std::string JsonString(std::string_view bytes);
// Wide text is UTF-16; an unpaired surrogate is written as its own \uXXXX.
std::string JsonString(std::wstring_view utf16);

// Bytes for a terminal: narrow text as it is, wide text as UTF-8 with U+FFFD
// for an unpaired surrogate.
std::string DisplayText(std::string_view bytes);
std::string DisplayText(std::wstring_view utf16);
