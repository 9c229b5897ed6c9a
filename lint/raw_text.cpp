#include "checks.h"

#include "ascii.h"
#include "signature_text.h"

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

} // namespace

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
