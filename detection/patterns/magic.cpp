// The classic <magic> text: its numbers and tokens, reading and showing a classic rule, and the fixed-offset matcher.
#include "patterns/magic.h"

#include "ascii.h"

#include <algorithm>
#include <limits>

namespace {

int DigitValue(char c, int base)
{
    const int v = HexDigitValue(c);
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

} // namespace

bool IsNumberSpace(char c)
{
    return IsAsciiSpace(c);
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

std::string FormatClassicMagicRule(const MagicRule& rule)
{
    std::string text = rule.anchor == MagicAnchor::Search ? "?:" : std::to_string(rule.offset) + ":";
    for (const PatternByte& b : rule.pattern) {
        text += ' ';
        text += b.wildcard ? '?' : kHexDigits[b.value >> 4];
        text += b.wildcard ? '?' : kHexDigits[b.value & 0xF];
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

const std::uint8_t* MemorySource::Bytes(std::uint64_t position, std::size_t count) const
{
    if (position > bytes.size() || bytes.size() - position < count)
        return nullptr;
    return bytes.data() + position;
}

bool MemorySource::Contains(const MagicRule& rule) const
{
    // A plain search: what is in memory is a test's or a fuzzer's input, and
    // the file-reading run's scanner is checked against this.
    const std::span<const PatternByte> pattern(rule.pattern);
    if (bytes.size() < pattern.size())
        return false;
    for (std::size_t start = 0; start <= bytes.size() - pattern.size(); ++start) {
        if (PatternMatchesAt(pattern, bytes.data() + start))
            return true;
    }
    return false;
}
