// Encodings of text, and the shapes of text the text tests look for.
#include "text_sample.h"

#include "magic.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr struct {
    TextEncoding encoding;
    std::string_view keyword;
    std::string_view title;
} kEncodings[] = {
    {TextEncoding::Ascii, "ascii", "ASCII"},           {TextEncoding::Utf8, "utf-8", "UTF-8"},
    {TextEncoding::Utf16Le, "utf-16le", "UTF-16LE"},   {TextEncoding::Utf16Be, "utf-16be", "UTF-16BE"},
    {TextEncoding::Iso2022Jp, "iso-2022-jp", "ISO-2022-JP"}, {TextEncoding::EucJp, "euc-jp", "EUC-JP"},
    {TextEncoding::ShiftJis, "shift_jis", "Shift_JIS"},
};

// Tab, LF, FF and CR are the only control characters plain text holds;
// ESC is allowed only where ISO-2022-JP switches its character sets.
bool PlainByte(std::uint8_t c)
{
    return (c >= 0x20 && c < 0x7F) || c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D;
}

bool InRange(std::uint8_t c, std::uint8_t low, std::uint8_t high)
{
    return c >= low && c <= high;
}

bool ValidAscii(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), PlainByte);
}

bool ValidUtf8(std::span<const std::uint8_t> bytes, bool cutBefore, bool cutAfter)
{
    std::size_t i = 0;
    // A sequence cut by the start leaves at most three continuation bytes.
    while (cutBefore && i < 3 && i < bytes.size() && InRange(bytes[i], 0x80, 0xBF))
        ++i;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        if (lead < 0x80) {
            if (!PlainByte(lead))
                return false;
            ++i;
            continue;
        }
        const std::size_t length = InRange(lead, 0xC2, 0xDF) ? 2 : InRange(lead, 0xE0, 0xEF) ? 3
                                                                 : InRange(lead, 0xF0, 0xF4) ? 4
                                                                                             : 0;
        if (length == 0)
            return false;
        // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
        const std::uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const std::uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= bytes.size())
                return cutAfter;
            if (!InRange(bytes[i + k], k == 1 ? low : 0x80, k == 1 ? high : 0xBF))
                return false;
        }
        // U+0080 to U+009F are control characters too.
        if (lead == 0xC2 && bytes[i + 1] < 0xA0)
            return false;
        i += length;
    }
    return true;
}

bool ValidUtf16(std::span<const std::uint8_t> bytes, bool bigEndian, bool cutBefore, bool cutAfter)
{
    const std::size_t units = bytes.size() / 2;
    if (bytes.size() % 2 && !cutAfter)
        return false;
    for (std::size_t u = 0; u < units; ++u) {
        const std::uint8_t a = bytes[2 * u];
        const std::uint8_t b = bytes[2 * u + 1];
        const std::uint16_t unit = bigEndian ? static_cast<std::uint16_t>(a << 8 | b) : static_cast<std::uint16_t>(b << 8 | a);
        if (unit < 0x80) {
            if (!PlainByte(static_cast<std::uint8_t>(unit)))
                return false;
        } else if (unit < 0xA0 || unit == 0xFFFE || unit == 0xFFFF) {
            return false;
        } else if (unit >= 0xD800 && unit < 0xDC00) {
            if (u + 1 == units)
                return cutAfter;
            const std::size_t n = 2 * (u + 1);
            const std::uint16_t next = bigEndian ? static_cast<std::uint16_t>(bytes[n] << 8 | bytes[n + 1])
                                                 : static_cast<std::uint16_t>(bytes[n + 1] << 8 | bytes[n]);
            if (next < 0xDC00 || next >= 0xE000)
                return false;
            ++u;
        } else if (unit >= 0xDC00 && unit < 0xE000 && !(u == 0 && cutBefore)) {
            return false;
        }
    }
    return true;
}

