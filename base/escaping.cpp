#include "escaping.h"

#include "ascii.h"
#include "unicode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

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
        std::size_t length = DecodeUtf8(bytes, c);
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
        std::size_t length = DecodeUtf8(bytes, c);
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
