#include "lint.h"
#include "text.h"

#include "magic.h"
#include "platform_file.h"
#include "signature_xml.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <unordered_map>

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;
using tinyxml2::XMLError;

namespace {

using Findings = std::vector<LintFinding>;

// The white space that strtol skips; the space itself is what SplitTokens cuts at.
bool IsCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsControlSpace(char c)
{
    return c != ' ' && IsCSpace(c);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

// A text as it goes into a message: quoted, with control characters spelled
// out so that every finding stays on its one line.
std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
    return text;
}

std::string JoinedList(const std::vector<std::string>& items)
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += i + 1 == items.size() ? " and " : ", ";
        out += items[i];
    }
    return out;
}

// Every finding is one line: texts of the document are quoted with their
// control characters spelled out, and whatever else reaches a message (the
// parser's own error text quotes the document raw) is escaped here.
void Report(Findings& findings, int line, const std::string& message)
{
    findings.push_back({std::max(line, 1), WithoutControls(message)});
}

// ---------------------------------------------------------------------------
// The raw text, by line: the parser has decoded character references by the
// time the tree is walked, so to see how a text was written we go back to it.

struct SourceLines {
    std::string_view text;
    std::vector<std::size_t> starts;  // line n begins at starts[n - 1]
};

SourceLines IndexLines(std::string_view text)
{
    SourceLines source{text, {0}};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            source.starts.push_back(i + 1);
    }
    return source;
}

// How many elements of the same name start on the same line before each
// element, so that the k-th element on a line can be found as the k-th start
// tag of that name on it.
using LineOccurrences = std::map<const XMLElement*, int>;

void CountOccurrences(const tinyxml2::XMLNode* parent, std::map<std::pair<std::string, int>, int>& seen,
                      LineOccurrences& occurrences)
{
    for (auto* child = parent->FirstChildElement(); child; child = child->NextSiblingElement()) {
        occurrences[child] = seen[{child->Name(), child->GetLineNum()}]++;
        CountOccurrences(child, seen, occurrences);
    }
}

bool StartsWithAt(std::string_view text, std::size_t at, std::string_view prefix)
{
    return at <= text.size() && text.substr(at).starts_with(prefix);
}