// Mostly 7-bit text that switches between ASCII (or JIS Roman, or half-width
// kana) and two-byte JIS X 0208/0212/0213 with escape sequences.
bool ValidIso2022Jp(std::span<const std::uint8_t> bytes, bool cutAfter)
{
    enum class Set { Single, Kana, Double } set = Set::Single;
    static constexpr std::array<std::pair<std::string_view, Set>, 9> kEscapes{{
        {"(B", Set::Single}, {"(J", Set::Single}, {"(I", Set::Kana}, {"$@", Set::Double}, {"$B", Set::Double},
        {"$(D", Set::Double}, {"$(O", Set::Double}, {"$(Q", Set::Double}, {"&@", Set::Single},
    }};
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t c = bytes[i];
        if (c == 0x1B) {
            const std::string_view rest(reinterpret_cast<const char*>(bytes.data()) + i + 1, bytes.size() - i - 1);
            const auto escape = std::find_if(kEscapes.begin(), kEscapes.end(), [&](const auto& e) {
                return rest.starts_with(e.first);
            });
            if (escape == kEscapes.end())
                return cutAfter && rest.size() < 3
                    && std::any_of(kEscapes.begin(), kEscapes.end(), [&](const auto& e) { return e.first.starts_with(rest); });
            set = escape->second;
            i += 1 + escape->first.size();
            continue;
        }
        // Line ends are allowed in any set: not every writer switches back before them.
        if (c == 0x0A || c == 0x0D) {
            ++i;
            continue;
        }
        if (set == Set::Double) {
            if (!InRange(c, 0x21, 0x7E))
                return false;
            if (i + 1 == bytes.size())
                return cutAfter;
            if (!InRange(bytes[i + 1], 0x21, 0x7E))
                return false;
            i += 2;
            continue;
        }
        if (set == Set::Kana ? !InRange(c, 0x21, 0x5F) && !PlainByte(c) : !PlainByte(c))
            return false;
        ++i;
    }
    return true;
}

bool ValidEucJp(std::span<const std::uint8_t> bytes, bool cutAfter)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t c = bytes[i];
        if (c < 0x80) {
            if (!PlainByte(c))
                return false;
            ++i;
            continue;
        }
        // 8E: a half-width kana follows; 8F: a JIS X 0212 pair; A1-FE: a JIS X 0208 pair.
        const std::size_t length = c == 0x8F ? 3 : c == 0x8E || InRange(c, 0xA1, 0xFE) ? 2 : 0;
        if (length == 0)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= bytes.size())
                return cutAfter;
            if (!InRange(bytes[i + k], 0xA1, c == 0x8E ? 0xDF : 0xFE))
                return false;
        }
        i += length;
    }
    return true;
}

// Code page 932: single bytes are ASCII and half-width kana (A1-DF); lead
// bytes 81-9F and E0-FC take a trail byte 40-7E or 80-FC.
bool ValidShiftJis(std::span<const std::uint8_t> bytes, bool cutAfter)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t c = bytes[i];
        if (c < 0x80) {
            if (!PlainByte(c))
                return false;
            ++i;
        } else if (InRange(c, 0xA1, 0xDF)) {
            ++i;
        } else if (InRange(c, 0x81, 0x9F) || InRange(c, 0xE0, 0xFC)) {
            if (i + 1 == bytes.size())
                return cutAfter;
            const std::uint8_t trail = bytes[i + 1];
            if (!InRange(trail, 0x40, 0x7E) && !InRange(trail, 0x80, 0xFC))
                return false;
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> prefix)
{
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

} // namespace

std::string_view TextEncodingKeyword(TextEncoding encoding)
{
    return kEncodings[static_cast<int>(encoding)].keyword;
}

std::string_view TextEncodingTitle(TextEncoding encoding)
{
    return kEncodings[static_cast<int>(encoding)].title;
}

std::optional<TextEncoding> TextEncodingFromKeyword(std::string_view keyword)
{
    for (const auto& e : kEncodings) {
        if (e.keyword == keyword)
            return e.encoding;
    }
    return std::nullopt;
}

