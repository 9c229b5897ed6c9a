#include "magic.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

int DigitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

// strtol's reading of a number, limited to what a signed 32-bit long holds.
// `noDigits` is what a text without any digit reads as.
ByteTokenReading ReadNumber(std::string_view text, int base, std::optional<std::int32_t> noDigits)
{
    std::size_t i = 0;
    while (i < text.size() && IsNumberSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // "0x" is a prefix only when a hex digit follows; otherwise the 0 is the number.
    if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')
        && DigitValue(text[i + 2], 16) >= 0)
        i += 2;

    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    bool overflow = false;
    ByteTokenReading reading;
    for (; i < text.size(); ++i) {
        int digit = DigitValue(text[i], base);
        if (digit < 0)
            break;
        ++reading.digits;
        if (!overflow)
            magnitude = magnitude * base + digit;
        overflow = overflow || magnitude > limit;
    }
    reading.end = i;
    if (reading.digits == 0)
        reading.value = noDigits;
    else if (!overflow && (negative || magnitude < limit))
        reading.value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return reading;
}

// How often a byte turns up in ordinary files, roughly: the search looks for
// the pattern's least common byte so that it stops at as few candidates as
// possible.
int Commonness(std::uint8_t b)
{
    if (b == 0x00 || b == 0xFF)
        return 3;
    if (b == ' ' || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '\n')
        return 2;
    if (b >= 0x20 && b < 0x7F)
        return 1;
    return 0;
}

} // namespace

bool IsNumberSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsAnchor(std::string_view token)
{
    return !token.empty() && token.back() == ':';
}

bool IsSearchAnchor(std::string_view token)
{
    return token == "?:";
}

bool IsWildcard(std::string_view token)
{
    return token == "??";
}

std::uint8_t ComparedByte(std::int32_t number)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(number) & 0xFF);
}

std::vector<std::string> SplitTokens(std::string_view text)
{
    std::vector<std::string> tokens;
    ForEachToken(text, [&](std::string_view token) {
        tokens.emplace_back(token);
        return true;
    });
    return tokens;
}

std::optional<std::int32_t> ReadOffsetAnchor(std::string_view token)
{
    return ReadNumber(token, 10, 0).value;
}

std::optional<std::int32_t> ReadByteToken(std::string_view token)
{
    return ReadByteTokenExtent(token).value;
}

ByteTokenReading ReadByteTokenExtent(std::string_view token)
{
    return ReadNumber(token, 16, std::nullopt);
}

MagicRule ParseMagicRule(std::string_view text)
{
    if (auto form = NewFormOf(text))
        return ParseStructureRule(text, *form);
    return ParseClassicMagicRule(text);
}

MagicRule ParseClassicMagicRule(std::string_view text)
{
    // Token by token, each kept as the two bytes of a PatternByte: the parse
    // costs little more than the text itself, however long it is.
    MagicRule rule;
    rule.pattern.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), ' ')) + 1);
    bool readable = true;
    ForEachToken(text, [&](std::string_view token) {
        if (rule.tokenCount++ == 0) {
            if (IsSearchAnchor(token)) {
                rule.anchor = MagicAnchor::Search;
                return true;
            }
            if (IsAnchor(token)) {
                auto offset = ReadOffsetAnchor(token);
                readable = offset.has_value();
                rule.offset = offset.value_or(0);
                return readable;
            }
        }
        if (IsWildcard(token)) {
            rule.pattern.push_back({0, true});
            return true;
        }
        auto number = ReadByteToken(token);
        readable = number.has_value();
        if (readable)
            rule.pattern.push_back({ComparedByte(*number), false});
        return readable;
    });
    rule.valid = readable && rule.tokenCount > 0;
    if (!rule.valid)
        rule.pattern = {};
    return rule;
}

std::string FormatMagicRule(const MagicRule& rule)
{
    if (rule.form != MagicForm::Classic)
        return FormatStructureRule(rule);
    std::string text = rule.anchor == MagicAnchor::Search ? "?:" : std::to_string(rule.offset) + ":";
    for (const PatternByte& b : rule.pattern) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        text += ' ';
        text += b.wildcard ? '?' : kHex[b.value >> 4];
        text += b.wildcard ? '?' : kHex[b.value & 0xF];
    }
    return text;
}

std::optional<std::uint64_t> FixedTestStart(const MagicRule& rule, std::uint64_t fileSize)
{
    const std::uint64_t n = rule.pattern.size();
    if (rule.offset >= 0) {
        const auto offset = static_cast<std::uint64_t>(rule.offset);
        if (fileSize < n || fileSize - n < offset)
            return std::nullopt;
        return offset;
    }
    // -k: the n bytes starting k bytes before the end, when they fit inside the file.
    const std::uint64_t back = EndDistance(rule);
    if (back > fileSize || back < n)
        return std::nullopt;
    return fileSize - back;
}

std::uint64_t EndDistance(const MagicRule& rule)
{
    return rule.offset < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(rule.offset)) : 0;
}

