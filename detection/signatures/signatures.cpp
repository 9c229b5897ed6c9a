// Loading the signature file into a table: its types, their rules compiled and indexed.
#include "signatures/signatures.h"
#include "files/platform_file.h"
#include "signatures/signature_xml.h"

#include <algorithm>

namespace {

// The value of encoding="..." in the document's XML declaration, if it has one.
std::string DeclaredEncoding(const tinyxml2::XMLDocument& document)
{
    const tinyxml2::XMLNode* first = document.FirstChild();
    const tinyxml2::XMLDeclaration* declaration = first ? first->ToDeclaration() : nullptr;
    if (!declaration || !declaration->Value())
        return {};
    const std::string_view text = declaration->Value();
    const std::size_t name = text.find("encoding");
    const std::size_t quote = name == text.npos ? text.npos : text.find_first_of("\"'", name);
    if (quote == text.npos)
        return {};
    const std::size_t end = text.find(text[quote], quote + 1);
    return end == text.npos ? std::string() : std::string(text.substr(quote + 1, end - quote - 1));
}

// The first byte that a type's first pattern requires, if it requires one.
std::optional<std::uint8_t> RequiredFirstByte(const SignatureType& type)
{
    const MagicRule& first = type.magics.front();
    if (!first.valid || first.form != MagicForm::Classic || first.anchor != MagicAnchor::Offset || first.offset != 0 || first.pattern.empty()
        || first.pattern.front().wildcard)
        return std::nullopt;
    return first.pattern.front().value;
}

void IndexByFirstByte(SignatureTable& table)
{
    // Most types take any first byte and stand in all 256 lists: sized once,
    // the lists are filled without growing.
    std::vector<std::optional<std::uint8_t>> required(table.types.size());
    std::array<std::size_t, 256> sizes{};
    std::size_t anyByte = 0;
    for (std::uint32_t i = 0; i < table.types.size(); ++i) {
        required[i] = RequiredFirstByte(table.types[i]);
        required[i] ? ++sizes[*required[i]] : ++anyByte;
    }
    for (unsigned b = 0; b < 256; ++b)
        table.candidatesByFirstByte[b].reserve(sizes[b] + anyByte);
    for (std::uint32_t i = 0; i < table.types.size(); ++i) {
        if (required[i]) {
            table.candidatesByFirstByte[*required[i]].push_back(i);
            continue;
        }
        for (auto& candidates : table.candidatesByFirstByte)
            candidates.push_back(i);
    }
}

void CompileSearches(SignatureTable& table)
{
    std::vector<std::vector<PatternByte>> patterns;
    for (SignatureType& type : table.types) {
        for (MagicRule& rule : type.magics) {
            if (!rule.valid || rule.form != MagicForm::Classic || rule.anchor != MagicAnchor::Search || rule.pattern.empty()
                || patterns.size() == MagicRule::kNoSearchIndex)
                continue;
            rule.searchIndex = static_cast<std::uint32_t>(patterns.size());
            patterns.push_back(rule.pattern);
        }
    }
    table.searches = BuildSearchScanner(std::move(patterns));
}

// A type whose lang test names one language defines it, and its weigh
// rules are that language's evidence; one that names two is the answer for
// the pair and weighs nothing of its own.
void CompileLanguages(SignatureTable& table)
{
    table.languages = {};
    for (const SignatureType& type : table.types) {
        const auto lang = std::find_if(type.magics.begin(), type.magics.end(), [](const MagicRule& rule) {
            return rule.valid && rule.form == MagicForm::Language && rule.structure.namePieces.size() == 1;
        });
        if (lang == type.magics.end())
            continue;
        const std::uint32_t language = LanguageIndex(table.languages, lang->structure.namePieces[0]);
        for (const MagicRule& rule : type.magics) {
            if (rule.valid && rule.form == MagicForm::Weigh)
                AddEvidence(table.languages, {rule.structure.evidence, rule.structure.namePieces[0], rule.structure.weight, language});
        }
    }
    IndexLanguageEvidence(table.languages);
}

} // namespace

bool IsTextType(const SignatureType& type)
{
    for (const MagicRule& rule : type.magics) {
        if (rule.valid && IsTextForm(rule.form))
            return true;
    }
    return false;
}

bool TextCanHold(const MagicRule& rule)
{
    if (!rule.valid)
        return false;
    // A masked byte holds on text when one byte that plain text allows fits it.
    const auto maskedFits = [](const MaskedByte& b) {
        for (unsigned c = 0; c < 0x80; ++c) {
            if (IsPlainTextByte(static_cast<std::uint8_t>(c)) && (c & b.mask) == b.value)
                return true;
        }
        return false;
    };
    if (IsTextForm(rule.form))
        return true;
    switch (rule.form) {
    case MagicForm::Classic:
        return std::all_of(rule.pattern.begin(), rule.pattern.end(),
                           [](const PatternByte& b) { return b.wildcard || IsPlainTextByte(b.value); });
    case MagicForm::Pointer:
    case MagicForm::Near:
        return std::all_of(rule.structure.bytes.begin(), rule.structure.bytes.end(), maskedFits);
    case MagicForm::ZipMember:
    case MagicForm::OleEntry:
    case MagicForm::OleClsid:
    case MagicForm::Gzip:
    case MagicForm::Zlib:
    case MagicForm::NonText:
        return false;
    default:
        return true;  // the text forms, taken above
    }
}

