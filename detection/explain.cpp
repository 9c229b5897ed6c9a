// Why a file was named as it was, in lines for people and in JSON for programs.
#include "explain.h"

#include "escaping.h"

namespace {

std::string Encoding(const PatternHeld& held)
{
    return held.encoding ? std::string(TextEncodingTitle(*held.encoding)) : "?";
}

// Where a pattern held, in words: for the new forms also what it held on
// (the pointer's value and where it was read, the member or entry, the
// place in a payload).
std::string Held(const PatternHeld& held)
{
    const MagicRule& rule = *held.rule;
    const std::string offset = std::to_string(held.offset);
    const std::string inData = (rule.structure.search ? "found at offset " : "held at offset ") + offset;
    switch (rule.form) {
    case MagicForm::Classic:
        break;
    case MagicForm::Pointer:
        return "pointer " + std::to_string(held.value) + " read at offset " + std::to_string(rule.structure.at)
             + ", held at offset " + offset;
    case MagicForm::ZipMember:
        return "member " + DisplayText(held.name) + (rule.structure.hasBytes ? ", " + inData + " of its data" : "");
    case MagicForm::OleEntry:
        return "entry " + DisplayText(held.name);
    case MagicForm::OleClsid:
        return "root entry's class id";
    case MagicForm::Gzip:
    case MagicForm::Zlib:
        return inData + " of the payload";
    case MagicForm::Near:
        return "window from offset " + std::to_string(held.value) + ", found at offset " + offset;
    case MagicForm::NonText:
        return "no text";
    case MagicForm::Text:
    case MagicForm::Json:
    case MagicForm::Table:
    case MagicForm::Line:
    case MagicForm::Header:
    case MagicForm::Yaml:
    case MagicForm::Ini:
        return "text in " + Encoding(held);
    case MagicForm::XmlRoot:
        return "root element " + DisplayText(held.name) + ", text in " + Encoding(held);
    case MagicForm::Language:
        return "weighed " + DisplayText(held.name) + ", text in " + Encoding(held);
    case MagicForm::Weigh:
        return "evidence, text in " + Encoding(held);
    }
    return (rule.anchor == MagicAnchor::Search ? "found at offset " : "held at offset ") + offset;
}

const char* Kind(const MagicRule& rule)
{
    switch (rule.form) {
    case MagicForm::Classic: return rule.anchor == MagicAnchor::Search ? "search" : "offset";
    case MagicForm::Pointer: return "pointer";
    case MagicForm::ZipMember: return "zip";
    case MagicForm::OleEntry: return "ole";
    case MagicForm::OleClsid: return "oleclsid";
    case MagicForm::Gzip: return "gzip";
    case MagicForm::Zlib: return "zlib";
    case MagicForm::Near: return "near";
    case MagicForm::NonText: return "nontext";
    case MagicForm::Text: return "text";
    case MagicForm::Json: return "json";
    case MagicForm::XmlRoot: return "xmlroot";
    case MagicForm::Table: return "table";
    case MagicForm::Line: return "line";
    case MagicForm::Header: return "header";
    case MagicForm::Yaml: return "yaml";
    case MagicForm::Ini: return "ini";
    case MagicForm::Language: return "lang";
    case MagicForm::Weigh: return "weigh";
    }
    return "offset";
}

} // namespace

std::vector<std::string> ExplainLines(DetectionState state, const DetectionBasis& basis)
{
    const std::string tried = std::to_string(basis.typesTried) + (basis.typesTried == 1 ? " type" : " types");
    switch (state) {
    case DetectionState::Unreadable:
        return {};
    case DetectionState::Undetermined:
        return {"no type matched; " + tried + " tried"};
    case DetectionState::Detected:
        break;
    }
    std::vector<std::string> lines{"type at line " + std::to_string(basis.type ? basis.type->line : 0) + " (" + tried
                                   + " tried)"
                                   + (basis.type && basis.type->general ? "; a general answer, a family of formats" : "")};
    if (basis.type && !basis.type->mimeTypes.empty()) {
        std::string mime = "MIME type " + DisplayText(basis.type->mimeTypes.front());
        for (std::size_t i = 1; i < basis.type->mimeTypes.size(); ++i)
            mime += (i == 1 ? " (also " : ", ") + DisplayText(basis.type->mimeTypes[i]);
        lines.push_back(mime + (basis.type->mimeTypes.size() > 1 ? ")" : ""));
    }
    for (const PatternHeld& held : basis.patterns) {
        lines.push_back("line " + std::to_string(held.rule->line) + "  " + DisplayText(FormatMagicRule(*held.rule))
                        + "  " + Held(held));
    }
    return lines;
}

std::string ExplainJson(DetectionState state, const DetectionBasis& basis)
{
    if (state == DetectionState::Unreadable)
        return "null";
    std::string json = "{\"typesTried\": " + std::to_string(basis.typesTried);
    if (state == DetectionState::Detected && basis.type) {
        json += ", \"line\": " + std::to_string(basis.type->line) + ", \"patterns\": [";
        for (std::size_t i = 0; i < basis.patterns.size(); ++i) {
            const PatternHeld& held = basis.patterns[i];
            const MagicRule& rule = *held.rule;
            json += std::string(i ? ", " : "") + "{\"line\": " + std::to_string(rule.line)
                  + ", \"pattern\": " + JsonString(FormatMagicRule(rule)) + ", \"kind\": \"" + Kind(rule)
                  + "\", \"offset\": " + std::to_string(held.offset);
            if (rule.form == MagicForm::Near)
                json += ", \"window\": " + std::to_string(held.value);
            if (rule.form == MagicForm::Pointer)
                json += ", \"pointer\": " + std::to_string(held.value) + ", \"pointerAt\": "
                      + std::to_string(rule.structure.at);
            if (rule.form == MagicForm::ZipMember || rule.form == MagicForm::OleEntry || rule.form == MagicForm::XmlRoot
                || rule.form == MagicForm::Language)
                json += ", \"name\": " + JsonString(held.name);
            if (held.encoding)
                json += ", \"encoding\": \"" + std::string(TextEncodingTitle(*held.encoding)) + "\"";
            json += "}";
        }
        json += "]";
    }
    return json + "}";
}
