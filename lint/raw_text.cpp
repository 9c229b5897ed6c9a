#include "checks.h"

#include "ascii.h"
#include "escaping.h"
#include "signatures/signature_text.h"

#include <algorithm>
#include <optional>

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

namespace lint {

SourceLines IndexLines(std::string_view text)
{
    SourceLines source{text, {0}};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            source.starts.push_back(i + 1);
    }
    return source;
}

namespace {

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
        // The parser ends a tag name at C's white space.
        const std::size_t after = at + open.size();
        if (!StartsWithAt(text, at, open) || after >= text.size()
            || !(IsAsciiSpace(text[after]) || text[after] == '>' || text[after] == '/')) {
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
        for (; j < text.size() && (hex ? IsHexDigit(text[j]) : IsDecimalDigit(text[j])); ++j) {
            const auto digit = static_cast<std::uint32_t>(HexDigitValue(text[j]));
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (j > digitsStart && j < text.size() && text[j] == ';' && value >= 0x80)
            references.push_back(text.substr(i, j + 1 - i));
        i = j;
    }
    return references;
}

// Line and column (both from 1, the column in bytes) of a place in the text.
std::pair<int, std::size_t> PlaceOf(const SourceLines& source, std::size_t at)
{
    const auto line = std::upper_bound(source.starts.begin(), source.starts.end(), at) - source.starts.begin();
    return {static_cast<int>(line), at - source.starts[static_cast<std::size_t>(line) - 1] + 1};
}

std::string LineAndColumn(const SourceLines& source, std::size_t at)
{
    const auto [line, column] = PlaceOf(source, at);
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// A character XML lets a reference name.
bool IsXmlCharacter(std::uint32_t value)
{
    return value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value <= 0xD7FF)
        || (value >= 0xE000 && value <= 0xFFFD) || (value >= 0x10000 && value <= 0x10FFFF);
}

// How long the reference at text[at] (an '&') is, or 0 when it is none that
// the parser reads right: it knows the five predefined entities and &#N; and
// &#xN; (a lower-case x) for a character XML allows, and passes anything
// else over as it happens to, dropping or garbling bytes around it.
std::size_t ReferenceLength(std::string_view text, std::size_t at)
{
    for (std::string_view entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
        if (StartsWithAt(text, at, entity))
            return entity.size();
    }
    if (!StartsWithAt(text, at, "&#"))
        return 0;
    std::size_t j = at + 2;
    const bool hex = j < text.size() && text[j] == 'x';
    j += hex;
    const std::size_t digitsStart = j;
    std::uint32_t value = 0;
    for (; j < text.size() && (hex ? IsHexDigit(text[j]) : IsDecimalDigit(text[j])); ++j)
        value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(HexDigitValue(text[j])),
                                        0x110000);
    if (j == digitsStart || j >= text.size() || text[j] != ';' || !IsXmlCharacter(value))
        return 0;
    return j + 1 - at;
}

// What an author wrote at a stray '&': the name or number that follows it, up
// to its ';', when that is short, else the '&' alone.
std::string_view WrittenAt(std::string_view text, std::size_t at)
{
    constexpr std::size_t kLongest = 12;
    std::size_t end = at + 1;
    while (end < text.size() && end - at < kLongest && (IsXmlNameChar(text[end]) || text[end] == '#'))
        ++end;
    return end < text.size() && text[end] == ';' ? text.substr(at, end + 1 - at) : text.substr(at, 1);
}

std::size_t NameEnd(std::string_view text, std::size_t at)
{
    while (at < text.size() && !IsAsciiSpace(text[at]) && text[at] != '>' && text[at] != '/')
        ++at;
    return at;
}

// Where a tag that starts at text[at] ends (the index of its '>'); a quoted
// attribute value may hold a '>'. Empty when the text ends first.
std::optional<std::size_t> TagEnd(std::string_view text, std::size_t at)
{
    char quote = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (quote)
            quote = text[i] == quote ? 0 : quote;
        else if (text[i] == '"' || text[i] == '\'')
            quote = text[i];
        else if (text[i] == '>')
            return i;
    }
    return std::nullopt;
}

} // namespace