bool ValidText(TextEncoding encoding, std::span<const std::uint8_t> bytes, bool cutBefore, bool cutAfter)
{
    // Of a multi-byte character cut by the start, one or two bytes may be
    // left: the check starts at each place a character might begin.
    auto fromAnyStart = [&](std::size_t most, auto valid) {
        for (std::size_t skip = 0; skip <= (cutBefore ? most : 0) && skip <= bytes.size(); ++skip) {
            if (valid(bytes.subspan(skip)))
                return true;
        }
        return false;
    };
    switch (encoding) {
    case TextEncoding::Ascii:
        return ValidAscii(bytes);
    case TextEncoding::Utf8:
        return ValidUtf8(bytes, cutBefore, cutAfter);
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be:
        return ValidUtf16(bytes, encoding == TextEncoding::Utf16Be, cutBefore, cutAfter);
    case TextEncoding::Iso2022Jp:
        // Cut out of a two-byte run, the pairs still read as printable ASCII.
        return fromAnyStart(3, [&](auto b) { return ValidIso2022Jp(b, cutAfter); });
    case TextEncoding::EucJp:
        return fromAnyStart(2, [&](auto b) { return ValidEucJp(b, cutAfter); });
    case TextEncoding::ShiftJis:
        return fromAnyStart(1, [&](auto b) { return ValidShiftJis(b, cutAfter); });
    }
    return false;
}

std::optional<TextEncoding> ClassifyText(const TextSampleBytes& sample)
{
    const std::span<const std::uint8_t> head = sample.head;
    if (head.empty())
        return std::nullopt;
    const bool headCut = sample.fileSize > head.size();
    std::span<const std::uint8_t> tail = sample.tail;
    auto fits = [&](TextEncoding encoding, std::span<const std::uint8_t> body) {
        return ValidText(encoding, body, false, headCut) && (tail.empty() || ValidText(encoding, tail, true, false));
    };
    if (StartsWith(head, {0xEF, 0xBB, 0xBF}))
        return fits(TextEncoding::Utf8, head.subspan(3)) ? std::optional(TextEncoding::Utf8) : std::nullopt;
    const bool little = StartsWith(head, {0xFF, 0xFE});
    if (little || StartsWith(head, {0xFE, 0xFF})) {
        // The tail is read in whole code units, counted from the file's start.
        if (!tail.empty() && (sample.fileSize - tail.size()) % 2)
            tail = tail.subspan(1);
        const TextEncoding encoding = little ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
        return fits(encoding, head.subspan(2)) ? std::optional(encoding) : std::nullopt;
    }
    for (TextEncoding encoding : {TextEncoding::Ascii, TextEncoding::Utf8, TextEncoding::Iso2022Jp,
                                  TextEncoding::EucJp, TextEncoding::ShiftJis}) {
        if (fits(encoding, head))
            return encoding;
    }
    return std::nullopt;
}

std::string TextView(std::span<const std::uint8_t> head, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8 && StartsWith(head, {0xEF, 0xBB, 0xBF}))
        head = head.subspan(3);
    if (encoding != TextEncoding::Utf16Le && encoding != TextEncoding::Utf16Be)
        return std::string(head.begin(), head.end());
    const bool big = encoding == TextEncoding::Utf16Be;
    std::u16string units;
    for (std::size_t i = 2; i + 1 < head.size(); i += 2)
        units.push_back(static_cast<char16_t>(big ? (head[i] << 8 | head[i + 1]) : (head[i + 1] << 8 | head[i])));
    // A pair cut by the sample's end is left out rather than shown as U+FFFD.
    if (!units.empty() && units.back() >= 0xD800 && units.back() < 0xDC00)
        units.pop_back();
    return Utf8FromUtf16(units);
}

namespace {

// A JSON reader that tells a fault from running out of text.
enum class Json { Ok, Bad, Out };
constexpr int kJsonDepth = 512;

struct JsonReader {
    std::string_view s;
    std::size_t i = 0;

    Json Space()
    {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
            ++i;
        return i < s.size() ? Json::Ok : Json::Out;
    }

