// Shadowing: an earlier type that matches every file a later one matches
// leaves the later one unreported, since the first match wins. Only what the
// patterns prove is claimed; anything uncertain counts as not shadowed.
#include "checks.h"

#include "patterns/magic.h"
#include "signatures/signature_xml.h"

#include <algorithm>
#include <optional>
#include <set>
#include <unordered_map>

using tinyxml2::XMLElement;

namespace lint {

namespace {

// What is known about every file on which certain patterns hold.
struct FileFacts {
    std::uint64_t minSize = 0;
    std::map<std::uint64_t, std::uint8_t> fromStart;  // position from the start → byte
    std::map<std::uint64_t, std::uint8_t> fromEnd;    // distance back from the end (1: the last byte) → byte
    // The text tests that have held, in canonical form: on one file each
    // gives one answer, and any of them holding means the file reads as text.
    std::set<std::string> textTests;
};

// Every text form holds only on a file that reads as text, and "text" alone on every such file.
const std::string kAnyText = "text";

// Whether a rule's holding follows from the text tests that have held.
bool TextImplies(const FileFacts& facts, const MagicRule& rule)
{
    const std::string canonical = FormatStructureRule(rule);
    return canonical == kAnyText ? !facts.textTests.empty() : facts.textTests.contains(canonical);
}

// Where pattern byte k of a fixed rule stands: counted from the start of the
// file, or back from its end.
struct BytePlace {
    bool fromEnd;
    std::uint64_t key;
};

BytePlace PlaceOf(const MagicRule& rule, std::size_t k)
{
    if (rule.offset >= 0)
        return {false, static_cast<std::uint64_t>(rule.offset) + k};
    return {true, EndDistance(rule) - k};
}

// Adds what a fixed rule's holding says; false when no file can satisfy both.
bool AddFacts(const MagicRule& rule, FileFacts& facts)
{
    auto size = MinimumFileSize(rule);
    if (!size)
        return false;
    facts.minSize = std::max(facts.minSize, *size);
    for (std::size_t k = 0; k < rule.pattern.size(); ++k) {
        if (rule.pattern[k].wildcard)
            continue;
        const BytePlace place = PlaceOf(rule, k);
        auto& known = place.fromEnd ? facts.fromEnd : facts.fromStart;
        auto [at, inserted] = known.emplace(place.key, rule.pattern[k].value);
        if (!inserted && at->second != rule.pattern[k].value)
            return false;
    }
    return true;
}

bool Implies(const FileFacts& facts, const MagicRule& rule)
{
    if (rule.form != MagicForm::Classic)
        return rule.valid && IsTextForm(rule.form) && TextImplies(facts, rule);
    auto size = MinimumFileSize(rule);
    if (!size || *size > facts.minSize)
        return false;
    for (std::size_t k = 0; k < rule.pattern.size(); ++k) {
        if (rule.pattern[k].wildcard)
            continue;
        const BytePlace place = PlaceOf(rule, k);
        const auto& known = place.fromEnd ? facts.fromEnd : facts.fromStart;
        auto at = known.find(place.key);
        if (at == known.end() || at->second != rule.pattern[k].value)
            return false;
    }
    return true;
}

// What every file that the type matches holds: its patterns up to the first
// search have all held, and the search has hit, which takes its size. Empty
// when the type can never match.
std::optional<FileFacts> FactsOfMatch(const std::vector<MagicRule>& rules)
{
    if (rules.empty())
        return std::nullopt;
    FileFacts facts;
    for (const MagicRule& rule : rules) {
        // A structure test only narrows the files a type matches: what its
        // classic patterns prove still holds for every one of them. (It can
        // never be proved of an earlier type, so no such type shadows.) A
        // text test is known by what it is, and compared as such.
        if (rule.form != MagicForm::Classic) {
            if (!rule.valid)
                return std::nullopt;
            if (IsTextForm(rule.form))
                facts.textTests.insert(FormatStructureRule(rule));
            continue;
        }
        if (rule.valid && rule.anchor == MagicAnchor::Search) {
            facts.minSize = std::max(facts.minSize, *MinimumFileSize(rule));
            return facts;
        }
        if (!AddFacts(rule, facts))
            return std::nullopt;
    }
    return facts;
}

// A type matches exactly when all its patterns hold only if none is a search
// (a hit decides at once) and each can hold; of the new forms only the text
// tests, which a later type's own text tests can prove.
bool MatchesByFixedPatternsAlone(const std::vector<MagicRule>& rules)
{
    return !rules.empty() && std::all_of(rules.begin(), rules.end(), [](const MagicRule& rule) {
        if (rule.form != MagicForm::Classic)
            return rule.valid && IsTextForm(rule.form);
        return rule.anchor == MagicAnchor::Offset && MinimumFileSize(rule).has_value();
    });
}

// The text test a shadower is filed under when it requires no byte: one that
// a later type must hold itself, a shape before an encoding before "text".
std::optional<std::string> TextKey(const std::vector<MagicRule>& rules)
{
    std::optional<std::string> key;
    int rank = 0;
    for (const MagicRule& rule : rules) {
        if (rule.form == MagicForm::Classic)
            continue;
        const std::string canonical = FormatStructureRule(rule);
        const int ranked = rule.form != MagicForm::Text ? 3 : canonical != kAnyText ? 2 : 1;
        if (ranked > rank) {
            rank = ranked;
            key = canonical;
        }
    }
    return key;
}

// One fact about a file (the byte at a place) as a hash key.
std::uint64_t FactKey(bool fromEnd, std::uint64_t place, std::uint8_t value)
{
    return (place << 9) | (std::uint64_t{fromEnd} << 8) | value;
}

// The first `length` bytes of a file (or its last, back from the end) as a
// hash key, when the facts hold them all.
constexpr std::size_t kRunKeyBytes = 4;

std::optional<std::uint64_t> RunKey(const FileFacts& facts, bool fromEnd, std::size_t length)
{
    const auto& known = fromEnd ? facts.fromEnd : facts.fromStart;
    std::uint64_t key = std::uint64_t{1} << 63 | std::uint64_t{fromEnd} << 62 | std::uint64_t{length} << 56;
    for (std::size_t i = 0; i < length; ++i) {
        auto at = known.find(fromEnd ? i + 1 : i);
        if (at == known.end())
            return std::nullopt;
        key |= std::uint64_t{at->second} << (8 * i);
    }
    return key;
}

} // namespace

// Comparing every type with every earlier one takes hours for a large file.
// An earlier type can shadow a later one only if the later one's patterns
// prove every byte the earlier one requires. So each possible shadower is
// filed under what it requires (its first bytes, else its last, else the
// single required byte shared by fewest others), and a type is compared only
// with the shadowers filed under something its own patterns prove.
void CheckShadowing(const XMLElement* types, Findings& findings)
{
    struct Shadower {
        const XMLElement* element;
        std::vector<MagicRule> rules;
    };
    std::vector<Shadower> shadowers;                                    // in document order
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byRun;   // leading or trailing bytes → shadowers
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byFact;  // one required byte → the others
    std::map<std::string, std::vector<std::size_t>> byText;             // a required text test → the others
    std::vector<std::size_t> unfiled;                                    // shadowers that require no byte

    for (auto* type = types->FirstChildElement("type"); type; type = type->NextSiblingElement("type")) {
        std::vector<MagicRule> rules = ReadTypeMagics(type);
        if (auto facts = FactsOfMatch(rules)) {
            std::size_t first = shadowers.size();
            auto search = [&](const std::vector<std::size_t>& candidates) {
                for (std::size_t index : candidates) {
                    if (index >= first)
                        break;
                    const auto& candidate = shadowers[index].rules;
                    if (std::all_of(candidate.begin(), candidate.end(),
                                    [&](const MagicRule& rule) { return Implies(*facts, rule); })) {
                        first = index;
                        break;
                    }
                }
            };
            auto lookUp = [&](const auto& index, const auto& key) {
                if (auto at = index.find(key); at != index.end())
                    search(at->second);
            };
            search(unfiled);
            for (bool fromEnd : {false, true}) {
                for (std::size_t length = 1; length <= kRunKeyBytes; ++length) {
                    if (auto key = RunKey(*facts, fromEnd, length))
                        lookUp(byRun, *key);
                }
            }
            if (!facts->textTests.empty()) {
                lookUp(byText, kAnyText);
                for (const std::string& test : facts->textTests)
                    lookUp(byText, test);
            }
            if (!byFact.empty()) {
                for (const auto& [place, value] : facts->fromStart)
                    lookUp(byFact, FactKey(false, place, value));
                for (const auto& [place, value] : facts->fromEnd)
                    lookUp(byFact, FactKey(true, place, value));
            }
            if (first < shadowers.size()) {
                const XMLElement* earlier = shadowers[first].element;
                Report(findings, type->GetLineNum(),
                       TypeName(type) + " can never be reported: the earlier " + TypeName(earlier) + " (line "
                           + std::to_string(earlier->GetLineNum())
                           + ") matches every file that it matches; put the more specific type first");
            }
        }

        FileFacts required;
        if (!MatchesByFixedPatternsAlone(rules) || !std::all_of(rules.begin(), rules.end(), [&](const MagicRule& rule) {
                return rule.form != MagicForm::Classic || AddFacts(rule, required);
            }))
            continue;
        std::vector<std::size_t>* bucket = nullptr;
        for (bool fromEnd : {false, true}) {
            for (std::size_t length = kRunKeyBytes; length >= 1 && !bucket; --length) {
                if (auto key = RunKey(required, fromEnd, length))
                    bucket = &byRun[*key];
            }
        }
        auto consider = [&](bool fromEnd, std::uint64_t place, std::uint8_t value) {
            auto& candidate = byFact[FactKey(fromEnd, place, value)];
            if (!bucket || candidate.size() < bucket->size())
                bucket = &candidate;
        };
        if (!bucket) {
            for (const auto& [place, value] : required.fromStart)
                consider(false, place, value);
            for (const auto& [place, value] : required.fromEnd)
                consider(true, place, value);
        }
        if (!bucket) {
            if (auto key = TextKey(rules))
                bucket = &byText[*key];
        }
        (bucket ? *bucket : unfiled).push_back(shadowers.size());
        shadowers.push_back({type, std::move(rules)});
    }
}

} // namespace lint
