// How the bytes of a title or an extension are read. tinyxml2 converts no
// encoding, so a signature file saved in UTF-8 (Notepad's default) and one
// saved in the ANSI code page (Shift_JIS on a Japanese system) hand us
// different bytes for the same text; both programs read them by one rule.
#pragma once

#include <string>
#include <string_view>

// Valid UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF)
// holding at least one byte outside ASCII. A Shift_JIS or CP1252 text almost
// never is, so a file in the ANSI code page keeps its old reading.
bool IsNonAsciiUtf8(std::string_view text);

// The text in UTF-8. Non-ASCII UTF-8 and plain ASCII stay as they are. Any
// other text is read in the ANSI code page on Windows; elsewhere in
// `declaredEncoding` (the signature file's XML declaration), and left as it
// is when none is named or the bytes do not fit it, for the output's escaping
// to show.
std::string SignatureTextAsUtf8(std::string_view text, const std::string& declaredEncoding);