    Json Literal(std::string_view word)
    {
        for (char c : word) {
            if (i == s.size())
                return Json::Out;
            if (s[i++] != c)
                return Json::Bad;
        }
        return Json::Ok;
    }

    Json String()
    {
        ++i;  // the opening quote
        while (i < s.size()) {
            const auto c = static_cast<unsigned char>(s[i++]);
            if (c == '"')
                return Json::Ok;
            if (c < 0x20)
                return Json::Bad;
            if (c != '\\')
                continue;
            if (i == s.size())
                return Json::Out;
            const char e = s[i++];
            if (e == 'u') {
                for (int k = 0; k < 4; ++k, ++i) {
                    if (i == s.size())
                        return Json::Out;
                    if (!std::isxdigit(static_cast<unsigned char>(s[i])))
                        return Json::Bad;
                }
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                return Json::Bad;
            }
        }
        return Json::Out;
    }

    Json Digits(bool required)
    {
        const std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        if (i == s.size())
            return Json::Out;
        return required && i == start ? Json::Bad : Json::Ok;
    }

    Json Number()
    {
        if (s[i] == '-' && ++i == s.size())
            return Json::Out;
        if (s[i] == '0') {
            if (++i == s.size())
                return Json::Out;
        } else if (Json r = Digits(true); r != Json::Ok) {
            return r;
        }
        if (s[i] == '.') {
            ++i;
            if (Json r = Digits(true); r != Json::Ok)
                return r;
        }
        if (s[i] == 'e' || s[i] == 'E') {
            if (++i == s.size())
                return Json::Out;
            if (s[i] == '+' || s[i] == '-')
                ++i;
            if (Json r = Digits(true); r != Json::Ok)
                return r;
        }
        return Json::Ok;
    }

    Json Value(int depth)
    {
        if (Json r = Space(); r != Json::Ok)
            return r;
        const char c = s[i];
        if (c == '{' || c == '[')
            return depth < kJsonDepth ? Container(depth + 1) : Json::Bad;
        if (c == '"')
            return String();
        if (c == 't')
            return Literal("true");
        if (c == 'f')
            return Literal("false");
        if (c == 'n')
            return Literal("null");
        if (c == '-' || (c >= '0' && c <= '9'))
            return Number();
        return Json::Bad;
    }