// Where the content of an element begins in the raw text (just after the '>'
// of its start tag); empty when it cannot be told or the tag is self-closing.
std::optional<std::size_t> RawContentStart(const SourceLines& source, const XMLElement* element,
                                           const LineOccurrences& occurrences)
{
    const int line = element->GetLineNum();
    auto occurrence = occurrences.find(element);
    if (line < 1 || static_cast<std::size_t>(line) > source.starts.size() || occurrence == occurrences.end())
        return std::nullopt;
    const std::string_view text = source.text;
    const std::size_t lineEnd = static_cast<std::size_t>(line) < source.starts.size()
                                  ? source.starts[static_cast<std::size_t>(line)]
                                  : text.size();
    const std::string open = std::string("<") + element->Name();

    int seen = 0;
    std::size_t at = source.starts[static_cast<std::size_t>(line) - 1];
    while (at < lineEnd) {
        if (StartsWithAt(text, at, "<!--")) {
            at = text.find("-->", at + 4);
            if (at == std::string_view::npos)
                return std::nullopt;
            at += 3;
            continue;
        }
        const std::size_t after = at + open.size();
        if (!StartsWithAt(text, at, open) || after >= text.size()
            || !(IsCSpace(text[after]) || text[after] == '>' || text[after] == '/')) {
            ++at;
            continue;
        }
        if (seen++ < occurrence->second) {
            at = after;
            continue;
        }
        // The end of the start tag; a quoted attribute value may hold a '>'.
        char quote = 0;
        for (std::size_t i = after; i < text.size(); ++i) {
            if (quote) {
                quote = text[i] == quote ? 0 : quote;
            } else if (text[i] == '"' || text[i] == '\'') {
                quote = text[i];
            } else if (text[i] == '>') {
                if (text[i - 1] == '/')
                    return std::nullopt;
                return i + 1;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// The numeric character references beyond ASCII in an element's raw content,
// up to its end tag. Nothing is decoded inside CDATA sections and comments,
// so they are passed over.
std::vector<std::string_view> NonAsciiReferences(std::string_view text, std::size_t start, std::string_view name)
{
    std::vector<std::string_view> references;
    const std::string close = "</" + std::string(name);
    std::size_t i = start;
    while (i < text.size() && !StartsWithAt(text, i, close)) {
        std::string_view skipTo;
        if (StartsWithAt(text, i, "<!--"))
            skipTo = "-->";
        else if (StartsWithAt(text, i, "<![CDATA["))
            skipTo = "]]>";
        if (!skipTo.empty()) {
            i = text.find(skipTo, i);
            if (i == std::string_view::npos)
                break;
            i += skipTo.size();
            continue;
        }
        if (!StartsWithAt(text, i, "&#")) {
            ++i;
            continue;
        }
        std::size_t j = i + 2;
        const bool hex = j < text.size() && text[j] == 'x';
        if (hex)
            ++j;
        std::uint32_t value = 0;
        const std::size_t digitsStart = j;
        for (; j < text.size() && (hex ? IsHexDigit(text[j]) : IsDigit(text[j])); ++j) {
            const char c = LowerAscii(text[j]);
            const std::uint32_t digit = IsDigit(c) ? static_cast<std::uint32_t>(c - '0')
                                                   : static_cast<std::uint32_t>(c - 'a' + 10);
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (j > digitsStart && j < text.size() && text[j] == ';' && value >= 0x80)
            references.push_back(text.substr(i, j + 1 - i));
        i = j;
    }
    return references;
}

// Titles and extensions are handed to the window system unconverted and read
// in the ANSI code page, but a character reference has become UTF-8 bytes.
void CheckCharacterReferences(const XMLElement* element, std::string_view decoded, const SourceLines& source,
                              const LineOccurrences& occurrences, Findings& findings)
{
    if (std::none_of(decoded.begin(), decoded.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return;
    auto start = RawContentStart(source, element, occurrences);
    if (!start)
        return;
    auto references = NonAsciiReferences(source.text, *start, element->Name());
    if (references.empty())
        return;
    std::string list;
    for (auto reference : references)
        list += (list.empty() ? "" : " ") + std::string(reference);
    Report(findings, element->GetLineNum(),
           std::string("<") + element->Name() + "> holds the character reference" + (references.size() > 1 ? "s " : " ")
               + list + ": it becomes UTF-8 bytes, which the window shows garbled (it reads the text in the "
               + "ANSI code page); write the character directly in that code page, or keep the text ASCII");
}

// ---------------------------------------------------------------------------
// Magic texts

std::vector<std::string_view> PiecesBetweenControlSpace(std::string_view token)
{
    std::vector<std::string_view> pieces;
    std::size_t i = 0;
    while (i < token.size()) {
        while (i < token.size() && IsControlSpace(token[i]))
            ++i;
        std::size_t end = i;
        while (end < token.size() && !IsControlSpace(token[end]))
            ++end;
        if (end > i)
            pieces.push_back(token.substr(i, end - i));
        i = end;
    }
    return pieces;
}

bool HasControlSpace(std::string_view token)
{
    return std::any_of(token.begin(), token.end(), IsControlSpace);
}

void CheckLayout(std::string_view text, int line, Findings& findings)
{
    std::vector<std::string> problems;
    if (text.find('\n') != std::string_view::npos)
        problems.push_back("a line feed");
    if (text.find('\t') != std::string_view::npos)
        problems.push_back("a tab");
    if (text.find_first_of("\r\v\f") != std::string_view::npos)
        problems.push_back("other white space");

    const std::size_t firstNonSpace = text.find_first_not_of(' ');
    if (text.front() == ' ')
        problems.push_back("a leading space");
    if (firstNonSpace != std::string_view::npos) {
        const std::size_t lastNonSpace = text.find_last_not_of(' ');
        const std::string_view inner = text.substr(firstNonSpace, lastNonSpace + 1 - firstNonSpace);
        if (inner.find("  ") != std::string_view::npos)
            problems.push_back("doubled spaces");
        // One trailing space adds no token; each further one adds an empty one.
        if (text.size() - 1 - lastNonSpace >= 2)
            problems.push_back("trailing spaces");
    }
    if (!problems.empty()) {
        Report(findings, line,
               "<magic> text holds " + JoinedList(problems)
                   + ": only single spaces may stand between tokens, so its tokens are spoiled "
                     "(a line feed or tab joins values into one token, extra spaces make empty tokens "
                     "that match nothing)");
    }
}

// How far a byte token is read: white space, a sign, a 0x prefix when a hex
// digit follows it, then hex digits.
struct HexReading {
    std::size_t digits = 0;
    std::size_t end = 0;  // first character not read
};

HexReading ReadHexExtent(std::string_view token)
{
    HexReading reading;
    std::size_t i = 0;
    while (i < token.size() && IsCSpace(token[i]))
        ++i;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        ++i;
    if (i + 2 < token.size() && token[i] == '0' && (token[i + 1] == 'x' || token[i + 1] == 'X')
        && IsHexDigit(token[i + 2]))
        i += 2;
    for (; i < token.size() && IsHexDigit(token[i]); ++i)
        ++reading.digits;
    reading.end = i;
    return reading;
}

// What a token that is not meant as a byte is read as instead.
std::string ReadAsByte(std::string_view token)
{
    auto value = ReadByteToken(token);
    if (!value)
        return "a byte token that holds no number, so this <magic> never matches";
    const auto number = static_cast<std::uint32_t>(*value);
    std::string reading = "the byte token " + Hex(number);
    if (number > 0xFF)
        reading += ", whose low byte " + Hex(number & 0xFF) + " is compared";
    return reading;
}

void CheckByteToken(std::string_view token, bool restMatters, int line, Findings& findings)
{
    const auto value = ReadByteToken(token);
    const HexReading reading = ReadHexExtent(token);
    if (!value) {
        if (reading.digits > 0) {
            Report(findings, line, "byte token " + Quoted(token) + " is beyond 32 bits: this <magic> never matches");
        } else {
            const bool questionMarks = token.find_first_not_of('?') == std::string_view::npos;
            Report(findings, line,
                   "byte token " + Quoted(token) + " holds no hexadecimal number"
                       + (questionMarks ? " (a wildcard is written \"?\?\")" : "") + ": this <magic> never matches");
        }
        return;
    }
    const std::string lowByte = Hex(static_cast<std::uint32_t>(*value) & 0xFF);
    if (*value < 0)
        Report(findings, line, "byte token " + Quoted(token) + " is negative: only its low byte " + lowByte + " is compared");
    else if (*value > 0xFF)
        Report(findings, line,
               "byte token " + Quoted(token) + " holds more than one byte: only its low byte " + lowByte
                   + " is compared (write one token per byte)");
    if (restMatters && reading.end < token.size())
        Report(findings, line,
               "byte token " + Quoted(token) + " is read as " + Hex(static_cast<std::uint32_t>(*value))
                   + ": the rest, " + Quoted(token.substr(reading.end)) + ", is ignored");
}

bool IsPlainDecimal(std::string_view text)
{
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
        text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

void CheckOffsetAnchor(std::string_view token, int line, Findings& findings)
{
    std::string_view number = token.substr(0, token.size() - 1);
    // White space before the number is read past: harmless here, and the
    // layout finding already names it.
    while (!number.empty() && IsCSpace(number.front()))
        number.remove_prefix(1);
    const auto offset = ReadOffsetAnchor(token);
    if (!offset) {
        Report(findings, line, "offset anchor " + Quoted(token) + " is beyond 32 bits: this <magic> never matches");
    } else if (!IsPlainDecimal(number)) {
        Report(findings, line,
               "offset anchor " + Quoted(token) + " is read as offset " + std::to_string(*offset)
                   + ": an offset is a plain decimal number, read up to its first other character");
    }
}

// The first token is the only one that can be an anchor.
void CheckFirstToken(std::string_view token, int line, Findings& findings)
{
    if (token == "?:")
        return;
    const auto pieces = PiecesBetweenControlSpace(token);
    const bool endsWithColon = !token.empty() && token.back() == ':';
    if (!pieces.empty() && pieces.front() == "?:") {
        Report(findings, line,
               "search anchor \"?:\" is spoiled by the white space in " + Quoted(token) + ": it is read as "
                   + (endsWithColon ? "an offset anchor at 0, so the pattern is tested at the start of the file only"
                                    : ReadAsByte(token)));
    } else if (endsWithColon) {
        CheckOffsetAnchor(token, line, findings);
    } else if (!pieces.empty() && pieces.front().back() == ':') {
        Report(findings, line,
               "offset anchor " + Quoted(pieces.front()) + " has white space after its colon, so " + Quoted(token)
                   + " is no anchor: it is read as " + ReadAsByte(token));
    }
}

// Checks a token in the place of a byte or wildcard. Empty tokens and those of
// white space alone are left to the layout finding.
void CheckPatternToken(std::string_view token, int line, Findings& findings)
{
    if (token == "??")
        return;
    const auto pieces = PiecesBetweenControlSpace(token);
    if (pieces.empty())
        return;
    if (token == "?:" || (!HasControlSpace(token) && token.back() == ':')) {
        Report(findings, line,
               "anchor " + Quoted(token) + " counts only as the first token; here it is read as " + ReadAsByte(token));
        return;
    }
    if (!HasControlSpace(token)) {
        CheckByteToken(token, true, line, findings);
        return;
    }
    if (std::find(pieces.begin(), pieces.end(), "??") != pieces.end()) {
        Report(findings, line,
               "wildcard \"??\" has white space attached in " + Quoted(token) + ", so the token is no wildcard: it is read as "
                   + ReadAsByte(token));
        return;
    }
    // Only the first value of a joined token is read; the joining itself is
    // the layout finding's.
    CheckByteToken(pieces.front(), false, line, findings);
}

void CheckMagic(const XMLElement* magic, Findings& findings)
{
    const int line = magic->GetLineNum();
    const auto text = ElementText(magic);
    if (!text || text->empty()) {
        Report(findings, line,
               "<magic> has no text (it is empty or begins with a comment): it never matches, nor does its type");
        return;
    }
    CheckLayout(*text, line, findings);

    // Token by token: a pattern may be far too long to hold as strings.
    bool first = true;
    ForEachToken(*text, [&](std::string_view token) {
        const bool anchorPlace = first;
        first = false;
        if (anchorPlace) {
            const auto pieces = PiecesBetweenControlSpace(token);
            const bool anchorLike = token == "?:" || (!token.empty() && token.back() == ':')
                                 || (!pieces.empty() && pieces.front().back() == ':');
            if (anchorLike) {
                CheckFirstToken(token, line, findings);
                return true;
            }
        }
        CheckPatternToken(token, line, findings);
        return true;
    });

    const MagicRule rule = ParseMagicRule(*text);
    if (rule.valid && rule.anchor == MagicAnchor::Offset && rule.offset < 0) {
        const auto back = static_cast<std::uint64_t>(-static_cast<std::int64_t>(rule.offset));
        if (back < rule.pattern.size()) {
            Report(findings, line,
                   "offset " + std::to_string(rule.offset) + " with " + std::to_string(rule.pattern.size())
                       + " tokens after it never matches: the pattern would run past the end of the file "
                         "(an end anchor -N: needs N at least the number of tokens after it)");
        }
    }
}

// ---------------------------------------------------------------------------
// Types

std::string TypeName(const XMLElement* type)
{
    auto title = ElementText(type->FirstChildElement("title"));
    if (title && !title->empty())
        return "type " + Quoted(*title);
    return "the type at line " + std::to_string(type->GetLineNum());
}

// Element names are compared byte for byte: an element spelled with other
// capitals is passed over together with everything inside it.
void CheckCapitals(const tinyxml2::XMLNode* parent, std::initializer_list<std::string_view> names, Findings& findings)
{
    for (auto* child = parent->FirstChildElement(); child; child = child->NextSiblingElement()) {
        const std::string_view name = child->Name();
        for (auto expected : names) {
            if (name != expected && EqualsIgnoringCase(name, expected)) {
                Report(findings, child->GetLineNum(),
                       "<" + std::string(name) + "> is ignored with everything inside it: element names are "
                       "case-sensitive (write <" + std::string(expected) + ">)");
            }
        }
    }
}

void CheckType(const XMLElement* type, const SourceLines& source, const LineOccurrences& occurrences,
               Findings& findings)
{
    CheckCapitals(type, {"magic", "title", "ext"}, findings);

    if (!type->FirstChildElement("magic"))
        Report(findings, type->GetLineNum(), "<type> has no <magic>: it never matches");
    for (auto* magic = type->FirstChildElement("magic"); magic; magic = magic->NextSiblingElement("magic"))
        CheckMagic(magic, findings);

    const XMLElement* title = type->FirstChildElement("title");
    if (!title) {
        Report(findings, type->GetLineNum(), "<type> has no <title>: it would be shown without one");
    } else if (auto text = ElementText(title); !text || text->empty()) {
        Report(findings, title->GetLineNum(),
               "<title> has no text (it is empty or begins with a comment): the type is shown without one");
    } else {
        CheckCharacterReferences(title, *text, source, occurrences, findings);
    }

    for (auto* ext = type->FirstChildElement("ext"); ext; ext = ext->NextSiblingElement("ext")) {
        const auto text = ElementText(ext);
        if (!text || text->empty()) {
            Report(findings, ext->GetLineNum(), "<ext> has no text: an empty extension would be offered");
            continue;
        }
        if (text->front() != '.')
            Report(findings, ext->GetLineNum(),
                   "<ext> " + Quoted(*text) + " lacks its leading period: renaming would append it to the name "
                   "without one (write " + Quoted("." + *text) + ")");
        CheckCharacterReferences(ext, *text, source, occurrences, findings);
    }
}

// ---------------------------------------------------------------------------
// Shadowing: an earlier type that matches every file a later one matches
// leaves the later one unreported, since the first match wins. Only what the
// patterns prove is claimed; anything uncertain counts as not shadowed.

// What is known about every file on which certain patterns hold.
struct FileFacts {
    std::uint64_t minSize = 0;
    std::map<std::uint64_t, std::uint8_t> fromStart;  // position from the start → byte
    std::map<std::uint64_t, std::uint8_t> fromEnd;    // distance back from the end (1: the last byte) → byte
};

// The size a file needs for `rule` to hold at all; empty when it never holds.
std::optional<std::uint64_t> RequiredSize(const MagicRule& rule)
{
    if (!rule.valid)
        return std::nullopt;
    const std::uint64_t n = rule.pattern.size();
    const std::uint64_t tokens = rule.tokenCount;
    if (rule.anchor == MagicAnchor::Search)
        return tokens;
    if (rule.offset >= 0)
        return std::max(tokens, n + static_cast<std::uint64_t>(rule.offset));
    const auto back = static_cast<std::uint64_t>(-static_cast<std::int64_t>(rule.offset));
    if (back < n)
        return std::nullopt;
    return std::max(tokens, back);
}

// Where pattern byte k of a fixed rule stands: counted from the start of the
// file, or back from its end.
struct BytePlace {
    bool fromEnd;
    std::uint64_t key;
};

BytePlace PlaceOf(const MagicRule& rule, std::size_t k)
{
    if (rule.offset >= 0)
        return {false, static_cast<std::uint64_t>(rule.offset) + k};
    return {true, static_cast<std::uint64_t>(-static_cast<std::int64_t>(rule.offset)) - k};
}

// Adds what a fixed rule's holding says; false when no file can satisfy both.
bool AddFacts(const MagicRule& rule, FileFacts& facts)
{
    auto size = RequiredSize(rule);
    if (!size)
        return false;
    facts.minSize = std::max(facts.minSize, *size);
    for (std::size_t k = 0; k < rule.pattern.size(); ++k) {
        if (rule.pattern[k].wildcard)
            continue;
        const BytePlace place = PlaceOf(rule, k);
        auto& known = place.fromEnd ? facts.fromEnd : facts.fromStart;
        auto [at, inserted] = known.emplace(place.key, rule.pattern[k].value);
        if (!inserted && at->second != rule.pattern[k].value)
            return false;
    }
    return true;
}

bool Implies(const FileFacts& facts, const MagicRule& rule)
{
    auto size = RequiredSize(rule);
    if (!size || *size > facts.minSize)
        return false;
    for (std::size_t k = 0; k < rule.pattern.size(); ++k) {
        if (rule.pattern[k].wildcard)
            continue;
        const BytePlace place = PlaceOf(rule, k);
        const auto& known = place.fromEnd ? facts.fromEnd : facts.fromStart;
        auto at = known.find(place.key);
        if (at == known.end() || at->second != rule.pattern[k].value)
            return false;
    }
    return true;
}

std::vector<MagicRule> RulesOf(const XMLElement* type)
{
    std::vector<MagicRule> rules;
    for (auto* magic = type->FirstChildElement("magic"); magic; magic = magic->NextSiblingElement("magic"))
        rules.push_back(ParseMagicRule(ElementText(magic).value_or(std::string())));
    return rules;
}

// What every file that the type matches holds: its patterns up to the first
// search have all held, and the search has hit, which takes its size. Empty
// when the type can never match.
std::optional<FileFacts> FactsOfMatch(const std::vector<MagicRule>& rules)
{
    if (rules.empty())
        return std::nullopt;
    FileFacts facts;
    for (const MagicRule& rule : rules) {
        if (rule.valid && rule.anchor == MagicAnchor::Search) {
            facts.minSize = std::max(facts.minSize, *RequiredSize(rule));
            return facts;
        }
        if (!AddFacts(rule, facts))
            return std::nullopt;
    }
    return facts;
}

// A type matches exactly when all its patterns hold only if none is a search
// (a hit decides at once) and each can hold.
bool MatchesByFixedPatternsAlone(const std::vector<MagicRule>& rules)
{
    return !rules.empty() && std::all_of(rules.begin(), rules.end(), [](const MagicRule& rule) {
        return rule.anchor == MagicAnchor::Offset && RequiredSize(rule).has_value();
    });
}

// One fact about a file (the byte at a place) as a hash key.
std::uint64_t FactKey(bool fromEnd, std::uint64_t place, std::uint8_t value)
{
    return (place << 9) | (std::uint64_t{fromEnd} << 8) | value;
}

// The first `length` bytes of a file (or its last, back from the end) as a
// hash key, when the facts hold them all.
constexpr std::size_t kRunKeyBytes = 4;

std::optional<std::uint64_t> RunKey(const FileFacts& facts, bool fromEnd, std::size_t length)
{
    const auto& known = fromEnd ? facts.fromEnd : facts.fromStart;
    std::uint64_t key = std::uint64_t{1} << 63 | std::uint64_t{fromEnd} << 62 | std::uint64_t{length} << 56;
    for (std::size_t i = 0; i < length; ++i) {
        auto at = known.find(fromEnd ? i + 1 : i);
        if (at == known.end())
            return std::nullopt;
        key |= std::uint64_t{at->second} << (8 * i);
    }
    return key;
}

// Comparing every type with every earlier one takes hours for a large file.
// An earlier type can shadow a later one only if the later one's patterns
// prove every byte the earlier one requires. So each possible shadower is
// filed under what it requires (its first bytes, else its last, else the
// single required byte shared by fewest others), and a type is compared only
// with the shadowers filed under something its own patterns prove.
void CheckShadowing(const XMLElement* types, Findings& findings)
{
    struct Shadower {
        const XMLElement* element;
        std::vector<MagicRule> rules;
    };
    std::vector<Shadower> shadowers;                                    // in document order
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byRun;   // leading or trailing bytes → shadowers
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byFact;  // one required byte → the others
    std::vector<std::size_t> unfiled;                                    // shadowers that require no byte

    for (auto* type = types->FirstChildElement("type"); type; type = type->NextSiblingElement("type")) {
        std::vector<MagicRule> rules = RulesOf(type);
        if (auto facts = FactsOfMatch(rules)) {
            std::size_t first = shadowers.size();
            auto search = [&](const std::vector<std::size_t>& candidates) {
                for (std::size_t index : candidates) {
                    if (index >= first)
                        break;
                    const auto& candidate = shadowers[index].rules;
                    if (std::all_of(candidate.begin(), candidate.end(),
                                    [&](const MagicRule& rule) { return Implies(*facts, rule); })) {
                        first = index;
                        break;
                    }
                }
            };
            auto lookUp = [&](const auto& index, std::uint64_t key) {
                if (auto at = index.find(key); at != index.end())
                    search(at->second);
            };
            search(unfiled);
            for (bool fromEnd : {false, true}) {
                for (std::size_t length = 1; length <= kRunKeyBytes; ++length) {
                    if (auto key = RunKey(*facts, fromEnd, length))
                        lookUp(byRun, *key);
                }
            }
            if (!byFact.empty()) {
                for (const auto& [place, value] : facts->fromStart)
                    lookUp(byFact, FactKey(false, place, value));
                for (const auto& [place, value] : facts->fromEnd)
                    lookUp(byFact, FactKey(true, place, value));
            }
            if (first < shadowers.size()) {
                const XMLElement* earlier = shadowers[first].element;
                Report(findings, type->GetLineNum(),
                       TypeName(type) + " can never be reported: the earlier " + TypeName(earlier) + " (line "
                           + std::to_string(earlier->GetLineNum())
                           + ") matches every file that it matches; put the more specific type first");
            }
        }

        FileFacts required;
        if (!MatchesByFixedPatternsAlone(rules)
            || !std::all_of(rules.begin(), rules.end(), [&](const MagicRule& rule) { return AddFacts(rule, required); }))
            continue;
        std::vector<std::size_t>* bucket = nullptr;
        for (bool fromEnd : {false, true}) {
            for (std::size_t length = kRunKeyBytes; length >= 1 && !bucket; --length) {
                if (auto key = RunKey(required, fromEnd, length))
                    bucket = &byRun[*key];
            }
        }
        auto consider = [&](bool fromEnd, std::uint64_t place, std::uint8_t value) {
            auto& candidate = byFact[FactKey(fromEnd, place, value)];
            if (!bucket || candidate.size() < bucket->size())
                bucket = &candidate;
        };
        if (!bucket) {
            for (const auto& [place, value] : required.fromStart)
                consider(false, place, value);
            for (const auto& [place, value] : required.fromEnd)
                consider(true, place, value);
        }
        (bucket ? *bucket : unfiled).push_back(shadowers.size());
        shadowers.push_back({type, std::move(rules)});
    }
}

// ---------------------------------------------------------------------------
// The document

// tinyxml2's error text begins with its name and line, which the finding
// already carries; what follows "Line number=N: " is the useful detail.
std::string ParseErrorDetail(const XMLDocument& document)
{
    const std::string_view text = document.ErrorStr();
    const std::size_t lineField = text.find("Line number=");
    const std::size_t detail = lineField == std::string_view::npos ? lineField : text.find(": ", lineField);
    return detail == std::string_view::npos ? std::string() : std::string(text.substr(detail + 2));
}

void CheckLoadError(const XMLDocument& document, XMLError loaded, bool datKept, Findings& findings)
{
    if (loaded == tinyxml2::XML_ERROR_EMPTY_DOCUMENT) {
        Report(findings, 1, "the file holds no XML: no file will be detected");
        return;
    }
    if (loaded == tinyxml2::XML_ERROR_FILE_READ_ERROR || loaded == tinyxml2::XML_ERROR_FILE_NOT_FOUND
        || loaded == tinyxml2::XML_ERROR_FILE_COULD_NOT_BE_OPENED) {
        Report(findings, 1, std::string("the file could not be read (") + document.ErrorName() + ")");
        return;
    }
    const std::string detail = ParseErrorDetail(document);
    Report(findings, document.ErrorLineNum(),
           std::string("XML is not well-formed: ") + document.ErrorName() + (detail.empty() ? "" : " (" + detail + ")")
               + (datKept ? "; the error lies after <dat>, which is read whole, so detection is not affected"
                          : "; it lies before the end of <dat>, so <dat> is dropped and no file will be detected"));
}

std::vector<LintFinding> LintDocument(const XMLDocument& document, XMLError loaded, std::string_view text)
{
    Findings findings;
    const XMLElement* dat = document.FirstChildElement("dat");
    if (loaded != tinyxml2::XML_SUCCESS)
        CheckLoadError(document, loaded, dat != nullptr, findings);
    CheckCapitals(&document, {"dat"}, findings);

    const XMLElement* types = dat ? dat->FirstChildElement("types") : nullptr;
    if (!dat) {
        // A load error has already said that nothing will be detected.
        if (loaded == tinyxml2::XML_SUCCESS)
            Report(findings, 1, "no <dat> element: no file will be detected");
    } else {
        CheckCapitals(dat, {"types"}, findings);
        if (!types)
            Report(findings, dat->GetLineNum(), "<dat> has no <types> element: no file will be detected");
    }

    if (types) {
        CheckCapitals(types, {"type"}, findings);
        const SourceLines source = IndexLines(text);
        LineOccurrences occurrences;
        std::map<std::pair<std::string, int>, int> seen;
        CountOccurrences(&document, seen, occurrences);
        for (auto* type = types->FirstChildElement("type"); type; type = type->NextSiblingElement("type"))
            CheckType(type, source, occurrences, findings);
        CheckShadowing(types, findings);
    }

    std::stable_sort(findings.begin(), findings.end(),
                     [](const LintFinding& a, const LintFinding& b) { return a.line < b.line; });
    return findings;
}

} // namespace

std::vector<LintFinding> LintSignatureText(std::string_view xml)
{
    // Parse() throws the whole tree away on a syntax error, while LoadFile
    // keeps what came before it, as the detection run sees it: so the text
    // goes through a temporary file.
    XMLDocument document;
    XMLError loaded;
    UniqueStdioFile file(std::tmpfile());
    if (file && std::fwrite(xml.data(), 1, xml.size(), file.get()) == xml.size() && std::fflush(file.get()) == 0) {
        loaded = document.LoadFile(file.get());
    } else {
        // Where no temporary file can be made (msvcrt puts it in the root of
        // the drive), a document with a syntax error is linted as if nothing
        // before the error survived; RunLint never takes this way.
        loaded = document.Parse(xml.data(), xml.size());
    }
    return LintDocument(document, loaded, xml);
}

int RunLint(const std::filesystem::path& file, std::FILE* out, std::FILE* err)
{
    const std::string name = DisplayText(file.native());
    // Read once, as the detection run reads it: the raw text for the line
    // scans and the tree from the very same bytes.
    XMLDocument document;
    std::string text;
    XMLError loaded;
    const WholeFileResult read = LoadSignatureDocument(document, file, text, loaded);
    if (read != WholeFileResult::Read) {
        std::fprintf(err, "kindsniffer-cli: cannot lint %s: it %s\n", name.c_str(), WholeFileProblem(read));
        return LintUnreadable;
    }
    const auto findings = LintDocument(document, loaded, text);
    for (const LintFinding& finding : findings) {
        const std::string line = name + ":" + std::to_string(finding.line) + ": " + finding.message + "\n";
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fflush(out);
    if (findings.empty()) {
        std::fprintf(err, "%s: no findings\n", name.c_str());
        return LintClean;
    }
    return LintFoundIssues;
}
