#include "file_names.h"

#include "ascii.h"

#include <algorithm>
#include <type_traits>

namespace {

using Char = NativeString::value_type;

bool EndsWithFolded(const NativeString& text, const NativeString& suffix)
{
    if (suffix.size() > text.size())
        return false;
    return SameExtension(text.substr(text.size() - suffix.size()), suffix);
}

} // namespace

std::size_t ExtensionStart(const NativeString& name)
{
    const std::size_t dot = name.rfind(Char('.'));
    if (dot == 0 || dot == name.npos || name.find(Char(' '), dot) != name.npos)
        return name.size();
    return dot;
}

NativeString CurrentExtension(const std::filesystem::path& path)
{
    const NativeString name = path.filename().native();
    return name.substr(ExtensionStart(name));
}

bool SameExtension(const NativeString& a, const NativeString& b)
{
    return EqualIgnoringAsciiCase<Char>(a, b);
}

bool HasExtensionAmong(const std::filesystem::path& path, const std::vector<NativeString>& extensions)
{
    const NativeString current = CurrentExtension(path);
    return !current.empty() && std::any_of(extensions.begin(), extensions.end(),
                                           [&](const NativeString& e) { return SameExtension(current, e); });
}

bool HasUnsafeNameCharacter(const NativeString& text)
{
    return std::any_of(text.begin(), text.end(), [](Char c) {
        // Unsigned: on POSIX the bytes of a UTF-8 name are no control characters.
        const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
        return unit < 0x20 || unit == 0x7F || c == Char('/') || c == Char('\\') || c == Char(':');
    });
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
