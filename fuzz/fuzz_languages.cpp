// The language weighing. Input: lines of lang and weigh texts, a NUL, then a
// text sample. Oracles: every valid text shows canonically and reads back to
// itself, and no older reader's classic reading finds it valid; the scorer's
// counts equal a plain reference that tries every piece of evidence at every
// place of every line; a clear winner has enough evidence and its margin; a
// pair is never also a winner.
#include "fuzz_support.h"

#include "ascii.h"
#include "text/languages.h"
#include "patterns/magic.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool WordByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || u >= 0x80;
}

bool Joins(char end, char neighbour)
{
    return WordByte(end) ? WordByte(neighbour) : neighbour == end;
}

bool Folded(EvidenceKind kind)
{
    return kind == EvidenceKind::StartFolded || kind == EvidenceKind::WordFolded;
}

bool At(std::string_view line, std::size_t at, const std::string& text, bool folded)
{
    if (at + text.size() > line.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char a = line[at + i];
        const char b = text[i];
        if (folded ? AsciiLower(a) != AsciiLower(b) : a != b)
            return false;
    }
    if (at > 0 && Joins(text.front(), line[at - 1]))
        return false;
    return !(at + text.size() < line.size() && Joins(text.back(), line[at + text.size()]));
}

// How often a piece of evidence of the line kinds lies in the text, each
// place tried; whole-file kinds are left to the scorer.
unsigned ReferenceCount(const Evidence& e, std::string_view text, bool cut)
{
    unsigned count = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        bool whole = true;
        if (end == std::string_view::npos) {
            end = text.size();
            whole = !cut;
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!whole) {
            // A cut line is read without its last run of word bytes, or of one mark.
            const char last = line.back();
            while (!line.empty() && (WordByte(last) ? WordByte(line.back()) : line.back() == last))
                line.remove_suffix(1);
        }
        std::size_t indent = 0;
        while (indent < line.size() && (line[indent] == ' ' || line[indent] == '\t'))
            ++indent;
        while (line.size() > indent && IsAsciiSpace(line.back()))
            line.remove_suffix(1);
        if (line.size() == indent)
            continue;
        switch (e.kind) {
        case EvidenceKind::Start:
        case EvidenceKind::StartFolded:
            count += At(line, indent, e.text, Folded(e.kind));
            break;
        case EvidenceKind::Word:
        case EvidenceKind::WordFolded:
            for (std::size_t i = indent; i < line.size(); ++i) {
                // A word token never starts inside a word; a mark may.
                if (i > 0 && WordByte(line[i]) && WordByte(line[i - 1]))
                    continue;
                count += At(line, i, e.text, Folded(e.kind));
            }
            break;
        case EvidenceKind::End:
            count += whole && line.size() - indent >= e.text.size() && line.ends_with(e.text);
            break;
        case EvidenceKind::Key: {
            // Names of key bytes, at least two, joined by single dots.
            auto keyByte = [](char c) { return (WordByte(c) && static_cast<unsigned char>(c) < 0x80) || c == '-'; };
            std::size_t i = indent;
            unsigned names = 0;
            bool dotted = true;
            while (dotted) {
                const std::size_t name = i;
                while (i < line.size() && keyByte(line[i]))
                    ++i;
                if (i == name) {
                    names = 0;
                    break;
                }
                ++names;
                dotted = i < line.size() && line[i] == '.';
                i += dotted;
            }
            count += names >= 2 && At(line, i, e.text, false);
            break;
        }
        case EvidenceKind::Shebang:
        case EvidenceKind::Mode:
            return 0;
        }
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view rules = input.substr(0, nul);
    const std::string_view whole = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    LanguageScorer scorer;
    std::uint32_t language = LanguageIndex(scorer, "x");
    std::size_t pos = 0;
    while (pos <= rules.size()) {
        std::size_t end = rules.find('\n', pos);
        if (end == std::string_view::npos)
            end = rules.size();
        const std::string_view line = rules.substr(pos, end - pos);
        pos = end + 1;
        const MagicRule rule = ParseMagicRule(line);
        if (!rule.valid || (rule.form != MagicForm::Language && rule.form != MagicForm::Weigh))
            continue;
        FUZZ_CHECK(!ParseClassicMagicRule(line).valid);
        const std::string shown = FormatMagicRule(rule);
        const MagicRule again = ParseMagicRule(shown);
        FUZZ_CHECK(again.valid && again.form == rule.form && FormatMagicRule(again) == shown);
        if (rule.form == MagicForm::Language) {
            FUZZ_CHECK(!rule.structure.namePieces.empty() && rule.structure.namePieces.size() <= 2);
            if (rule.structure.namePieces.size() == 1)
                language = LanguageIndex(scorer, rule.structure.namePieces[0]);
        } else {
            FUZZ_CHECK(rule.structure.weight != 0 && std::abs(rule.structure.weight) <= kMaxWeight);
            AddEvidence(scorer, {rule.structure.evidence, rule.structure.namePieces[0], rule.structure.weight, language});
        }
    }
    IndexLanguageEvidence(scorer);

    for (bool cut : {false, true}) {
        const std::string_view text = whole.size() > kWeighedText ? whole.substr(0, kWeighedText) : whole;
        cut = cut || text.size() < whole.size();
        LanguageVerdict verdict;
        WeighLanguages(scorer, text, cut, verdict);
        FUZZ_CHECK(verdict.counts.size() == scorer.evidence.size());
        for (std::size_t i = 0; i < scorer.evidence.size(); ++i) {
            const Evidence& e = scorer.evidence[i];
            if (e.kind == EvidenceKind::Shebang || e.kind == EvidenceKind::Mode)
                FUZZ_CHECK(verdict.counts[i] <= 1);
            else if (!e.text.empty())
                FUZZ_CHECK(verdict.counts[i] == std::min(ReferenceCount(e, text, cut), 255u));
        }
        FUZZ_CHECK(!(verdict.clear && verdict.pair));
        if (verdict.best != LanguageVerdict::kNone) {
            FUZZ_CHECK(LanguageScore(scorer, verdict, verdict.best) == verdict.bestScore);
            FUZZ_CHECK(verdict.bestScore >= verdict.secondScore && verdict.secondScore >= verdict.thirdScore);
        }
        if (verdict.clear)
            FUZZ_CHECK(verdict.bestScore >= kLeastLanguageScore
                       && verdict.secondScore * kMarginDenominator <= verdict.bestScore * kMarginNumerator);
        if (verdict.pair)
            FUZZ_CHECK(verdict.second != LanguageVerdict::kNone && verdict.bestScore >= kLeastLanguageScore);
        FUZZ_CHECK(!DescribeVerdict(scorer, verdict).empty());
    }
    return 0;
}
