// What the linter's checks share: the findings they add to, how a message is
// written, and each group of checks as the document walk calls it.
#pragma once

#include "lint.h"
#include "patterns/magic.h"

#include <tinyxml2.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lint {

using Findings = std::vector<LintFinding>;

// Every finding is one line: texts of the document are quoted with their
// control characters spelled out, and whatever else reaches a message (the
// parser's own error text quotes the document raw) is escaped here.
void Report(Findings& findings, int line, const std::string& message);

// A text of the document goes into a message as QuotedText (escaping.h) makes it.
std::string Hex(std::uint32_t value);
// "a", "a and b", "a, b and c".
std::string JoinedList(const std::vector<std::string>& items);

// The raw text (raw_text.cpp): the parser has decoded character references by
// the time the tree is walked, so to see how a text was written we go back to it.
struct SourceLines {
    std::string_view text;
    std::vector<std::size_t> starts;  // line n begins at starts[n - 1]
};
SourceLines IndexLines(std::string_view text);

// What the parser's reading hides of the raw text, found in one pass: each
// '&' that starts no reference it reads right, and the first tag that does
// not pair up (the parser reports that one only as a bare error name, or for
// a stray end tag at the top not at all: it stops reading there).
struct StrayAmpersands {
    int line;
    std::string written;  // each one quoted, with its column
    std::size_t count;
};
struct RawTextFindings {
    std::vector<StrayAmpersands> ampersands;  // by line
    std::string tags;                         // empty when every tag pairs up
    int tagsLine = 0;
};
RawTextFindings ScanRawText(const SourceLines& source);
void ReportStrayAmpersands(const RawTextFindings& found, Findings& findings);

// How many elements of the same name start on the same line before each
// element, so that the k-th element on a line can be found as the k-th start
// tag of that name on it.
using LineOccurrences = std::map<const tinyxml2::XMLElement*, int>;
LineOccurrences CountOccurrences(const tinyxml2::XMLDocument& document);

// Titles and extensions are handed to the window system unconverted and read
// in the ANSI code page, but a character reference has become UTF-8 bytes.
void CheckCharacterReferences(const tinyxml2::XMLElement* element, std::string_view decoded,
                              const SourceLines& source, const LineOccurrences& occurrences, Findings& findings);

// The tokens of one <magic> text (tokens.cpp).
void CheckMagic(const tinyxml2::XMLElement* magic, Findings& findings);
// A <magic> text in one of the structure forms (forms.cpp).
void CheckStructureMagic(std::string_view text, MagicForm form, int line, Findings& findings);

// One <type> and the names of elements (types.cpp).
std::string TypeName(const tinyxml2::XMLElement* type);
void CheckCapitals(const tinyxml2::XMLNode* parent, std::initializer_list<std::string_view> names,
                   Findings& findings);
void CheckType(const tinyxml2::XMLElement* type, const SourceLines& source, const LineOccurrences& occurrences,
               Findings& findings);

// Language types as a whole: evidence never weighed, languages without evidence (languages.cpp).
void CheckLanguages(const tinyxml2::XMLElement* types, Findings& findings);

// One <mime> (mime.cpp); and MIME types given to formats that share nothing.
void CheckMime(const tinyxml2::XMLElement* mime, Findings& findings);
void CheckMimeKinship(const tinyxml2::XMLElement* types, Findings& findings);

// Types that an earlier type always wins (shadowing.cpp).
void CheckShadowing(const tinyxml2::XMLElement* types, Findings& findings);

} // namespace lint
