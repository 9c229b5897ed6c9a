// The document walk: what the file as a whole lacks, then each type, then
// the types against each other.
#include "checks.h"

#include "signatures/signature_xml.h"

#include <algorithm>

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;
using tinyxml2::XMLError;
using namespace lint;

namespace {

// tinyxml2's error text begins with its name and line, which the finding
// already carries; what follows "Line number=N: " is the useful detail.
std::string ParseErrorDetail(const XMLDocument& document)
{
    const std::string_view text = document.ErrorStr();
    const std::size_t lineField = text.find("Line number=");
    const std::size_t detail = lineField == std::string_view::npos ? lineField : text.find(": ", lineField);
    return detail == std::string_view::npos ? std::string() : std::string(text.substr(detail + 2));
}

// The parser names a mismatched or unclosed element only by its error's name;
// the raw text tells which tags and lines are at fault.
bool ErrorOfTags(XMLError loaded)
{
    return loaded == tinyxml2::XML_ERROR_MISMATCHED_ELEMENT || loaded == tinyxml2::XML_ERROR_PARSING;
}

void CheckLoadError(const XMLDocument& document, XMLError loaded, bool datKept, const std::string& tags,
                    Findings& findings)
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
    const std::string detail = ErrorOfTags(loaded) && !tags.empty() ? tags : ParseErrorDetail(document);
    Report(findings, document.ErrorLineNum(),
           std::string("XML is not well-formed: ") + document.ErrorName() + (detail.empty() ? "" : " (" + detail + ")")
               + (datKept ? "; the error lies after <dat>, which is read whole, so detection is not affected"
                          : "; it lies before the end of <dat>, so <dat> is dropped and no file will be detected"));
}

std::vector<LintFinding> LintDocument(const XMLDocument& document, XMLError loaded, std::string_view text)
{
    Findings findings;
    const SourceLines source = IndexLines(text);
    const RawTextFindings raw = ScanRawText(source);
    ReportStrayAmpersands(raw, findings);
    const XMLElement* dat = document.FirstChildElement("dat");
    if (loaded != tinyxml2::XML_SUCCESS)
        CheckLoadError(document, loaded, dat != nullptr, raw.tags, findings);
    else if (!raw.tags.empty())
        Report(findings, raw.tagsLine, raw.tags);
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
        const LineOccurrences occurrences = CountOccurrences(document);
        for (auto* type = types->FirstChildElement("type"); type; type = type->NextSiblingElement("type"))
            CheckType(type, source, occurrences, findings);
        CheckShadowing(types, findings);
        CheckLanguages(types, findings);
        CheckMimeKinship(types, findings);
    }

    std::stable_sort(findings.begin(), findings.end(),
                     [](const LintFinding& a, const LintFinding& b) { return a.line < b.line; });
    return findings;
}

} // namespace

LintResult LintSignatureFile(const std::filesystem::path& file)
{
    // Read once: the raw text for the line scans and the tree from the very
    // same bytes, through the loader's own reading.
    LintResult result;
    XMLDocument document;
    std::string text;
    XMLError loaded;
    result.file = LoadSignatureDocument(document, file, text, loaded);
    if (result.file == WholeFileResult::Read)
        result.findings = LintDocument(document, loaded, text);
    return result;
}
