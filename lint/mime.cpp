// The MIME types of a set: each one well formed, and none given to formats
// that have nothing to do with each other.
#include "checks.h"

#include "ascii.h"
#include "escaping.h"
#include "signature_xml.h"

#include <map>
#include <set>

using tinyxml2::XMLElement;

namespace lint {

namespace {

bool AlphaNumeric(char c)
{
    return IsDecimalDigit(c) || (AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z');
}

// RFC 6838's restricted-name: a letter or digit, then at most 126 of these.
bool RestrictedName(std::string_view name)
{
    if (name.empty() || name.size() > 127 || !AlphaNumeric(name.front()))
        return false;
    for (char c : name) {
        if (!AlphaNumeric(c) && std::string_view("!#$&-^_.+").find(c) == std::string_view::npos)
            return false;
    }
    return true;
}

// The registered top-level types. An unregistered one is only ever an
// experiment spelled x-..., so any other word is a slip such as "aplication".
bool KnownTopLevel(std::string_view top)
{
    static constexpr std::string_view registered[] = {"application", "audio", "example", "font", "haptics", "image",
                                                      "message",     "model", "multipart", "text", "video"};
    for (auto name : registered) {
        if (EqualIgnoringAsciiCase<char>(top, name))
            return true;
    }
    return top.size() > 2 && EqualIgnoringAsciiCase<char>(top.substr(0, 2), std::string_view("x-"));
}

std::string Lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

struct Carrier {
    const XMLElement* type;
    int line;  // of its <mime>
    std::set<std::string> extensions;
    std::string firstWord;  // of its title
    std::string firstMagic;
};

// Two types that share an extension, the first word of their titles (the
// format's or its maker's name: "Lotus 1-2-3 worksheet (WK1)" and "(WK3)"),
// or a first pattern that one begins with the other's (a PNG-based preset
// and PNG) are one format's kin and may share its MIME type.
bool Kin(const Carrier& a, const Carrier& b)
{
    for (const auto& ext : a.extensions) {
        if (b.extensions.count(ext))
            return true;
    }
    if (!a.firstWord.empty() && a.firstWord == b.firstWord)
        return true;
    const auto& shorter = a.firstMagic.size() < b.firstMagic.size() ? a.firstMagic : b.firstMagic;
    const auto& longer = a.firstMagic.size() < b.firstMagic.size() ? b.firstMagic : a.firstMagic;
    return !shorter.empty() && longer.compare(0, shorter.size(), shorter) == 0;
}

std::string ExtensionList(const Carrier& carrier)
{
    std::string out;
    for (const auto& ext : carrier.extensions)
        out += (out.empty() ? "" : " ") + ext;
    return out;
}

} // namespace

void CheckMime(const XMLElement* mime, Findings& findings)
{
    const auto text = ElementText(mime);
    if (!text || text->empty()) {
        Report(findings, mime->GetLineNum(), "<mime> has no text: the type would be reported without its MIME type");
        return;
    }
    const auto slash = text->find('/');
    const std::string_view whole = *text;
    const auto top = whole.substr(0, slash);
    const auto sub = slash == std::string::npos ? std::string_view() : whole.substr(slash + 1);
    if (slash == std::string::npos || !RestrictedName(top) || !RestrictedName(sub)) {
        Report(findings, mime->GetLineNum(),
               "<mime> " + QuotedText(*text) + " is not a MIME type: write type/subtype, each a letter or digit "
               "followed by at most 126 letters, digits and ! # $ & - ^ _ . +, with no parameters or spaces");
        return;
    }
    if (!KnownTopLevel(top))
        Report(findings, mime->GetLineNum(),
               "<mime> " + QuotedText(*text) + " has the top-level type " + QuotedText(std::string(top)) +
                   ", which is not registered (application, audio, font, image, message, model, multipart, text, "
                   "video...) nor an x- one");
}

void CheckMimeKinship(const XMLElement* types, Findings& findings)
{
    std::map<std::string, std::vector<Carrier>> carriers;  // by MIME type, in document order
    // application/octet-stream and text/plain name no format but "bytes" and
    // "text": the set gives them to formats that have no name of their own,
    // which have nothing else in common. A general type's MIME type names a
    // family just as the type does (a ZIP, XML or gzip answer), whose members
    // without a name of their own carry it under their own extensions.
    std::set<std::string> families = {"application/octet-stream", "text/plain"};
    for (auto* type = types->FirstChildElement("type"); type; type = type->NextSiblingElement("type")) {
        std::set<std::string> seen;
        for (auto* mime = type->FirstChildElement("mime"); mime; mime = mime->NextSiblingElement("mime")) {
            const std::string name = Lowered(ElementText(mime).value_or(std::string()));
            if (name.empty() || !seen.insert(name).second)
                continue;
            if (type->FirstChildElement("general"))
                families.insert(name);
            Carrier carrier{type, mime->GetLineNum(), {}, {}, {}};
            for (auto* ext = type->FirstChildElement("ext"); ext; ext = ext->NextSiblingElement("ext"))
                carrier.extensions.insert(Lowered(ElementText(ext).value_or(std::string())));
            const std::string title = ElementText(type->FirstChildElement("title")).value_or(std::string());
            carrier.firstWord = title.substr(0, title.find(' '));
            carrier.firstMagic = ElementText(type->FirstChildElement("magic")).value_or(std::string());
            // A type without extensions offers nothing to compare.
            if (!carrier.extensions.empty())
                carriers[name].push_back(std::move(carrier));
        }
    }
    for (const auto& [name, list] : carriers) {
        if (families.count(name))
            continue;
        // Group the carriers by kinship; each group after the first is reported once.
        std::vector<int> group(list.size(), -1);
        int groups = 0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (group[i] >= 0)
                continue;
            std::vector<std::size_t> pending{i};
            group[i] = groups;
            while (!pending.empty()) {
                const std::size_t at = pending.back();
                pending.pop_back();
                for (std::size_t j = 0; j < list.size(); ++j) {
                    if (group[j] < 0 && Kin(list[at], list[j])) {
                        group[j] = groups;
                        pending.push_back(j);
                    }
                }
            }
            if (groups++ > 0)
                Report(findings, list[i].line,
                       "<mime> " + QuotedText(name) + " of " + TypeName(list[i].type) + " (" + ExtensionList(list[i]) +
                           ") is also given to " + TypeName(list[0].type) + " (" + ExtensionList(list[0]) +
                           "), whose extensions, title and first pattern it shares nothing with: one of them is "
                           "probably named wrong");
        }
    }
}

} // namespace lint