    Json Container(int depth)
    {
        const bool object = s[i++] == '{';
        const char close = object ? '}' : ']';
        if (Json r = Space(); r != Json::Ok)
            return r;
        if (s[i] == close) {
            ++i;
            return Json::Ok;
        }
        for (;;) {
            if (object) {
                if (Json r = Space(); r != Json::Ok)
                    return r;
                if (s[i] != '"')
                    return Json::Bad;
                if (Json r = String(); r != Json::Ok)
                    return r;
                if (Json r = Space(); r != Json::Ok)
                    return r;
                if (s[i++] != ':')
                    return Json::Bad;
            }
            if (Json r = Value(depth); r != Json::Ok)
                return r;
            if (Json r = Space(); r != Json::Ok)
                return r;
            const char next = s[i++];
            if (next == close)
                return Json::Ok;
            if (next != ',')
                return Json::Bad;
        }
    }
};

bool XmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameStart(unsigned char c)
{
    return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c)
{
    return IsNameStart(c) || std::isdigit(c) || c == '-' || c == '.';
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

bool JsonHolds(std::string_view view, bool cut)
{
    JsonReader reader{view};
    if (reader.Space() != Json::Ok || (view[reader.i] != '{' && view[reader.i] != '['))
        return false;
    const Json value = reader.Value(0);
    if (value == Json::Out)
        return cut;
    if (value == Json::Bad)
        return false;
    return reader.Space() == Json::Out;
}

std::optional<std::string> XmlRootName(std::string_view view)
{
    std::size_t i = 0;
    for (;;) {
        while (i < view.size() && XmlSpace(view[i]))
            ++i;
        const std::string_view rest = view.substr(i);
        if (rest.starts_with("<?") || rest.starts_with("<!--")) {
            const std::string_view end = rest[1] == '?' ? "?>" : "-->";
            const std::size_t found = rest.find(end, 2);
            if (found == std::string_view::npos)
                return std::nullopt;
            i += found + end.size();
        } else if (StartsWithNoCase(rest, "<!DOCTYPE")) {
            // The internal subset in brackets may hold '>' of its own declarations.
            std::size_t k = 9;
            int depth = 0;
            char quote = 0;
            for (; k < rest.size(); ++k) {
                const char c = rest[k];
                if (quote) {
                    quote = c == quote ? 0 : quote;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    --depth;
                } else if (c == '>' && depth <= 0) {
                    break;
                }
            }
            if (k == rest.size())
                return std::nullopt;
            i += k + 1;
        } else if (rest.size() > 1 && rest[0] == '<' && IsNameStart(static_cast<unsigned char>(rest[1]))) {
            std::size_t k = 1;
            while (k < rest.size() && IsNameChar(static_cast<unsigned char>(rest[k])))
                ++k;
            if (k == rest.size() || !(XmlSpace(rest[k]) || rest[k] == '>' || rest[k] == '/'))
                return std::nullopt;
            return std::string(rest.substr(1, k - 1));
        } else {
            return std::nullopt;
        }
    }
}

bool TableHolds(std::string_view view, char delimiter, bool cut)
{
    std::vector<std::size_t> counts;
    // Which columns hold text in some row: a delimiter that only opens or
    // closes each line (";" before assembler comments, after statements) makes
    // one column of text, and that is no table.
    std::vector<bool> columnHasText;
    std::size_t count = 0;
    bool quoted = false;
    bool fieldStart = true;
    bool fieldHasText = false;
    bool rowHasText = false;
    bool commented = false;
    auto endField = [&] {
        if (fieldHasText) {
            if (columnHasText.size() <= count)
                columnHasText.resize(count + 1);
            columnHasText[count] = true;
        }
        fieldHasText = false;
    };
    for (std::size_t i = 0; i < view.size() && counts.size() < kTableRows; ++i) {
        const char c = view[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < view.size() && view[i + 1] == '"')
                    ++i;
                else
                    quoted = false;
            }
            continue;
        }
        // Data files often open with "#" lines that say what the columns are.
        if (c == '#' && counts.empty() && !rowHasText) {
            const std::size_t end = view.find('\n', i);
            if (end == std::string_view::npos)
                break;
            i = end;
            commented = true;
            continue;
        }
        if (c == '\n') {
            // Blank rows (a file's last line end doubled, a gap between blocks) are no rows.
            endField();
            if (rowHasText)
                counts.push_back(count);
            count = 0;
            fieldStart = true;
            rowHasText = false;
            continue;
        }
        rowHasText = rowHasText || c != '\r';
        if (c == delimiter) {
            endField();
            ++count;
            fieldStart = true;
        } else if (c == '"' && fieldStart) {
            quoted = true;
            fieldStart = false;
            fieldHasText = true;
        } else if (c != '\r') {
            fieldStart = false;
            fieldHasText = fieldHasText || c != ' ';
        }
    }
    // The last row without a line end counts only when it is the file's last.
    if (counts.size() < kTableRows && !cut) {
        if (quoted)
            return false;
        endField();
        if (rowHasText)
            counts.push_back(count);
    }
    // Behind comments, rows of two columns are too common in scripts and
    // word lists ("import os, sys", "reserved:<tab>word") to tell a table.
    return counts.size() >= 2 && counts.front() >= (commented ? 2 : 1)
        && std::all_of(counts.begin(), counts.end(), [&](std::size_t n) { return n == counts.front(); })
        && std::count(columnHasText.begin(), columnHasText.end(), true) >= 2;
}

