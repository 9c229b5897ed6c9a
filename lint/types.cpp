#include "checks.h"

#include "ascii.h"
#include "escaping.h"
#include "signature_xml.h"

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
                   "<ext> " + QuotedText(*text) + " lacks its leading period: renaming would append it to the name "
                   "without one (write " + QuotedText("." + *text) + ")");
        CheckCharacterReferences(ext, *text, source, occurrences, findings);
    }
}

} // namespace lint
