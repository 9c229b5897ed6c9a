#include "checks.h"

#include "ascii.h"
#include "escaping.h"
#include "signatures/signature_xml.h"
#include "signatures/signatures.h"

#include <algorithm>

using tinyxml2::XMLElement;

namespace lint {

std::string TypeName(const XMLElement* type)
{
    auto title = ElementText(type->FirstChildElement("title"));
    if (title && !title->empty())
        return "type " + QuotedText(*title);
    return "the type at line " + std::to_string(type->GetLineNum());
}

// Element names are compared byte for byte: an element spelled with other
// capitals is passed over together with everything inside it.
void CheckCapitals(const tinyxml2::XMLNode* parent, std::initializer_list<std::string_view> names, Findings& findings)
{
    for (auto* child = parent->FirstChildElement(); child; child = child->NextSiblingElement()) {
        const std::string_view name = child->Name();
        for (auto expected : names) {
            if (name != expected && EqualIgnoringAsciiCase<char>(name, expected)) {
                Report(findings, child->GetLineNum(),
                       "<" + std::string(name) + "> is ignored with everything inside it: element names are "
                       "case-sensitive (write <" + std::string(expected) + ">)");
            }
        }
    }
}

namespace {

// A note that opens with a binary format's printable magic is not that
// format: a binary type must test a byte that text cannot hold, and a format
// whose files are text must say so with a text form (which also keeps it
// behind the binary types and under a general text answer's rules).
void CheckTextCanSatisfy(const XMLElement* type, Findings& findings)
{
    SignatureType parsed;
    parsed.magics = ReadTypeMagics(type);
    if (IsTextType(parsed) || !TextCanSatisfy(parsed.magics))
        return;
    Report(findings, type->GetLineNum(),
           TypeName(type) + " could name a text file, since text can hold every byte it tests: test something "
           "text cannot hold too (a NUL or control byte at a fixed place, a size, count or version field in its "
           "range, or nontext), or, if its files are text, their structure with a text form (text, line, header...)");
}

} // namespace

void CheckType(const XMLElement* type, const SourceLines& source, const LineOccurrences& occurrences,
               Findings& findings)
{
    CheckCapitals(type, {"magic", "title", "ext", "mime"}, findings);

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
                   "<ext> " + QuotedText(*text) + " lacks its leading period: renaming would append it to the name "
                   "without one (write " + QuotedText("." + *text) + ")");
        CheckCharacterReferences(ext, *text, source, occurrences, findings);
    }
    for (auto* mime = type->FirstChildElement("mime"); mime; mime = mime->NextSiblingElement("mime"))
        CheckMime(mime, findings);
    CheckTextCanSatisfy(type, findings);
}

} // namespace lint
