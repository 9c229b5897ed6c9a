#include "checks.h"

#include "ascii.h"
#include "escaping.h"
#include "patterns/magic.h"
#include "signatures/signature_xml.h"

#include <algorithm>

using tinyxml2::XMLElement;

namespace lint {

namespace {

// White space other than the space: the space cuts tokens, the rest is read
// inside them.
bool IsControlSpace(char c)
{
    return c != ' ' && IsNumberSpace(c);
}

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

// What a token that is not meant as a byte is read as instead.
std::string ReadAsByte(std::string_view token)
{
    auto value = ReadByteToken(token);
    if (!value)
        return "a byte token that holds no number, so this <magic> never matches";
    const auto number = static_cast<std::uint32_t>(*value);
    std::string reading = "the byte token " + Hex(number);
    if (number > 0xFF)
        reading += ", whose low byte " + Hex(ComparedByte(*value)) + " is compared";
    return reading;
}

void CheckByteToken(std::string_view token, bool restMatters, int line, Findings& findings)
{
    const ByteTokenReading reading = ReadByteTokenExtent(token);
    const auto& value = reading.value;
    if (!value) {
        if (reading.digits > 0) {
            Report(findings, line, "byte token " + QuotedText(token) + " is beyond 32 bits: this <magic> never matches");
        } else {
            const bool questionMarks = token.find_first_not_of('?') == std::string_view::npos;
            Report(findings, line,
                   "byte token " + QuotedText(token) + " holds no hexadecimal number"
                       + (questionMarks ? " (a wildcard is written \"?\?\")" : "") + ": this <magic> never matches");
        }
        return;
    }
    const std::string lowByte = Hex(ComparedByte(*value));
    if (*value < 0)
        Report(findings, line, "byte token " + QuotedText(token) + " is negative: only its low byte " + lowByte + " is compared");
    else if (*value > 0xFF)
        Report(findings, line,
               "byte token " + QuotedText(token) + " holds more than one byte: only its low byte " + lowByte
                   + " is compared (write one token per byte)");
    if (restMatters && reading.end < token.size())
        Report(findings, line,
               "byte token " + QuotedText(token) + " is read as " + Hex(static_cast<std::uint32_t>(*value))
                   + ": the rest, " + QuotedText(token.substr(reading.end)) + ", is ignored");
}

bool IsPlainDecimal(std::string_view text)
{
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
        text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDecimalDigit);
}

void CheckOffsetAnchor(std::string_view token, int line, Findings& findings)
{
    std::string_view number = token.substr(0, token.size() - 1);
    // White space before the number is read past: harmless here, and the
    // layout finding already names it.
    while (!number.empty() && IsNumberSpace(number.front()))
        number.remove_prefix(1);
    const auto offset = ReadOffsetAnchor(token);
    if (!offset) {
        Report(findings, line, "offset anchor " + QuotedText(token) + " is beyond 32 bits: this <magic> never matches");
    } else if (!IsPlainDecimal(number)) {
        Report(findings, line,
               "offset anchor " + QuotedText(token) + " is read as offset " + std::to_string(*offset)
                   + ": an offset is a plain decimal number, read up to its first other character");
    }
}

// The first token is the only one that can be an anchor.
void CheckFirstToken(std::string_view token, int line, Findings& findings)
{
    if (IsSearchAnchor(token))
        return;
    const auto pieces = PiecesBetweenControlSpace(token);
    const bool endsWithColon = IsAnchor(token);
    if (!pieces.empty() && IsSearchAnchor(pieces.front())) {
        Report(findings, line,
               "search anchor \"?:\" is spoiled by the white space in " + QuotedText(token) + ": it is read as "
                   + (endsWithColon ? "an offset anchor at 0, so the pattern is tested at the start of the file only"
                                    : ReadAsByte(token)));
    } else if (endsWithColon) {
        CheckOffsetAnchor(token, line, findings);
    } else if (!pieces.empty() && IsAnchor(pieces.front())) {
        Report(findings, line,
               "offset anchor " + QuotedText(pieces.front()) + " has white space after its colon, so " + QuotedText(token)
                   + " is no anchor: it is read as " + ReadAsByte(token));
    }
}

// Checks a token in the place of a byte or wildcard. Empty tokens and those of
// white space alone are left to the layout finding.
void CheckPatternToken(std::string_view token, int line, Findings& findings)
{
    if (IsWildcard(token))
        return;
    const auto pieces = PiecesBetweenControlSpace(token);
    if (pieces.empty())
        return;
    if (IsSearchAnchor(token) || (!HasControlSpace(token) && IsAnchor(token))) {
        Report(findings, line,
               "anchor " + QuotedText(token) + " counts only as the first token; here it is read as " + ReadAsByte(token));
        return;
    }
    if (!HasControlSpace(token)) {
        CheckByteToken(token, true, line, findings);
        return;
    }
    if (std::any_of(pieces.begin(), pieces.end(), IsWildcard)) {
        Report(findings, line,
               "wildcard \"??\" has white space attached in " + QuotedText(token) + ", so the token is no wildcard: it is read as "
                   + ReadAsByte(token));
        return;
    }
    // Only the first value of a joined token is read; the joining itself is
    // the layout finding's.
    CheckByteToken(pieces.front(), false, line, findings);
}

} // namespace

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
    if (const auto form = NewFormOf(*text)) {
        CheckStructureMagic(*text, *form, line, findings);
        return;
    }

    // Token by token: a pattern may be far too long to hold as strings.
    bool first = true;
    ForEachToken(*text, [&](std::string_view token) {
        const bool anchorPlace = first;
        first = false;
        if (anchorPlace) {
            const auto pieces = PiecesBetweenControlSpace(token);
            const bool anchorLike = IsAnchor(token) || (!pieces.empty() && IsAnchor(pieces.front()));
            if (anchorLike) {
                CheckFirstToken(token, line, findings);
                return true;
            }
        }
        CheckPatternToken(token, line, findings);
        return true;
    });

    // A valid rule that holds on no file at all: an end anchor shorter than its pattern.
    const MagicRule rule = ParseMagicRule(*text);
    if (rule.valid && !MinimumFileSize(rule)) {
        Report(findings, line,
               "offset " + std::to_string(rule.offset) + " with " + std::to_string(rule.pattern.size())
                   + " tokens after it never matches: the pattern would run past the end of the file "
                     "(an end anchor -N: needs N at least the number of tokens after it)");
    }
}

} // namespace lint