namespace {

// Calls `line` with each line of the view, without its line end, while it
// returns true; a last line cut by the view's end is not handed on.
template <typename Line>
void ForEachLine(std::string_view view, bool cut, Line line)
{
    for (std::size_t start = 0; start < view.size();) {
        std::size_t end = view.find('\n', start);
        if (end == std::string_view::npos) {
            if (cut)
                return;
            end = view.size();
        }
        std::string_view text = view.substr(start, end - start);
        if (text.ends_with('\r'))
            text.remove_suffix(1);
        if (!line(text))
            return;
        start = end + 1;
    }
}

std::string_view Trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Where the colon that ends a YAML mapping key stands, or npos when `text`
// opens with no key: a quoted key, or a plain one that starts with no
// indicator and ends at the first ": " or at a colon that ends the line. A
// plain key here holds no brackets, commas, semicolons or equals signs: YAML
// allows them, but code that ends its lines with colons holds them.
std::size_t YamlKeyEnd(std::string_view text)
{
    if (text.empty())
        return std::string_view::npos;
    std::size_t i = 0;
    if (text[0] == '"' || text[0] == '\'') {
        const std::size_t close = text.find(text[0], 1);
        if (close == std::string_view::npos)
            return std::string_view::npos;
        i = close + 1;
        while (i < text.size() && text[i] == ' ')
            ++i;
        return i < text.size() && text[i] == ':' && (i + 1 == text.size() || text[i + 1] == ' ') ? i
                                                                                                 : std::string_view::npos;
    }
    if (std::string_view("-?:,[]{}#&*!|>%@`").find(text[0]) != std::string_view::npos || text[0] == ' ')
        return std::string_view::npos;
    for (; i < text.size(); ++i) {
        if (text[i] == ':' && (i + 1 == text.size() || text[i + 1] == ' '))
            return i;
        if ((text[i] == '#' && text[i - 1] == ' ') || std::string_view("()[]{},;=").find(text[i]) != std::string_view::npos)
            return std::string_view::npos;
    }
    return std::string_view::npos;
}

// Whether `text` is "key:" with no value (a comment may follow): a nested block comes next.
bool YamlOpensBlock(std::string_view text)
{
    const std::size_t colon = YamlKeyEnd(text);
    if (colon == std::string_view::npos)
        return false;
    const std::string_view value = Trim(text.substr(colon + 1));
    return value.empty() || value[0] == '#';
}

// "- " entries of a sequence: the column where their content starts.
std::size_t YamlEntryContent(std::string_view line, std::size_t column)
{
    while (column < line.size() && line[column] == '-' && (column + 1 == line.size() || line[column + 1] == ' ')) {
        ++column;
        while (column < line.size() && line[column] == ' ')
            ++column;
    }
    return column;
}

} // namespace

bool JsonLinesHolds(std::string_view view, bool cut)
{
    std::size_t values = 0;
    bool blank = false;
    bool good = true;
    ForEachLine(view, cut, [&](std::string_view line) {
        line = Trim(line);
        if (line.empty()) {
            blank = true;
            return true;
        }
        // One value per line: a blank line between values is none of the form.
        JsonReader reader{line};
        good = !blank && (line[0] == '{' || line[0] == '[') && reader.Value(0) == Json::Ok && reader.Space() == Json::Out;
        values += good;
        return good;
    });
    return good && values >= 2;
}

bool HeaderHolds(std::string_view view, std::span<const std::string> names, bool cut)
{
    std::vector<bool> found(names.size());
    std::size_t fields = 0;
    bool good = true;
    ForEachLine(view, cut, [&](std::string_view line) {
        if (line.empty())
            return false;  // the end of the header block
        if (line[0] == ' ' || line[0] == '\t') {
            good = fields > 0;  // a folded line continues the field before it
            return good;
        }
        const std::size_t colon = line.find(':');
        const std::string_view name = line.substr(0, colon);
        good = colon != std::string_view::npos && colon > 0
            && std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
        for (std::size_t k = 0; good && k < names.size(); ++k)
            found[k] = found[k] || (name.size() == names[k].size() && StartsWithNoCase(name, names[k]));
        fields += good;
        return good;
    });
    return good && fields > 0 && std::all_of(found.begin(), found.end(), [](bool f) { return f; });
}

