#include "names.h"

#include "file_names.h"

#include <algorithm>

namespace {

using Char = NativeString::value_type;

Char FoldAscii(Char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

bool EndsWithFolded(const NativeString& text, const NativeString& suffix)
{
    if (suffix.size() > text.size())
        return false;
    return SameExtension(text.substr(text.size() - suffix.size()), suffix);
}

} // namespace

NativeString CurrentExtension(const std::filesystem::path& path)
{
    const NativeString name = path.filename().native();
    return name.substr(ExtensionStart(name));
}

bool SameExtension(const NativeString& a, const NativeString& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](Char x, Char y) { return FoldAscii(x) == FoldAscii(y); });
}

bool HasExtensionAmong(const std::filesystem::path& path, const std::vector<NativeString>& extensions)
{
    const NativeString current = CurrentExtension(path);
    return !current.empty() && std::any_of(extensions.begin(), extensions.end(),
                                           [&](const NativeString& e) { return SameExtension(current, e); });
}

bool IsUsableExtension(const NativeString& extension)
{
    if (extension.size() < 2 || extension[0] != Char('.'))
        return false;
    return !HasUnsafeNameCharacter(extension) && extension.find_first_not_of(Char('.')) != NativeString::npos;
}

std::filesystem::path RenameTarget(const std::filesystem::path& path, const NativeString& extension)
{
    const NativeString name = path.filename().native();
    const NativeString stem = name.substr(0, ExtensionStart(name));
    NativeString renamed = EndsWithFolded(stem, extension) ? stem : stem + extension;
    return path.parent_path() / renamed;
}