std::optional<std::uint64_t> MinimumFileSize(const MagicRule& rule)
{
    if (!rule.valid || rule.form != MagicForm::Classic)
        return std::nullopt;
    // TestMagic wants every token's worth of bytes first; a fixed test then
    // wants the file to reach past its pattern, wherever the anchor puts it.
    std::uint64_t size = rule.tokenCount;
    if (rule.anchor == MagicAnchor::Offset) {
        const std::uint64_t reach = rule.offset >= 0 ? static_cast<std::uint64_t>(rule.offset) + rule.pattern.size()
                                                     : EndDistance(rule);
        size = std::max(size, reach);
        if (!FixedTestStart(rule, size))
            return std::nullopt;
    }
    return size;
}

bool PatternMatchesAt(std::span<const PatternByte> pattern, const std::uint8_t* bytes)
{
    for (std::size_t k = 0; k < pattern.size(); ++k) {
        if (!pattern[k].wildcard && pattern[k].value != bytes[k])
            return false;
    }
    return true;
}

namespace {

// Position of the pattern's rarest fixed byte, or n when it has none.
std::size_t RarestFixedByte(std::span<const PatternByte> pattern, std::size_t except)
{
    std::size_t key = pattern.size();
    for (std::size_t k = 0; k < pattern.size(); ++k) {
        if (k == except || pattern[k].wildcard)
            continue;
        if (key == pattern.size() || Commonness(pattern[k].value) < Commonness(pattern[key].value))
            key = k;
    }
    return key;
}

// Candidates for one fixed byte: memchr skips to each occurrence.
std::optional<std::uint64_t> FindBySingleByte(std::span<const PatternByte> pattern, std::size_t key,
                                              std::span<const std::uint8_t> data)
{
    const std::uint8_t* const base = data.data();
    const std::uint8_t* cursor = base + key;
    const std::uint8_t* const keyEnd = base + (data.size() - pattern.size()) + key + 1;
    while (cursor < keyEnd) {
        const void* hit = std::memchr(cursor, pattern[key].value, static_cast<std::size_t>(keyEnd - cursor));
        if (!hit)
            break;
        const auto* at = static_cast<const std::uint8_t*>(hit);
        const std::size_t start = static_cast<std::size_t>(at - base) - key;
        if (PatternMatchesAt(pattern, base + start))
            return start;
        cursor = at + 1;
    }
    return std::nullopt;
}

// Sixteen bytes compared at once; GCC and Clang lower this to SSE2 on x86-64.
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));

Bytes16 Load16(const std::uint8_t* p)
{
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool AnyLane(Bytes16 v)
{
    std::uint64_t halves[2];
    std::memcpy(halves, &v, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

// Candidates for two fixed bytes: a whole block of 64 start positions is
// ruled out at once unless both bytes stand in place somewhere in it. On
// ordinary data one byte alone stops a scan every few hundred bytes; a pair
// rarely does.
std::optional<std::uint64_t> FindByBytePair(std::span<const PatternByte> pattern, std::size_t first,
                                            std::size_t second, std::span<const std::uint8_t> data)
{
    constexpr std::size_t block = 64;
    const std::uint8_t* const base = data.data();
    const std::size_t lastStart = data.size() - pattern.size();
    const std::uint8_t a = pattern[first].value;
    const std::uint8_t b = pattern[second].value;

    std::size_t start = 0;
    for (; start + block <= lastStart + 1; start += block) {
        const std::uint8_t* p = base + start;
        Bytes16 hits = ((Load16(p + first) == a) & (Load16(p + second) == b))
                     | ((Load16(p + first + 16) == a) & (Load16(p + second + 16) == b))
                     | ((Load16(p + first + 32) == a) & (Load16(p + second + 32) == b))
                     | ((Load16(p + first + 48) == a) & (Load16(p + second + 48) == b));
        if (!AnyLane(hits))
            continue;
        for (std::size_t i = start; i < start + block; ++i) {
            if (PatternMatchesAt(pattern, base + i))
                return i;
        }
    }
    for (; start <= lastStart; ++start) {
        if (PatternMatchesAt(pattern, base + start))
            return start;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::uint64_t> FindPattern(std::span<const PatternByte> pattern, std::span<const std::uint8_t> data)
{
    if (data.size() < pattern.size())
        return std::nullopt;
    const std::size_t first = RarestFixedByte(pattern, pattern.size());
    if (first == pattern.size())
        return 0;  // only wildcards: the first position holds
    const std::size_t second = RarestFixedByte(pattern, first);
    if (second == pattern.size())
        return FindBySingleByte(pattern, first, data);
    return FindByBytePair(pattern, first, second, data);
}

const std::uint8_t* MemorySource::Bytes(std::uint64_t position, std::size_t count) const
{
    if (position > bytes.size() || bytes.size() - position < count)
        return nullptr;
    return bytes.data() + position;
}