bool TextCanSatisfy(std::span<const MagicRule> magics)
{
    for (const MagicRule& rule : magics) {
        if (!TextCanHold(rule))
            return false;
        if (rule.form == MagicForm::Classic && rule.anchor == MagicAnchor::Search)
            return true;
    }
    return !magics.empty();
}

namespace {

// The parser's own error text repeats its code's name and the line; a
// program's user reads what went wrong, and the parser's detail after it.
std::string XmlErrorInWords(const tinyxml2::XMLDocument& document, tinyxml2::XMLError parsed)
{
    const char* words = nullptr;
    switch (parsed) {
    case tinyxml2::XML_ERROR_EMPTY_DOCUMENT: words = "the set holds no XML"; break;
    case tinyxml2::XML_ERROR_PARSING_ELEMENT: words = "an element could not be read"; break;
    case tinyxml2::XML_ERROR_PARSING_ATTRIBUTE: words = "an attribute could not be read"; break;
    case tinyxml2::XML_ERROR_PARSING_TEXT: words = "text could not be read"; break;
    case tinyxml2::XML_ERROR_PARSING_CDATA: words = "a CDATA section could not be read"; break;
    case tinyxml2::XML_ERROR_PARSING_COMMENT: words = "a comment could not be read"; break;
    case tinyxml2::XML_ERROR_PARSING_DECLARATION: words = "a declaration could not be read"; break;
    case tinyxml2::XML_ERROR_PARSING_UNKNOWN: words = "a <! ... > construct could not be read"; break;
    case tinyxml2::XML_ERROR_MISMATCHED_ELEMENT: words = "an end tag does not match the element it closes"; break;
    case tinyxml2::XML_ERROR_PARSING: words = "an element is left open, or a tag is broken"; break;
    case tinyxml2::XML_ELEMENT_DEPTH_EXCEEDED: words = "elements are nested too deep"; break;
    default: words = document.ErrorName(); break;
    }
    const std::string_view text = document.ErrorStr() ? document.ErrorStr() : "";
    const std::size_t lineField = text.find("Line number=");
    const std::size_t detail = lineField == std::string_view::npos ? lineField : text.find(": ", lineField);
    return detail == std::string_view::npos ? std::string(words)
                                            : std::string(words) + " (" + std::string(text.substr(detail + 2)) + ")";
}

void NoteXmlError(const tinyxml2::XMLDocument& document, tinyxml2::XMLError parsed, SignatureXmlError* xmlError)
{
    if (!xmlError)
        return;
    *xmlError = {};
    if (parsed == tinyxml2::XML_SUCCESS)
        return;
    xmlError->failed = true;
    xmlError->line = document.ErrorLineNum();
    xmlError->message = XmlErrorInWords(document, parsed);
}

// The types of a parsed document, which LoadSignatureTable and
// ParseSignatureTable share: only where the bytes come from differs.
void ReadTable(const tinyxml2::XMLDocument& document, SignatureTable& table)
{
    table.state = SignatureFileState::Unusable;
    table.declaredEncoding = DeclaredEncoding(document);

    const tinyxml2::XMLElement* dat = document.FirstChildElement("dat");
    const tinyxml2::XMLElement* types = dat ? dat->FirstChildElement("types") : nullptr;
    if (!types)
        return;
    table.state = SignatureFileState::Usable;

    for (auto* type = types->FirstChildElement("type"); type; type = type->NextSiblingElement("type")) {
        SignatureType entry;
        entry.magics = ReadTypeMagics(type);
        // A type without patterns can never be reported; it need not be carried.
        if (entry.magics.empty())
            continue;
        entry.line = type->GetLineNum();
        entry.general = type->FirstChildElement("general") != nullptr;
        entry.title = ElementText(type->FirstChildElement("title")).value_or(std::string());
        for (auto* ext = type->FirstChildElement("ext"); ext; ext = ext->NextSiblingElement("ext"))
            entry.extensions.push_back(ElementText(ext).value_or(std::string()));
        for (auto* mime = type->FirstChildElement("mime"); mime; mime = mime->NextSiblingElement("mime"))
            entry.mimeTypes.push_back(ElementText(mime).value_or(std::string()));
        table.types.push_back(std::move(entry));
    }
    IndexSignatureTable(table);
}

} // namespace

SignatureTable LoadSignatureTable(const std::filesystem::path& path, SignatureXmlError* xmlError)
{
    SignatureTable table;
    tinyxml2::XMLDocument document;
    tinyxml2::XMLError parsed;
    {
        std::string text;  // the document keeps its own copy
        table.file = LoadSignatureDocument(document, path, text, parsed);
    }
    if (table.file != WholeFileResult::Read)
        return table;
    NoteXmlError(document, parsed, xmlError);
    ReadTable(document, table);
    return table;
}

SignatureTable ParseSignatureTable(std::string_view text, SignatureXmlError* xmlError)
{
    SignatureTable table;
    if (text.size() > kMaxSignatureFileBytes) {
        table.file = WholeFileResult::TooLarge;
        return table;
    }
    table.file = WholeFileResult::Read;
    tinyxml2::XMLDocument document;
    const tinyxml2::XMLError parsed = document.Parse(text.data(), text.size());
    NoteXmlError(document, parsed, xmlError);
    ReadTable(document, table);
    return table;
}

void IndexSignatureTable(SignatureTable& table)
{
    for (auto& candidates : table.candidatesByFirstByte)
        candidates.clear();
    IndexByFirstByte(table);
    CompileSearches(table);
    CompileLanguages(table);
}
