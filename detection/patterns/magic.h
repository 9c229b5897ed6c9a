// The pattern language of a signature's <magic> text, and the matcher.
//
// Everything here is pure: a rule is parsed from its text once, and tested
// against bytes handed in by the caller. The detection run supplies the bytes
// from a file; tests and fuzzers supply them from memory.
//
// The classic patterns are read, shown and matched in magic.cpp; the new
// forms are read and shown in magic_forms.cpp and tested, masked bytes and
// all, in structure_test.cpp.
#pragma once

#include "text/languages.h"
#include "structures/pointer_reader.h"
#include "patterns/structure_cache.h"
#include "text/text_sample.h"
#include "unicode.h"

#include <array>
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

// What a <magic> text tests. Classic texts compare bytes of the file; the
// others, named by their first token, look inside a structure of the file.
enum class MagicForm : std::uint8_t {
    Classic,
    Pointer,    // ptr AT WIDTH DISP: BYTES...
    ZipMember,  // zip NAME [ANCHOR BYTES...]
    OleEntry,   // ole NAME
    OleClsid,   // oleclsid GUID
    Gzip,       // gzip ANCHOR BYTES...
    Zlib,       // zlib AT ANCHOR BYTES...
    Near,       // near FROM SPAN: BYTES...
    NonText,    // nontext: the sample the text forms read is no text
    Text,       // text [ENC]
    Json,       // json [lines]
    XmlRoot,    // xmlroot NAME [xmlns=URI] [ATTR[=VALUE]]...
    Table,      // table DELIM
    Line,       // line TEXT
    Header,     // header NAME...
    Yaml,       // yaml
    Ini,        // ini
    Language,   // lang NAME, or lang NAME NAME: the weighing of every language type names this one (or pair)
    Weigh,      // weigh WEIGHT KIND TEXT: evidence for its type's language; holds on any text
};

// The text forms, Text onwards, hold only on a sample that reads as text.
constexpr bool IsTextForm(MagicForm form) { return form >= MagicForm::Text; }

// A byte of a new-form test: holds when (byte & mask) == value; "??" is mask 0.
// Classic patterns keep PatternByte, so that the searches stay as fast as they were.
struct MaskedByte {
    std::uint8_t value;
    std::uint8_t mask;
};

// Where a near search's window starts: a file offset, a distance before the
// end, a pointer's target, or where a PE data directory lies in the file.
enum class NearFrom : std::uint8_t { Offset, End, Pointer, PeDirectory };

// The most bytes a near search reads: a window, never the whole file.
constexpr std::uint64_t kNearLimit = 1024 * 1024;

// An attribute that xmlroot asks of the root element: present, or with `value`.
struct XmlAttributeTest {
    std::string name;
    std::optional<std::string> value;
};

// The data of a new-form test; only the fields of the rule's form are set.
struct StructureTest {
    std::uint64_t at = 0;               // ptr: where the number lies; zlib: where the stream starts
    PointerWidth width = PointerWidth::U32Le;
    std::int64_t displacement = 0;      // ptr: added to the number read
    std::string nameText;               // zip, ole: the name as written, for showing the rule
    std::vector<std::string> namePieces;  // zip: the literal runs between stars, unescaped
    std::u16string oleName;             // ole: the name in UTF-16, ASCII letters folded to upper case
    std::array<std::uint8_t, 16> clsid{};  // oleclsid: as the file stores it
    bool hasBytes = false;              // zip: whether the member's data is tested too
    bool search = false;                // "?:": the bytes anywhere in the first 64 KiB
    std::uint64_t offset = 0;           // "N:": where in the member data or payload
    std::vector<MaskedByte> bytes;
    std::optional<TextEncoding> encoding;  // text: the one required, if any
    char delimiter = 0;                 // table: ',', ';' or a tab
    bool lines = false;                 // json: one value a line (JSON Lines)
    NearFrom nearFrom = NearFrom::Offset;  // near: where its window starts (`at`, `width` and
                                           // `displacement` as for ptr; `at` the directory's index for pe)
    std::uint64_t span = 0;             // near: the window's length
    std::optional<std::string> xmlns;   // xmlroot: the namespace the root element must be in
    std::vector<XmlAttributeTest> attributes;  // xmlroot: what the root element must carry
    std::string conditionText;          // xmlroot: the tests after NAME as written, for showing the rule
    int weight = 0;                     // weigh: what the evidence counts, each time up to kEvidenceRepeats
    EvidenceKind evidence = EvidenceKind::Word;  // weigh: where it is looked for
};

