// A title's or an extension's bytes as UTF-8 on Windows, through the ANSI code page.
#include "signatures/signature_text.h"

#include <windows.h>

std::string SignatureTextAsUtf8(std::string_view text, const std::string&)
{
    if (text.empty() || IsNonAsciiUtf8(text))
        return std::string(text);
    const int size = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), units);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}
