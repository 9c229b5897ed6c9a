#include "file_names.h"

#include <algorithm>
#include <type_traits>

bool HasUnsafeNameCharacter(const std::filesystem::path::string_type& text)
{
    using Char = std::filesystem::path::value_type;
    return std::any_of(text.begin(), text.end(), [](Char c) {
        // Unsigned: on POSIX the bytes of a UTF-8 name are no control characters.
        const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
        return unit < 0x20 || unit == 0x7F || c == Char('/') || c == Char('\\') || c == Char(':');
    });
}

std::size_t ExtensionStart(const std::filesystem::path::string_type& name)
{
    using Char = std::filesystem::path::value_type;
    const std::size_t dot = name.rfind(Char('.'));
    if (dot == 0 || dot == name.npos || name.find(Char(' '), dot) != name.npos)
        return name.size();
    return dot;
}
