// The MIME types of a set: each one well formed, and none given to formats
// that have nothing to do with each other.
#include "checks.h"

#include "ascii.h"
#include "escaping.h"
#include "signatures/signature_xml.h"

#include <algorithm>
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

std::string ExtensionList(const Carrier& carrier)
{
    std::string out;
    for (const auto& ext : carrier.extensions)
        out += (out.empty() ? "" : " ") + ext;
    return out;
}

std::size_t Root(std::vector<std::size_t>& parent, std::size_t i)
{
    while (parent[i] != i)
        i = parent[i] = parent[parent[i]];
    return i;
}

// Two types that share an extension, the first word of their titles (the
// format's or its maker's name: "Lotus 1-2-3 worksheet (WK1)" and "(WK3)"),
// or a first pattern that one begins with the other's (a PNG-based preset
// and PNG) are one format's kin, and so are the kin of its kin. Each
// carrier's group, found without comparing all pairs: a set may give one
// MIME type to thousands of types.
std::vector<std::size_t> KinGroups(const std::vector<Carrier>& list)
{
    std::vector<std::size_t> parent(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        parent[i] = i;
    auto join = [&](std::size_t a, std::size_t b) { parent[Root(parent, a)] = Root(parent, b); };
    std::map<std::string_view, std::size_t> firstWith;  // an extension or title word: its first carrier
    for (std::size_t i = 0; i < list.size(); ++i) {
        for (const auto& ext : list[i].extensions) {
            if (auto [at, added] = firstWith.emplace(ext, i); !added)
                join(i, at->second);
        }
    }
    firstWith.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].firstWord.empty())
            continue;
        if (auto [at, added] = firstWith.emplace(list[i].firstWord, i); !added)
            join(i, at->second);
    }
    // In sorted order, every pattern that a pattern begins with stands before
    // it, and so does each pattern between the two; a stack of the patterns
    // that begin the current one links each to the longest of them, and so,
    // through it, to all.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!list[i].firstMagic.empty())
            order.push_back(i);
    }
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return list[a].firstMagic < list[b].firstMagic; });
    std::vector<std::size_t> begins;
    for (std::size_t i : order) {
        const std::string& magic = list[i].firstMagic;
        while (!begins.empty() && magic.compare(0, list[begins.back()].firstMagic.size(),
                                                list[begins.back()].firstMagic) != 0)
            begins.pop_back();
        if (!begins.empty())
            join(i, begins.back());
        begins.push_back(i);
    }
    std::vector<std::size_t> groups(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        groups[i] = Root(parent, i);
    return groups;
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
            for (auto* ext = type->FirstChildElement("ext"); ext; ext = ext->NextSiblingElement("ext")) {
                if (auto text = ElementText(ext); text && !text->empty())
                    carrier.extensions.insert(Lowered(*text));
            }
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
        // Each group but the first carrier's is reported once, at its first carrier.
        const auto groups = KinGroups(list);
        std::set<std::size_t> told{groups[0]};
        for (std::size_t i = 1; i < list.size(); ++i) {
            if (told.insert(groups[i]).second)
                Report(findings, list[i].line,
                       "<mime> " + QuotedText(name) + " of " + TypeName(list[i].type) + " (" + ExtensionList(list[i]) +
                           ") is also given to " + TypeName(list[0].type) + " (" + ExtensionList(list[0]) +
                           "), whose extensions, title and first pattern it shares nothing with: one of them is "
                           "probably named wrong");
        }
    }
}

} // namespace lint
