// The signature document's elements read with tinyxml2, for the loader and the linter alike.
#include "signatures/signature_xml.h"
#include "signatures/signatures.h"

std::optional<std::string> ElementText(const tinyxml2::XMLElement* element)
{
    const tinyxml2::XMLNode* first = element ? element->FirstChild() : nullptr;
    if (!first || !first->ToText())
        return std::nullopt;
    return std::string(first->Value());
}

WholeFileResult LoadSignatureDocument(tinyxml2::XMLDocument& document, const std::filesystem::path& path,
                                      std::string& text, tinyxml2::XMLError& parsed)
{
    UniqueStdioFile stream;
    const WholeFileResult read = ReadWholeFile(path, kMaxSignatureFileBytes, text, stream);
    parsed = tinyxml2::XML_ERROR_FILE_READ_ERROR;
    if (read != WholeFileResult::Read)
        return read;
    // LoadFile, not Parse: only LoadFile keeps the nodes read before a syntax error.
    parsed = stream ? document.LoadFile(stream.get()) : tinyxml2::XML_ERROR_EMPTY_DOCUMENT;
    return read;
}

std::vector<MagicRule> ReadTypeMagics(const tinyxml2::XMLElement* type)
{
    std::vector<MagicRule> rules;
    for (auto* magic = type->FirstChildElement("magic"); magic; magic = magic->NextSiblingElement("magic")) {
        // Read in place: a set holds thousands of patterns, and a copy of each costs the load.
        const tinyxml2::XMLNode* first = magic->FirstChild();
        rules.push_back(ParseMagicRule(first && first->ToText() ? first->Value() : ""));
        rules.back().line = magic->GetLineNum();
    }
    return rules;
}
