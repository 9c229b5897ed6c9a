// The structure tests of <magic> (ptr, zip, ole, oleclsid, gzip, zlib): the
// matcher parses them; here we say what an author got wrong in one.
#include "checks.h"

#include "inflate_reader.h"
#include "magic.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace lint {

namespace {

const char* Usage(MagicForm form)
{
    switch (form) {
    case MagicForm::Classic: break;
    case MagicForm::Pointer: return "ptr AT WIDTH DISP: BYTES... (WIDTH u16le, u16be, u32le or u32be; DISP as 0:, +24: or -2:)";
    case MagicForm::ZipMember: return "zip NAME, or zip NAME N: BYTES... / zip NAME ?: BYTES...";
    case MagicForm::OleEntry: return "ole NAME (at most 31 characters; %XX escapes a byte)";
    case MagicForm::OleClsid: return "oleclsid 00020906-0000-0000-C000-000000000046";
    case MagicForm::Gzip: return "gzip N: BYTES... or gzip ?: BYTES...";
    case MagicForm::Zlib: return "zlib AT N: BYTES... or zlib AT ?: BYTES...";
    case MagicForm::NonText: return "nontext, alone";
    case MagicForm::Text: return "text, or text ENC (ascii, utf-8, utf-16le, utf-16be, shift_jis, euc-jp or iso-2022-jp)";
    case MagicForm::Json: return "json, or json lines";
    case MagicForm::XmlRoot: return "xmlroot NAME (an XML element name, or * for any)";
    case MagicForm::Table: return "table , or table ; or table tab";
    case MagicForm::Line: return "line TEXT (%XX escapes a byte, %20 a space)";
    case MagicForm::Header: return "header NAME... (one to eight field names, without colons)";
    case MagicForm::Yaml: return "yaml, alone";
    case MagicForm::Ini: return "ini, alone";
    }
    return "";
}

// Of an inflated payload only the first kPayloadLimit bytes are made.
bool PastThePayloadBound(const StructureTest& test)
{
    return !test.search && test.offset + test.bytes.size() > kPayloadLimit;
}

} // namespace

void CheckStructureMagic(std::string_view text, MagicForm form, int line, Findings& findings)
{
    const MagicRule rule = ParseMagicRule(text);
    if (!rule.valid) {
        Report(findings, line, "this " + std::string(text.substr(0, text.find(' '))) + " test is malformed, so it "
                               + "never matches, nor does its type; write it as " + Usage(form)
                               + (IsTextForm(form) ? "" : ", each byte as two hex digits, ?? or VV&MM"));
        return;
    }
    const StructureTest& test = rule.structure;
    switch (form) {
    case MagicForm::Pointer: {
        const std::int64_t largest = test.width == PointerWidth::U16Le || test.width == PointerWidth::U16Be
                                         ? 0xFFFF : std::int64_t{0xFFFFFFFF};
        if (test.displacement < -largest)
            Report(findings, line, "displacement " + std::to_string(test.displacement) + " takes every value the "
                                   + "pointer can hold before the start of the file: this test never matches");
        break;
    }
    case MagicForm::ZipMember: {
        std::size_t length = 0;
        for (const std::string& piece : test.namePieces)
            length += piece.size();
        // A stored member is read wherever its bytes lie; only inflating is bounded, so an
        // offset past the bound is no fault here.
        if (length > 0xFFFF)
            Report(findings, line, "a ZIP member name holds at most 65535 bytes: this test never matches");
        break;
    }
    case MagicForm::OleEntry:
        if (std::any_of(test.oleName.begin(), test.oleName.end(),
                        [](char16_t c) { return c == u'/' || c == u'\\' || c == u':' || c == u'!'; }))
            Report(findings, line, "a compound file's names never hold / \\ : or !: this test never matches");
        break;
    case MagicForm::Gzip:
    case MagicForm::Zlib:
        if (PastThePayloadBound(test))
            Report(findings, line, "only the first 65536 bytes of the payload are inflated: this test never "
                                   "matches");
        break;
    case MagicForm::Line: {
        if (test.namePieces.front().size() > kTextHead)
            Report(findings, line, "line compares within the first 65536 bytes of text: this test never matches");
        break;
    }
    case MagicForm::Classic:
    case MagicForm::OleClsid:
    case MagicForm::NonText:
    case MagicForm::Text:
    case MagicForm::Json:
    case MagicForm::XmlRoot:
    case MagicForm::Table:
    case MagicForm::Header:
    case MagicForm::Yaml:
    case MagicForm::Ini:
        break;
    }
}

} // namespace lint
