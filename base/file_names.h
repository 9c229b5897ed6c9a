// File names and extensions, by the one rule that both programs' renames
// follow: a name's extension runs from its last period to the end, unless a
// space follows that period ("minutes.june final" has none) or that period
// is the name's first and only one (".hidden" is a name, not an extension).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

using NativeString = std::filesystem::path::string_type;

// Where a file name's extension starts: at its period, or the name's length
// when it has none.
std::size_t ExtensionStart(const NativeString& name);

// The extension of the path's last component, period included; empty if none.
NativeString CurrentExtension(const std::filesystem::path& path);

// ASCII letters compare without regard to case; everything else exactly.
bool SameExtension(const NativeString& a, const NativeString& b);

bool HasExtensionAmong(const std::filesystem::path& path, const std::vector<NativeString>& extensions);

// Whether `text`, put on a file name as its extension, holds a character
// that could take the file out of its folder or confuse the system: a path
// separator, a drive colon or a control character.
bool HasUnsafeNameCharacter(const NativeString& text);

// An extension that is safe to put on a file name: a leading period, more
// than that, and no unsafe character.
bool IsUsableExtension(const NativeString& extension);

// The path with its extension replaced by `extension`. Where the name
// already carries that extension before a wrong one ("photo.png.jpg" for a
// PNG), the wrong one is dropped rather than the right one doubled.
std::filesystem::path RenameTarget(const std::filesystem::path& path, const NativeString& extension);