bool YamlHolds(std::string_view view, bool cut)
{
    constexpr std::size_t kNone = std::string_view::npos;
    // The columns at which the open blocks' lines start, outermost first.
    std::vector<std::size_t> levels{0};
    // After "key:" with no value its block may follow; after a value, deeper
    // lines continue that scalar (folded text, a block scalar, a long list).
    bool blockAwaited = false;
    std::size_t scalarColumn = kNone;
    bool started = false;
    bool nested = false;
    bool marked = false;
    bool good = true;
    ForEachLine(view, cut, [&](std::string_view line) {
        if (Trim(line).empty())
            return true;
        // YAML never indents with tabs.
        if (line[0] == '\t')
            return good = false;
        const std::size_t indent = line.find_first_not_of(' ');
        const std::string_view content = line.substr(indent);
        if (content[0] == '#')
            return true;
        if (indent == 0 && (content == "---" || content.starts_with("--- ") || content == "...")) {
            marked = marked || (!started && content[0] == '-');
            levels.assign(1, 0);
            blockAwaited = false;
            scalarColumn = kNone;
            return true;
        }
        if (!started && indent > 0)
            return good = false;
        if (!blockAwaited && scalarColumn != kNone && indent > scalarColumn)
            return true;
        const std::size_t column = YamlEntryContent(line, indent);
        const std::string_view item = line.substr(column);
        const bool key = YamlKeyEnd(item) != kNone;
        const bool opensBlock = blockAwaited && indent > levels.back();
        if (opensBlock && column == indent && !key) {
            // The value of "key:" may be plain text on the lines below it.
            blockAwaited = false;
            scalarColumn = levels.back();
            return true;
        }
        // Control files continue a field on lines indented by one space; a
        // nested YAML block is indented further.
        const bool deeperBlock = opensBlock && indent >= levels.back() + 2;
        if (opensBlock) {
            levels.push_back(indent);
        } else {
            while (levels.back() > indent)
                levels.pop_back();
            // A line between two blocks' columns belongs to neither.
            if (levels.back() != indent)
                return good = false;
        }
        // Every line that starts a block's column is a key or an entry: prose
        // or code at the left edge is not.
        if (column == indent && !key)
            return good = false;
        // The block under a key is a nested mapping, or a sequence of them,
        // keyed by a name; a list of words under a heading, or a sentence that
        // ends in a colon under another, is as much prose as YAML.
        nested = nested || ((deeperBlock || (blockAwaited && column > indent)) && key
                            && item.substr(0, YamlKeyEnd(item)).find(' ') == std::string_view::npos);
        started = true;
        if (key && column > indent)
            levels.push_back(column);  // the mapping inside a sequence entry
        blockAwaited = item.empty() || YamlOpensBlock(item);
        scalarColumn = blockAwaited ? kNone : key ? column : indent;
        return true;
    });
    return good && started && (nested || marked);
}

bool IniHolds(std::string_view view, bool cut)
{
    bool section = false;
    std::size_t keys = 0;
    bool good = true;
    // A key is a name: "pkg>=2" is a requirement line, not a setting.
    auto isKey = [](std::string_view line) {
        const std::size_t equals = line.find('=');
        const std::string_view key = Trim(line.substr(0, equals));
        return equals != std::string_view::npos && !key.empty() && key.find_first_of("<>!~") == std::string_view::npos;
    };
    ForEachLine(view, cut, [&](std::string_view raw) {
        const std::string_view line = Trim(raw);
        if (line.empty())
            return true;
        if (line[0] == ';' || line[0] == '#') {
            // A setting commented out is a setting all the same.
            keys += section && isKey(line.substr(1));
            return true;
        }
        if (line[0] == '[') {
            good = line.size() > 2 && line.back() == ']' && line.find(']') == line.size() - 1;
            section = section || good;
            return good;
        }
        // An indented line under a key continues its value.
        good = section && (isKey(line) || (keys > 0 && (raw[0] == ' ' || raw[0] == '\t')));
        keys += good && isKey(line);
        return good;
    });
    return good && keys > 0;
}