struct MagicRule {
    MagicForm form = MagicForm::Classic;
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
    // New forms only; classic rules leave it empty.
    StructureTest structure;
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

// Reads a <magic> text: a new form when its first token is one of the
// keywords (ptr, zip, ole, oleclsid, gzip, zlib, near, nontext, text, json, xmlroot, table, line, header, yaml,
// ini, lang, weigh), a classic one otherwise. It and FormatMagicRule live in
// magic_forms.cpp, beside the forms they tell apart, so that the classic
// reading in magic.cpp needs nothing of the new forms.
MagicRule ParseMagicRule(std::string_view text);

// The classic reading alone, as a reader that knows no new forms reads any
// text: none of the keywords holds a hexadecimal number, so it finds every
// new-form text invalid.
MagicRule ParseClassicMagicRule(std::string_view text);

// Whether a text's first token names a new form, and which (magic_forms.cpp,
// as are the two below and FormatStructureRule).
std::optional<MagicForm> NewFormOf(std::string_view text);

// The new-form reading of a text that NewFormOf names; invalid when any
// token breaks the stricter rules of the new forms.
MagicRule ParseStructureRule(std::string_view text, MagicForm form);

// A valid rule as the matcher reads it, in canonical form ("0: 89 50 ?? 47",
// "-4: 00", "?: 49 44"): what an author wrote after the parser's leniencies,
// such as "0x10:" read as offset 0 or "1FF" as FF. New forms are shown with
// their numbers and bytes canonical ("ptr 60 u32le +23: 20&20").
std::string FormatMagicRule(const MagicRule& rule);
// The canonical form of a classic rule alone, and of a new-form rule alone.
std::string FormatClassicMagicRule(const MagicRule& rule);
std::string FormatStructureRule(const MagicRule& rule);

// Where the fixed test of `rule` starts reading in a file of `fileSize`
// bytes, or empty when the pattern cannot lie wholly inside the file.
std::optional<std::uint64_t> FixedTestStart(const MagicRule& rule, std::uint64_t fileSize);

// For a negative offset -k: k, how far before the end of the file the
// pattern starts.
std::uint64_t EndDistance(const MagicRule& rule);

// The least file size on which `rule` can hold, or empty when it holds on no
// file (an invalid rule, or an end anchor shorter than its pattern). Only
// classic rules say where their bytes lie; a new form gives empty too.
std::optional<std::uint64_t> MinimumFileSize(const MagicRule& rule);

// Compares pattern.size() bytes at `bytes`.
bool PatternMatchesAt(std::span<const PatternByte> pattern, const std::uint8_t* bytes);

// Masked bytes: compares bytes.size() bytes at `at`, and finds the first
// place in `data` where they all lie (structure_test.cpp).
bool MaskedMatchAt(std::span<const MaskedByte> bytes, const std::uint8_t* at);
std::optional<std::uint64_t> FindMasked(std::span<const MaskedByte> bytes, std::span<const std::uint8_t> data);

// Where a new-form test held, for explaining a match.
struct StructureHeld {
    std::uint64_t offset = 0;  // ptr, near: where BYTES were read; zip, gzip, zlib: where in the data they held
    std::uint64_t value = 0;   // ptr: the number read; near: where the window started
    std::string name;          // zip, ole: the member or entry that matched; xmlroot: the root element;
                               // lang: the verdict in words
    std::optional<TextEncoding> encoding;  // text forms: the encoding the sample was found to be in
};

// Tests a valid new-form rule (structure_test.cpp). A read that fails gives NoMatch; the source
// itself must note the failure (FileSource does), since it is no answer.
MagicResult TestStructure(const MagicRule& rule, const ByteFetch& fetch, StructureCache& cache,
                          StructureHeld* held = nullptr);

// Tests one rule against a file that `source` gives access to. Source needs:
//   std::uint64_t Size() const;
//   // `count` bytes from `position`, valid until the next call; null when they cannot be read
//   const std::uint8_t* Bytes(std::uint64_t position, std::size_t count);
//   // whether the search rule's pattern lies anywhere in the file
//   bool Contains(const MagicRule& searchRule);
//   // what the new forms learn of this file, kept for the next rule
//   StructureCache& Structures();
// A fetch over such a source, for the structure readers.
template <class Source>
ByteFetch FetchFrom(Source& source)
{
    return {source.Size(),
            [](void* context, std::uint64_t position, std::size_t count) {
                return static_cast<Source*>(context)->Bytes(position, count);
            },
            &source};
}

template <class Source>
MagicResult TestMagic(const MagicRule& rule, Source& source, StructureHeld* held = nullptr)
{
    if (rule.valid && rule.form != MagicForm::Classic)
        return TestStructure(rule, FetchFrom(source), source.Structures(), held);
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
    MemorySource(std::span<const std::uint8_t> b) : bytes(b) {}

    std::span<const std::uint8_t> bytes;
    StructureCache structures;

    std::uint64_t Size() const { return bytes.size(); }
    const std::uint8_t* Bytes(std::uint64_t position, std::size_t count) const;
    // Whether the rule's pattern lies anywhere in the bytes.
    bool Contains(const MagicRule& rule) const;
    StructureCache& Structures() { return structures; }
};
