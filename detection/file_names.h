// A rule on file names that both front ends' renames follow.
#pragma once

#include <filesystem>

// Whether `text`, put on a file name as its extension, holds a character
// that could take the file out of its folder or confuse the system: a path
// separator, a drive colon or a control character.
bool HasUnsafeNameCharacter(const std::filesystem::path::string_type& text);

// Where a file name's extension starts: at its last period, unless a space
// follows that period ("minutes.june final") or that period is the name's
// first and only one (".hidden" is a name, not an extension). The name's
// length when it has none.
std::size_t ExtensionStart(const std::filesystem::path::string_type& name);
