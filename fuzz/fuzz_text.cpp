// The console program's escaping of arbitrary bytes: JSON strings must be
// valid UTF-8 JSON that gives the bytes back (as Python's surrogateescape
// does), and table text must hold no control character and decode back to
// the bytes.
#include "fuzz_support.h"

#include "escaping.h"

#include <algorithm>
#include <optional>

namespace {

// Decodes one UTF-8 sequence at `at`; empty when the bytes there are not UTF-8.
std::optional<char32_t> DecodeUtf8(std::string_view s, std::size_t& at)
{
    const auto b0 = static_cast<unsigned char>(s[at]);
    std::size_t length = b0 < 0x80 ? 1 : b0 >= 0xC2 && b0 < 0xE0 ? 2 : b0 >= 0xE0 && b0 < 0xF0 ? 3 : b0 >= 0xF0 && b0 < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > s.size())
        return std::nullopt;
    char32_t c = length == 1 ? b0 : b0 & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(s[at + i]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    at += length;
    return c;
}

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

int HexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

unsigned Hex4(std::string_view s, std::size_t at)
{
    FUZZ_CHECK(at + 4 <= s.size());
    unsigned value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        FUZZ_CHECK(HexValue(s[i]) >= 0);
        value = value * 16 + static_cast<unsigned>(HexValue(s[i]));
    }
    return value;
}

// A JSON string literal read back as a strict reader would, lone \udcXX
// escapes turning into the byte XX.
std::string ReadJsonString(std::string_view json)
{
    FUZZ_CHECK(json.size() >= 2 && json.front() == '"' && json.back() == '"');
    std::string bytes;
    for (std::size_t i = 1; i + 1 < json.size();) {
        const char c = json[i];
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != '"');
        if (c != '\\') {
            const auto decoded = DecodeUtf8(json, i);
            FUZZ_CHECK(decoded.has_value());
            AppendUtf8(bytes, *decoded);
            continue;
        }
        FUZZ_CHECK(i + 2 < json.size());
        const char kind = json[i + 1];
        i += 2;
        switch (kind) {
        case '"': bytes += '"'; break;
        case '\\': bytes += '\\'; break;
        case '/': bytes += '/'; break;
        case 'b': bytes += '\b'; break;
        case 'f': bytes += '\f'; break;
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 't': bytes += '\t'; break;
        case 'u': {
            unsigned unit = Hex4(json, i);
            i += 4;
            if (unit >= 0xD800 && unit <= 0xDBFF && json.substr(i, 2) == "\\u") {
                const unsigned low = Hex4(json, i + 2);
                FUZZ_CHECK(low >= 0xDC00 && low <= 0xDFFF);
                AppendUtf8(bytes, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 6;
            } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
                bytes += static_cast<char>(unit - 0xDC00);
            } else {
                FUZZ_CHECK(unit < 0xD800 || unit > 0xDFFF);
                AppendUtf8(bytes, unit);
            }
            break;
        }
        default: FUZZ_CHECK(false);
        }
    }
    return bytes;
}

// Table text: printable UTF-8 only, and \xNN back to the byte NN.
std::string ReadDisplayText(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && HexValue(text[i + 2]) >= 0
            && HexValue(text[i + 3]) >= 0) {
            bytes += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
            i += 4;
            continue;
        }
        const std::size_t start = i;
        const auto decoded = DecodeUtf8(text, i);
        FUZZ_CHECK(decoded.has_value());
        FUZZ_CHECK(*decoded >= 0x20 && !(*decoded >= 0x7F && *decoded < 0xA0));
        bytes.append(text.substr(start, i - start));
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = AsText(data, size);
    FUZZ_CHECK(ReadJsonString(JsonString(bytes)) == bytes);
    FUZZ_CHECK(ReadDisplayText(DisplayText(bytes)) == bytes);
    const std::string shown = WithoutControls(bytes);
    FUZZ_CHECK(std::none_of(shown.begin(), shown.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }));

    // The same bytes as UTF-16 units, as Windows hands names over: whatever
    // the units, the output is printable UTF-8 and valid JSON.
    std::wstring wide;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        wide += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    ReadDisplayText(DisplayText(wide));
    const std::string json = JsonString(wide);
    std::size_t at = 0;
    while (at < json.size())
        FUZZ_CHECK(DecodeUtf8(json, at).has_value());
    return 0;
}
