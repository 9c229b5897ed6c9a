#include "escaping.h"

#include "ascii.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendHexEscape(std::string& out, unsigned char byte)
{
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0xF];
}

bool IsControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

void AppendUnicodeEscape(std::string& out, unsigned unit)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", unit);
    out += buffer;
}

// Length of the valid UTF-8 sequence at the start of `s`, 0 if there is none.
std::size_t ValidUtf8Length(std::string_view s, char32_t& decoded)
{
    const auto b0 = static_cast<unsigned char>(s[0]);
    std::size_t length;
    char32_t min;
    if (b0 < 0x80) {
        decoded = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2, min = 0x80, decoded = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, min = 0x800, decoded = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, decoded = b0 & 0x07;
    } else {
        return 0;
    }
    if (s.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        decoded = (decoded << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (decoded < min || decoded > 0x10FFFF || (decoded >= 0xD800 && decoded <= 0xDFFF))
        return 0;
    return length;
}

void AppendJsonChar(std::string& out, char32_t c)
{
    switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    if (c < 0x20 || c == 0x7F)
        AppendUnicodeEscape(out, static_cast<unsigned>(c));
    else
        AppendUtf8(out, c);
}

// Walks UTF-16, handing each code point, or each unpaired surrogate, to `emit`.
template <class Emit>
void ForEachUtf16(std::wstring_view text, Emit emit)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<char32_t>(static_cast<std::uint16_t>(text[i]));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            const auto next = static_cast<char32_t>(static_cast<std::uint16_t>(text[i + 1]));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                emit(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), false);
                ++i;
                continue;
            }
        }
        emit(unit, unit >= 0xD800 && unit <= 0xDFFF);
    }
}

// The one escaper of control characters (C0 and DEL): each becomes \xNN.
// With `quoting`, the text is meant to stand between quotes: a quote and a
// backslash get a backslash, and the three controls a reader knows by sight
// keep their short names.
void AppendEscapingControls(std::string& out, std::string_view text, bool quoting)
{
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (quoting && (c == '"' || c == '\\')) {
            out += '\\';
            out += c;
        } else if (quoting && (c == '\n' || c == '\t' || c == '\r')) {
            out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
        } else if (b < 0x20 || b == 0x7F) {
            AppendHexEscape(out, b);
        } else {
            out += c;
        }
    }
}

} // namespace

std::string JsonString(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    while (!bytes.empty()) {
        // Printable ASCII other than the quote and the backslash goes out as it is, a run at a time.
        const auto plain = std::find_if(bytes.begin(), bytes.end(), [](char ch) {
            return ch < 0x20 || ch >= 0x7F || ch == '"' || ch == '\\';
        });
        out.append(bytes.begin(), plain);
        bytes.remove_prefix(static_cast<std::size_t>(plain - bytes.begin()));
        if (bytes.empty())
            break;
        char32_t c = 0;
        std::size_t length = ValidUtf8Length(bytes, c);
        if (length == 0) {
            AppendUnicodeEscape(out, 0xDC00u + static_cast<unsigned char>(bytes[0]));
            length = 1;
        } else {
            AppendJsonChar(out, c);
        }
        bytes.remove_prefix(length);
    }
    out += '"';
    return out;
}

std::string JsonString(std::wstring_view utf16)
{
    std::string out = "\"";
    ForEachUtf16(utf16, [&](char32_t c, bool unpaired) {
        if (unpaired)
            AppendUnicodeEscape(out, static_cast<unsigned>(c));
        else
            AppendJsonChar(out, c);
    });
    out += '"';
    return out;
}

std::string DisplayText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t c = 0;
        std::size_t length = ValidUtf8Length(bytes, c);
        if (length == 0 || IsControl(c)) {
            length = std::max<std::size_t>(length, 1);
            for (std::size_t i = 0; i < length; ++i)
                AppendHexEscape(out, static_cast<unsigned char>(bytes[i]));
        } else if (c == '\\' && bytes.size() >= 4 && bytes[1] == 'x' && IsHexDigit(bytes[2]) && IsHexDigit(bytes[3])) {
            AppendHexEscape(out, '\\');
        } else {
            out.append(bytes.substr(0, length));
        }
        bytes.remove_prefix(length);
    }
    return out;
}

std::string DisplayText(std::wstring_view utf16)
{
    std::string out;
    ForEachUtf16(utf16, [&](char32_t c, bool unpaired) { AppendUtf8(out, unpaired ? 0xFFFD : c); });
    return DisplayText(std::string_view(out));
}

std::string WithoutControls(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendEscapingControls(out, text, false);
    return out;
}

std::string QuotedText(std::string_view text)
{
    std::string out = "\"";
    AppendEscapingControls(out, text, true);
    out += '"';
    return out;
}
