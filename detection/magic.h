// The pattern language of a signature's <magic> text, and the matcher.
//
// Everything here is pure: a rule is parsed from its text once, and tested
// against bytes handed in by the caller. The detection run supplies the bytes
// from a file; tests and fuzzers supply them from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class MagicAnchor { Offset, Search };

enum class MagicResult {
    NoMatch,
    Match,          // this pattern holds; the type's next pattern decides
    DecisiveMatch,  // a search hit: the type matches without testing further patterns
};

struct PatternByte {
    std::uint8_t value;
    bool wildcard;
};

struct MagicRule {
    MagicAnchor anchor = MagicAnchor::Offset;
    std::int32_t offset = 0;
    // Every token of the text, the anchor included: the file must hold at
    // least this many bytes before any of it is read.
    std::size_t tokenCount = 0;
    // Tokens after the anchor, each read once when the rule is parsed.
    std::vector<PatternByte> pattern;
    // False when the text cannot match anything: no tokens, a token that
    // holds no hexadecimal number or one beyond 32 bits, an unreadable offset.
    bool valid = false;
    // Where the rule stands in its signature file; 0 when it was not read from one.
    int line = 0;
    // A valid search's place among the table's searches, given when the
    // table is loaded: the detection run finds its state by it at once.
    std::uint32_t searchIndex = kNoSearchIndex;
    static constexpr std::uint32_t kNoSearchIndex = UINT32_MAX;
};

// Cuts a text at every space (0x20) and nowhere else. A leading space gives an
// empty first token, doubled spaces give empty tokens, and of the trailing
// spaces all but the last give empty tokens.
std::vector<std::string> SplitTokens(std::string_view text);

// The same tokens, handed one at a time to `take` (which returns false to
// stop), with nothing stored: a pattern may be hundreds of megabytes long.
template <class Take>
void ForEachToken(std::string_view text, Take take)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find(' ', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (!take(text.substr(pos, end - pos)))
            return;
        pos = end + 1;
    }
}

// Only the first token can be an anchor: "?:" searches the file, and any
// other token that ends in a colon is an offset.
bool IsAnchor(std::string_view token);
bool IsSearchAnchor(std::string_view token);
// "??" matches any byte.
bool IsWildcard(std::string_view token);
// A byte token's number compares only its low byte.
std::uint8_t ComparedByte(std::int32_t number);

// The white space a number token may begin with, as strtol skips it. The
// space itself never reaches a token: SplitTokens cuts there.
bool IsNumberSpace(char c);

// Decimal offset of an anchor token such as "512:" or "-4:": leading white
// space, a sign, then digits up to the first non-digit; no digits reads as 0.
// Empty when the number does not fit a signed 32-bit integer.
std::optional<std::int32_t> ReadOffsetAnchor(std::string_view token);

// Hexadecimal number of a byte token, read as strtol(token, 16) would: leading
// white space, a sign, an optional 0x, then hex digits up to the first
// character that is not one. Empty when no digit can be read or the number
// does not fit a signed 32-bit integer.
std::optional<std::int32_t> ReadByteToken(std::string_view token);

// The same reading with how far it went: `digits` hexadecimal digits were
// read (all of them, even past 32 bits), and token[end] is the first
// character not read.
struct ByteTokenReading {
    std::optional<std::int32_t> value;
    std::size_t digits = 0;
    std::size_t end = 0;
};
ByteTokenReading ReadByteTokenExtent(std::string_view token);

MagicRule ParseMagicRule(std::string_view text);

// A valid rule as the matcher reads it, in canonical form ("0: 89 50 ?? 47",
// "-4: 00", "?: 49 44"): what an author wrote after the parser's leniencies,
// such as "0x10:" read as offset 0 or "1FF" as FF.
std::string FormatMagicRule(const MagicRule& rule);

// Where the fixed test of `rule` starts reading in a file of `fileSize`
// bytes, or empty when the pattern cannot lie wholly inside the file.
std::optional<std::uint64_t> FixedTestStart(const MagicRule& rule, std::uint64_t fileSize);

// For a negative offset -k: k, how far before the end of the file the
// pattern starts.
std::uint64_t EndDistance(const MagicRule& rule);

// The least file size on which `rule` can hold, or empty when it holds on no
// file (an invalid rule, or an end anchor shorter than its pattern).
std::optional<std::uint64_t> MinimumFileSize(const MagicRule& rule);

// Compares pattern.size() bytes at `bytes`.
bool PatternMatchesAt(std::span<const PatternByte> pattern, const std::uint8_t* bytes);

// First position at which the whole pattern lies inside `data`, the last
// possible start (data.size() - pattern.size()) included.
std::optional<std::uint64_t> FindPattern(std::span<const PatternByte> pattern,
                                         std::span<const std::uint8_t> data);

// Tests one rule against a file that `source` gives access to. Source needs:
//   std::uint64_t Size() const;
//   // `count` bytes from `position`, valid until the next call; null when they cannot be read
//   const std::uint8_t* Bytes(std::uint64_t position, std::size_t count);
//   // whether the search rule's pattern lies anywhere in the file
//   bool Contains(const MagicRule& searchRule);
template <class Source>
MagicResult TestMagic(const MagicRule& rule, Source& source)
{
    if (!rule.valid || source.Size() < rule.tokenCount)
        return MagicResult::NoMatch;

    if (rule.anchor == MagicAnchor::Search)
        return source.Contains(rule) ? MagicResult::DecisiveMatch : MagicResult::NoMatch;

    auto start = FixedTestStart(rule, source.Size());
    if (!start)
        return MagicResult::NoMatch;
    if (rule.pattern.empty())
        return MagicResult::Match;
    const std::uint8_t* bytes = source.Bytes(*start, rule.pattern.size());
    return bytes && PatternMatchesAt(rule.pattern, bytes) ? MagicResult::Match : MagicResult::NoMatch;
}

// A source over bytes already in memory, for callers that hold the whole file.
struct MemorySource {
    std::span<const std::uint8_t> bytes;

    std::uint64_t Size() const { return bytes.size(); }
    const std::uint8_t* Bytes(std::uint64_t position, std::size_t count) const;
    bool Contains(const MagicRule& rule) const { return FindPattern(rule.pattern, bytes).has_value(); }
};
