// Escaping for output: paths, signature texts and messages turned into bytes
// that cannot break a line, a row, a JSON document or a terminal. Both the
// console program and the linter write through it.
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

// Text for a terminal, a table row or a message: printable UTF-8 as it is;
// control characters (C0, DEL and the C1 range) and bytes that are not UTF-8
// become \xNN, one escape per byte, so that no name can start a new row or
// reach the terminal as an escape sequence. A backslash that would read as
// such an escape is itself written \x5C, so the text decodes unambiguously:
// each \xNN (two hex digits) is the byte NN, anything else stands for itself.
// Wide text is taken as UTF-16 (an unpaired surrogate shows as U+FFFD).
std::string DisplayText(std::string_view bytes);
std::string DisplayText(std::wstring_view utf16);

// Control characters (C0 and DEL) as \xNN and nothing else changed: enough to
// keep a message on its one line.
std::string WithoutControls(std::string_view text);

// A text quoted for a message, so that a reader sees where it starts and ends:
// in double quotes, a quote or a backslash inside preceded by a backslash, a
// tab, a line feed and a carriage return as \t, \n and \r, and every other
// control character as \xNN.
std::string QuotedText(std::string_view text);
