// The structure tests of <magic> (ptr, zip, ole, oleclsid, gzip, zlib, near): the
// matcher parses them; here we say what an author got wrong in one.
#include "checks.h"

#include "escaping.h"
#include "structures/inflate_reader.h"
#include "patterns/magic.h"

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
    case MagicForm::Near:
        return "near N SPAN: BYTES..., near -N SPAN: BYTES..., near ptr AT WIDTH DISP SPAN: BYTES... or near pe "
               "export|import|resource SPAN: BYTES... (SPAN from 1 to 1048576, at least as long as BYTES)";
    case MagicForm::NonText: return "nontext, alone";
    case MagicForm::Text: return "text, or text ENC (ascii, utf-8, utf-16le, utf-16be, shift_jis, euc-jp or iso-2022-jp)";
    case MagicForm::Json: return "json, or json lines";
    case MagicForm::XmlRoot:
        return "xmlroot NAME (an XML element name, or * for any), then up to four of xmlns=URI, ATTR=VALUE and "
               "ATTR (%XX escapes a byte)";
    case MagicForm::Table: return "table , or table ; or table tab";
    case MagicForm::Line: return "line TEXT (%XX escapes a byte, %20 a space)";
    case MagicForm::Header: return "header NAME... (one to eight field names, without colons)";
    case MagicForm::Yaml: return "yaml, alone";
    case MagicForm::Ini: return "ini, alone";
    case MagicForm::Language: return "lang NAME, or lang NAME NAME for a pair (lower-case letters, digits, + - _)";
    case MagicForm::Weigh: return "weigh WEIGHT KIND TEXT (WEIGHT -99 to 99 but 0; KIND start, istart, word, iword, end, key, shebang or mode; %XX escapes a byte, %20 a space)";
    }
    return "";
}

// A valid text of each form, whose tokens stand in for an author's one at a
// time: the parser itself then says which token cannot stand where it is.
// Each token past an example's last stands where that last one does (bytes,
// header names); the keyword is never replaced, since it chose the form.
constexpr struct {
    MagicForm form;
    std::string_view text;
} kExamples[] = {
    {MagicForm::Pointer, "ptr 60 u32le 0: 50"}, {MagicForm::ZipMember, "zip a 0: 50"},
    {MagicForm::OleEntry, "ole a"}, {MagicForm::OleClsid, "oleclsid 00020906-0000-0000-C000-000000000046"},
    {MagicForm::Gzip, "gzip 0: 1F"}, {MagicForm::Zlib, "zlib 0 0: 78"}, {MagicForm::Text, "text utf-8"},
    {MagicForm::Json, "json lines"}, {MagicForm::XmlRoot, "xmlroot a"}, {MagicForm::Table, "table ,"},
    {MagicForm::Line, "line a"}, {MagicForm::Header, "header A"}, {MagicForm::Yaml, "yaml"},
    {MagicForm::Ini, "ini"}, {MagicForm::Language, "lang a"}, {MagicForm::Weigh, "weigh 1 word a"},
};

std::vector<std::string_view> TokensOf(std::string_view text)
{
    std::vector<std::string_view> tokens;
    ForEachToken(text, [&](std::string_view token) {
        tokens.push_back(token);
        return true;
    });
    return tokens;
}

std::string Joined(const std::vector<std::string_view>& tokens, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += (i ? " " : "") + std::string(tokens[i]);
    return text;
}

// Where a malformed text of `form` goes wrong, in words: the first token that
// cannot stand in its place, the first one too many, or where one is missing.
std::string WhereMalformed(std::string_view text, MagicForm form)
{
    const auto example = std::find_if(std::begin(kExamples), std::end(kExamples),
                                      [&](const auto& e) { return e.form == form; });
    if (example == std::end(kExamples))
        return "";
    const std::vector<std::string_view> tokens = TokensOf(text);
    std::vector<std::string_view> probe = TokensOf(example->text);
    const std::vector<std::string_view> original = probe;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::size_t place = std::min(i, probe.size() - 1);
        probe[place] = tokens[i];
        const bool fits = ParseStructureRule(Joined(probe, probe.size()), form).valid;
        probe[place] = original[place];
        if (!fits)
            return " at " + QuotedText(tokens[i]) + " (token " + std::to_string(i + 1) + ")";
    }
    // Every token fits its place: the count is wrong. A form takes at most a
    // few tokens more than its example, so only short prefixes are tried,
    // the longest first.
    const std::string missing = ": a token is missing after " + QuotedText(tokens.back());
    if (ParseStructureRule(Joined(tokens, tokens.size()) + " " + std::string(original.back()), form).valid)
        return missing;
    for (std::size_t count = std::min(tokens.size() - 1, probe.size() + 16); count >= 1; --count) {
        if (ParseStructureRule(Joined(tokens, count), form).valid)
            return " at " + QuotedText(tokens[count]) + ", one token too many";
    }
    return missing;
}

// A masked byte VV&MM holds when (byte & MM) == VV: a bit of VV outside MM
// can never be matched.
void CheckMasks(std::string_view text, const StructureTest& test, int line, Findings& findings)
{
    if (test.bytes.empty())
        return;
    // The bytes are the text's last tokens in every form that takes them.
    const std::vector<std::string_view> tokens = TokensOf(text);
    const std::size_t first = tokens.size() - test.bytes.size();
    std::vector<std::string> impossible;
    for (std::size_t k = 0; k < test.bytes.size(); ++k) {
        if (test.bytes[k].value & ~test.bytes[k].mask)
            impossible.push_back(QuotedText(tokens[first + k]));
    }
    if (!impossible.empty())
        Report(findings, line, "masked byte" + std::string(impossible.size() > 1 ? "s " : " ") + JoinedList(impossible)
                                   + " can never hold: the value has bits outside the mask, and only "
                                     "the mask's bits of a byte are compared; this test never matches");
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
        Report(findings, line, "this " + std::string(text.substr(0, text.find(' '))) + " test is malformed"
                               + WhereMalformed(text, form) + ", so it never matches, nor does its type; write it as " + Usage(form)
                               + (IsTextForm(form) ? "" : ", each byte as two hex digits, ?? or VV&MM"));
        return;
    }
    const StructureTest& test = rule.structure;
    CheckMasks(text, test, line, findings);
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
    case MagicForm::XmlRoot:
        if (test.xmlns && test.nameText.find(':') != std::string::npos)
            Report(findings, line, "with xmlns=, NAME is the name after the root's prefix and holds no colon: "
                                   "this test never matches");
        break;
    case MagicForm::Line: {
        if (test.namePieces.front().size() > kTextHead)
            Report(findings, line, "line compares within the first 65536 bytes of text: this test never matches");
        break;
    }
    case MagicForm::Classic:
    case MagicForm::OleClsid:
    case MagicForm::Near:
    case MagicForm::NonText:
    case MagicForm::Text:
    case MagicForm::Json:
    case MagicForm::Table:
    case MagicForm::Header:
    case MagicForm::Yaml:
    case MagicForm::Ini:
    case MagicForm::Language:
    case MagicForm::Weigh:
        break;
    }
}

} // namespace lint
