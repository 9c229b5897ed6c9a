// Which encoding a text sample is written in: the encodings' names, a
// validator for each, and the head of a sample as the shape tests read it.
// The shapes themselves are read in text_shapes.cpp and text_line_shapes.cpp.
#include "text/text_sample.h"

#include "unicode.h"

#include <algorithm>
#include <array>

namespace {

constexpr struct {
    TextEncoding encoding;
    std::string_view keyword;
    std::string_view title;
} kEncodings[] = {
    {TextEncoding::Ascii, "ascii", "ASCII"},           {TextEncoding::Utf8, "utf-8", "UTF-8"},
    {TextEncoding::Utf16Le, "utf-16le", "UTF-16LE"},   {TextEncoding::Utf16Be, "utf-16be", "UTF-16BE"},
    {TextEncoding::Iso2022Jp, "iso-2022-jp", "ISO-2022-JP"}, {TextEncoding::EucJp, "euc-jp", "EUC-JP"},
    {TextEncoding::ShiftJis, "shift_jis", "Shift_JIS"},       {TextEncoding::Windows1252, "windows-1252", "Windows-1252"},
    {TextEncoding::Windows1250, "windows-1250", "Windows-1250"}, {TextEncoding::Windows1251, "windows-1251", "Windows-1251"},
};

// Every text sample is checked byte by byte, most of it by this test: a
// table takes one load where the ranges take several branches.
constexpr auto kPlainBytes = [] {
    std::array<bool, 256> plain{};
    for (unsigned c = 0; c < 256; ++c)
        plain[c] = IsPlainTextByte(static_cast<std::uint8_t>(c));
    return plain;
}();

inline bool PlainByte(std::uint8_t c)
{
    return kPlainBytes[c];
}

bool InRange(std::uint8_t c, std::uint8_t low, std::uint8_t high)
{
    return c >= low && c <= high;
}

bool ValidAscii(std::span<const std::uint8_t> bytes)
{
    // In blocks without a branch per byte, stopping at the first block that fails.
    constexpr std::size_t kBlock = 64;
    std::size_t i = 0;
    for (; i + kBlock <= bytes.size(); i += kBlock) {
        bool plain = true;
        for (std::size_t k = 0; k < kBlock; ++k)
            plain &= kPlainBytes[bytes[i + k]];
        if (!plain)
            return false;
    }
    for (; i < bytes.size(); ++i) {
        if (!kPlainBytes[bytes[i]])
            return false;
    }
    return true;
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

// The code unit at `at` of UTF-16 text, in either byte order.
std::uint16_t Utf16Unit(std::span<const std::uint8_t> bytes, std::size_t at, bool bigEndian)
{
    const std::uint8_t first = bytes[at];
    const std::uint8_t second = bytes[at + 1];
    return static_cast<std::uint16_t>(bigEndian ? first << 8 | second : second << 8 | first);
}

bool ValidUtf16(std::span<const std::uint8_t> bytes, bool bigEndian, bool cutBefore, bool cutAfter)
{
    const std::size_t units = bytes.size() / 2;
    if (bytes.size() % 2 && !cutAfter)
        return false;
    for (std::size_t u = 0; u < units; ++u) {
        const std::uint16_t unit = Utf16Unit(bytes, 2 * u, bigEndian);
        if (unit < 0x80) {
            if (!PlainByte(static_cast<std::uint8_t>(unit)))
                return false;
        } else if (unit < 0xA0 || unit == 0xFFFE || unit == 0xFFFF) {
            return false;
        } else if (unit >= 0xD800 && unit < 0xDC00) {
            if (u + 1 == units)
                return cutAfter;
            const std::uint16_t next = Utf16Unit(bytes, 2 * (u + 1), bigEndian);
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

// EUC-JP and Shift_JIS (below) are walked alike, a byte and its trail bytes
// at a time, but the byte ranges are each encoding's own grammar: a shared
// walker would only move the difference into a table of ranges.
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

bool ValidCodePage(TextEncoding encoding, std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t c) {
        return c < 0x80 ? PlainByte(c) : CodePageDefines(encoding, c);
    });
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
    case TextEncoding::Windows1252:
    case TextEncoding::Windows1250:
    case TextEncoding::Windows1251:
        return ValidCodePage(encoding, bytes);
    }
    return false;
}

namespace {

// The encodings a sample is valid in that ClassifyText would weigh, in its
// order; with `plausible`, only those that TextScore reads as text, and of
// the Windows code pages only the best.
std::optional<TextEncoding> FindText(const TextSampleBytes& sample, bool plausible)
{
    const std::span<const std::uint8_t> head = sample.head;
    if (head.empty())
        return std::nullopt;
    const bool headCut = sample.fileSize > head.size();
    std::span<const std::uint8_t> tail = sample.tail;
    auto valid = [&](TextEncoding encoding, std::span<const std::uint8_t> body) {
        return ValidText(encoding, body, false, headCut) && (tail.empty() || ValidText(encoding, tail, true, false));
    };
    // A byte-order mark is evidence enough.
    if (StartsWith(head, {0xEF, 0xBB, 0xBF}))
        return valid(TextEncoding::Utf8, head.subspan(3)) ? std::optional(TextEncoding::Utf8) : std::nullopt;
    const bool little = StartsWith(head, {0xFF, 0xFE});
    if (little || StartsWith(head, {0xFE, 0xFF})) {
        // The tail is read in whole code units, counted from the file's start.
        if (!tail.empty() && (sample.fileSize - tail.size()) % 2)
            tail = tail.subspan(1);
        const TextEncoding encoding = little ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
        return valid(encoding, head.subspan(2)) ? std::optional(encoding) : std::nullopt;
    }
    for (TextEncoding encoding : {TextEncoding::Ascii, TextEncoding::Utf8, TextEncoding::Iso2022Jp,
                                  TextEncoding::EucJp, TextEncoding::ShiftJis}) {
        if (valid(encoding, head) && (!plausible || TextScore(encoding, head, tail)))
            return encoding;
    }
    // A byte that one code page leaves undefined may be a letter in another;
    // on equal scores the first in this order is taken.
    std::optional<TextEncoding> best;
    int bestScore = 0;
    for (TextEncoding encoding : {TextEncoding::Windows1252, TextEncoding::Windows1250, TextEncoding::Windows1251}) {
        if (!valid(encoding, head))
            continue;
        if (!plausible)
            return encoding;
        const std::optional<int> score = TextScore(encoding, head, tail);
        if (score && (!best || *score > bestScore)) {
            best = encoding;
            bestScore = *score;
        }
    }
    return best;
}

} // namespace

std::optional<TextEncoding> ClassifyText(const TextSampleBytes& sample)
{
    return FindText(sample, true);
}

bool CouldBeText(const TextSampleBytes& sample)
{
    return FindText(sample, false).has_value();
}

std::string TextView(std::span<const std::uint8_t> head, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8 && StartsWith(head, {0xEF, 0xBB, 0xBF}))
        head = head.subspan(3);
    std::string view;
    switch (encoding) {
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        const bool big = encoding == TextEncoding::Utf16Be;
        std::u16string units;
        for (std::size_t i = 2; i + 1 < head.size(); i += 2)
            units.push_back(static_cast<char16_t>(Utf16Unit(head, i, big)));
        // A pair cut by the sample's end is left out rather than shown as U+FFFD.
        if (!units.empty() && units.back() >= 0xD800 && units.back() < 0xDC00)
            units.pop_back();
        return Utf8FromUtf16(units);
    }
    case TextEncoding::ShiftJis:
        view.reserve(head.size());
        // A trail byte may be 40-7E: "\" in 表, "|" in 本.
        for (std::size_t i = 0; i < head.size(); ++i) {
            const std::uint8_t c = head[i];
            view += static_cast<char>(c);
            if (((c >= 0x81 && c <= 0x9F) || c >= 0xE0) && i + 1 < head.size())
                view += static_cast<char>(head[++i] | 0x80);
        }
        return view;
    case TextEncoding::Iso2022Jp: {
        // Two-byte runs are pairs of 21-7E: "," in the pair of が. With their
        // top bits set they read as EUC-JP would.
        bool shifted = false;
        view.reserve(head.size());
        for (std::size_t i = 0; i < head.size(); ++i) {
            const std::uint8_t c = head[i];
            if (c == 0x1B) {
                const bool four = i + 2 < head.size() && head[i + 1] == '$' && head[i + 2] == '(';
                shifted = (i + 1 < head.size() && head[i + 1] == '$')
                       || (i + 2 < head.size() && head[i + 1] == '(' && head[i + 2] == 'I');
                i += four ? 3 : 2;
            } else {
                view += static_cast<char>(shifted && c != 0x0A && c != 0x0D ? c | 0x80 : c);
            }
        }
        return view;
    }
    default:
        // ASCII, and the rest: every byte below 80 is a character of its own.
        return std::string(reinterpret_cast<const char*>(head.data()), head.size());
    }
}