RawTextFindings ScanRawText(const SourceLines& source)
{
    RawTextFindings found;
    const std::string_view text = source.text;
    struct Open {
        std::string_view name;
        std::size_t at;
    };
    std::vector<Open> open;
    // Stray '&'s by line: the first few of each written out, the rest counted.
    constexpr std::size_t kWrittenOut = 6;
    struct Strays {
        std::vector<std::string> written;
        std::size_t count = 0;
    };
    std::map<int, Strays> strays;
    auto noteStray = [&](std::size_t at) {
        const auto [line, column] = PlaceOf(source, at);
        Strays& onLine = strays[line];
        if (onLine.count++ < kWrittenOut)
            onLine.written.push_back(QuotedText(WrittenAt(text, at)) + " at column " + std::to_string(column));
    };
    auto noteTags = [&](std::size_t at, std::string problem) {
        found.tagsLine = PlaceOf(source, at).first;
        found.tags = std::move(problem);
    };

    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '&') {
            const std::size_t length = ReferenceLength(text, i);
            if (length == 0)
                noteStray(i);
            i += std::max<std::size_t>(length, 1);
            continue;
        }
        if (text[i] != '<') {
            ++i;
            continue;
        }
        // Nothing is read inside comments, CDATA sections, declarations and
        // processing instructions.
        std::string_view skipTo;
        if (StartsWithAt(text, i, "<!--"))
            skipTo = "-->";
        else if (StartsWithAt(text, i, "<![CDATA["))
            skipTo = "]]>";
        else if (StartsWithAt(text, i, "<?"))
            skipTo = "?>";
        else if (StartsWithAt(text, i, "<!"))
            skipTo = ">";
        if (!skipTo.empty()) {
            const std::size_t end = text.find(skipTo, i + 2);
            if (end == std::string_view::npos)
                break;
            i = end + skipTo.size();
            continue;
        }
        const bool closing = StartsWithAt(text, i, "</");
        const std::size_t nameStart = i + (closing ? 2 : 1);
        const std::string_view name = text.substr(nameStart, NameEnd(text, nameStart) - nameStart);
        const auto end = TagEnd(text, nameStart);
        if (!end) {
            noteTags(i, "the tag " + QuotedText(text.substr(i, nameStart + name.size() - i)) + " at "
                     + LineAndColumn(source, i) + " never ends");
            break;
        }
        // An attribute value is read like text: its references count too.
        for (std::size_t j = nameStart; j < *end; ++j) {
            if (text[j] == '&' && ReferenceLength(text, j) == 0)
                noteStray(j);
        }
        // Past the first tag that does not pair up, the rest would only echo
        // it; the '&'s are still looked for.
        if (!found.tags.empty()) {
        } else if (!closing) {
            if (text[*end - 1] != '/')
                open.push_back({name, i});
        } else if (open.empty()) {
            noteTags(i, "</" + std::string(name) + "> at " + LineAndColumn(source, i)
                     + " closes no open element: the parser stops there and reads nothing after it");
        } else if (open.back().name != name) {
            noteTags(i, "</" + std::string(name) + "> at " + LineAndColumn(source, i) + " does not close <"
                     + std::string(open.back().name) + "> of " + LineAndColumn(source, open.back().at));
        } else {
            open.pop_back();
        }
        i = *end + 1;
    }
    if (found.tags.empty() && !open.empty()) {
        // The innermost few: a truncated file may leave hundreds open.
        constexpr std::size_t kNamed = 4;
        std::vector<std::string> never;
        for (std::size_t k = open.size() > kNamed ? open.size() - kNamed : 0; k < open.size(); ++k)
            never.push_back("<" + std::string(open[k].name) + "> of line " + std::to_string(PlaceOf(source, open[k].at).first));
        if (open.size() > kNamed)
            never.insert(never.begin(), std::to_string(open.size() - kNamed) + " elements around them");
        found.tagsLine = PlaceOf(source, open.back().at).first;
        found.tags = JoinedList(never) + (never.size() > 1 ? " are" : " is") + " never closed";
    }
    for (auto& [line, onLine] : strays) {
        if (onLine.count > kWrittenOut)
            onLine.written.push_back(std::to_string(onLine.count - kWrittenOut) + " more");
        found.ampersands.push_back({line, JoinedList(onLine.written), onLine.count});
    }
    return found;
}

void ReportStrayAmpersands(const RawTextFindings& found, Findings& findings)
{
    for (const StrayAmpersands& stray : found.ampersands)
        Report(findings, stray.line,
               stray.written + (stray.count > 1 ? " start" : " starts") + " no reference the parser reads (&amp; &lt; &gt; &quot; &apos; &#N; &#xN;): it keeps, "
                         "drops or garbles the bytes there, and \"A &amp; B & C\" reads \"A & B ; C\"; write a lone "
                         "& as &amp;");
}

LineOccurrences CountOccurrences(const XMLDocument& document)
{
    LineOccurrences occurrences;
    std::map<std::pair<std::string, int>, int> seen;
    CountOccurrences(&document, seen, occurrences);
    return occurrences;
}

void CheckCharacterReferences(const XMLElement* element, std::string_view decoded, const SourceLines& source,
                              const LineOccurrences& occurrences, Findings& findings)
{
    // A reference becomes UTF-8 bytes. Beside ASCII alone the text is UTF-8
    // and both programs read it so; beside bytes in another encoding the
    // whole text is read in the ANSI code page, and the reference garbled.
    if (IsNonAsciiUtf8(decoded)
        || std::none_of(decoded.begin(), decoded.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
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
               + list + " beside text that is not UTF-8: the text is then read in the ANSI code page, and the "
               + "reference's UTF-8 bytes show garbled; save the whole text in UTF-8, or write the character "
               + "directly in that code page");
}

} // namespace lint
