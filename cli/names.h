// File names and extensions, by the same rule as the Windows dialog's Rename:
// a name's extension runs from its last period to the end, unless a space
// follows that period ("minutes.june final" has none) or that period is the
// name's first and only one (".hidden" has none).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using NativeString = std::filesystem::path::string_type;

// The extension of the path's last component, period included; empty if none.
NativeString CurrentExtension(const std::filesystem::path& path);

// ASCII letters compare without regard to case; everything else exactly.
bool SameExtension(const NativeString& a, const NativeString& b);

bool HasExtensionAmong(const std::filesystem::path& path, const std::vector<NativeString>& extensions);

// An extension that is safe to put on a file name: a leading period, more
// than that, and nothing that would leave the folder or confuse the system
// (separators, drive colons, control characters).
bool IsUsableExtension(const NativeString& extension);

// The path with its extension replaced by `extension`. Where the name
// already carries that extension before a wrong one ("photo.png.jpg" for a
// PNG), the wrong one is dropped rather than the right one doubled.
std::filesystem::path RenameTarget(const std::filesystem::path& path, const NativeString& extension);
