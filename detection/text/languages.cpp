// Weighing a text's lines for the evidence of each programming and markup language.
#include "text/languages.h"

#include "ascii.h"

#include <algorithm>
#include <array>
#include <bit>
#include <map>
#include <tuple>

namespace {

constexpr struct {
    std::string_view keyword;
    EvidenceKind kind;
} kKinds[] = {
    {"start", EvidenceKind::Start}, {"istart", EvidenceKind::StartFolded}, {"word", EvidenceKind::Word},
    {"iword", EvidenceKind::WordFolded}, {"end", EvidenceKind::End}, {"shebang", EvidenceKind::Shebang},
    {"mode", EvidenceKind::Mode}, {"key", EvidenceKind::Key},
};

// Letters, digits and the underscore: what most languages' names are made
// of. A byte of a multi-byte character counts too, so that no token is
// found inside a word of another script.
constexpr auto kWordBytes = [] {
    std::array<bool, 256> word{};
    for (unsigned c = 0; c < 256; ++c)
        word[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
    return word;
}();

bool IsWordByte(char c)
{
    return kWordBytes[static_cast<unsigned char>(c)];
}

bool IsFolded(EvidenceKind kind)
{
    return kind == EvidenceKind::StartFolded || kind == EvidenceKind::WordFolded;
}

// Whether `wanted` lies at `at` in `line`, not as part of a longer word.
// Its first `known` bytes are known to fit.
bool TokenAt(std::string_view line, std::size_t at, std::string_view wanted, bool folded, std::size_t known = 0)
{
    if (line.size() - at < wanted.size())
        return false;
    for (std::size_t i = known; i < wanted.size(); ++i) {
        const char c = line[at + i];
        if (c != wanted[i] && !(folded && AsciiLower(c) == AsciiLower(wanted[i])))
            return false;
    }
    // A word's neighbour is no word byte; punctuation's is not the same mark
    // again, so that "===" is not found in a ruler of "=====".
    auto joins = [](char end, char neighbour) { return IsWordByte(end) ? IsWordByte(neighbour) : neighbour == end; };
    if (at > 0 && joins(wanted.front(), line[at - 1]))
        return false;
    const std::size_t after = at + wanted.size();
    return !(after < line.size() && joins(wanted.back(), line[after]));
}

void Count(LanguageVerdict& verdict, std::uint32_t piece)
{
    if (verdict.counts[piece] < 255)
        ++verdict.counts[piece];
}

// A token found: the piece it was indexed by and every twin of it.
void CountToken(const LanguageScorer& scorer, LanguageVerdict& verdict, std::uint32_t piece)
{
    Count(verdict, piece);
    if (piece + 1 >= scorer.twinStart.size())
        return;
    for (std::uint32_t k = scorer.twinStart[piece]; k < scorer.twinStart[piece + 1]; ++k)
        Count(verdict, scorer.twins[k]);
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower<char>);
    return lower;
}

// The interpreter a "#!" line names: the last part of its path, or the
// program "env" runs (past env's options).
std::string Interpreter(std::string_view line)
{
    if (!line.starts_with("#!"))
        return {};
    std::vector<std::string_view> words;
    std::size_t i = 2;
    while (i < line.size() && words.size() < 4) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    if (words.empty())
        return {};
    auto base = [](std::string_view path) { return path.substr(path.rfind('/') + 1); };
    std::string_view program = base(words[0]);
    if (program == "env") {
        program = {};
        for (std::size_t w = 1; w < words.size(); ++w) {
            if (!words[w].starts_with("-") && words[w].find('=') == std::string_view::npos) {
                program = base(words[w]);
                break;
            }
        }
    }
    return Lower(program);
}

// "python" names python, python3 and python3.11; "sh" does not name "shell".
bool InterpreterIs(std::string_view interpreter, std::string_view name)
{
    return interpreter.starts_with(name)
        && std::all_of(interpreter.begin() + name.size(), interpreter.end(),
                       [](char c) { return IsDecimalDigit(c) || c == '.'; });
}

// The mode an editor's modeline in `line` names, in lower case: Emacs's
// "-*- mode: NAME -*-" or "-*- NAME -*-", Vim's "vim: ft=NAME" (or
// filetype=, syntax=).
std::string ModeOf(std::string_view line)
{
    auto name = [](std::string_view rest) {
        std::size_t n = 0;
        while (n < rest.size() && (IsWordByte(rest[n]) || rest[n] == '-' || rest[n] == '+'))
            ++n;
        return Lower(rest.substr(0, n));
    };
    const std::size_t emacs = line.find("-*-");
    if (emacs != std::string_view::npos) {
        std::string_view inside = line.substr(emacs + 3);
        inside = inside.substr(0, inside.find("-*-"));
        const std::size_t mode = inside.find("mode:");
        if (mode != std::string_view::npos) {
            inside.remove_prefix(mode + 5);
        } else if (inside.find(':') != std::string_view::npos) {
            return {};
        }
        while (!inside.empty() && inside.front() == ' ')
            inside.remove_prefix(1);
        return name(inside);
    }
    for (std::string_view marker : {"vim:", "vi:"}) {
        const std::size_t vim = line.find(marker);
        if (vim == std::string_view::npos || (vim > 0 && IsWordByte(line[vim - 1])))
            continue;
        const std::string_view rest = line.substr(vim);
        for (std::string_view key : {"ft=", "filetype=", "syntax="}) {
            const std::size_t at = rest.find(key);
            if (at != std::string_view::npos && (at == 0 || !IsWordByte(rest[at - 1])))
                return name(rest.substr(at + key.size()));
        }
    }
    return {};
}

// Modelines stand in the first or the last lines of a file.
constexpr std::size_t kModeLines = 5;

// The pair of bytes at `at`, the second 0 at the line's end.
inline unsigned PairAt(const unsigned char* bytes, std::size_t size, std::size_t at)
{
    return static_cast<unsigned>(bytes[at]) << 8 | (at + 1 < size ? bytes[at + 1] : 0u);
}

inline bool MayStart(const LanguageScorer::PairIndex& index, unsigned pair)
{
    return index.bits[pair >> 6] >> (pair & 63) & 1;
}

// Counts the evidence of `index` found at `at`, where `pair` (one that
// MayStart) stands; its two bytes are known to fit.
void WeighAt(const LanguageScorer& scorer, const LanguageScorer::PairIndex& index, std::string_view body,
             std::size_t at, unsigned pair, LanguageVerdict& verdict)
{
    const std::uint64_t word = index.bits[pair >> 6];
    const std::uint64_t below = (std::uint64_t{1} << (pair & 63)) - 1;
    const std::uint32_t rank = index.rank[pair >> 6] + static_cast<std::uint32_t>(std::popcount(word & below));
    for (std::uint32_t k = index.first[rank]; k < index.first[rank + 1]; ++k) {
        const std::uint32_t piece = index.pieces[k];
        const Evidence& e = scorer.evidence[piece];
        // Most pieces that share a pair differ at the third byte: no call for them.
        if (e.text.size() > 2) {
            if (body.size() - at < e.text.size())
                continue;
            const char c = body[at + 2];
            if (c != e.text[2] && !(IsFolded(e.kind) && AsciiLower(c) == AsciiLower(e.text[2])))
                continue;
        }
        if (TokenAt(body, at, e.text, IsFolded(e.kind), std::min<std::size_t>(e.text.size(), 2)))
            CountToken(scorer, verdict, piece);
    }
}

bool IsKeyByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Where a dotted key that starts at `at` ends: names of ASCII letters,
// digits, "_" and "-", at least two, joined by single dots ("log4j.rootLogger").
// npos when no such key starts there.
std::size_t DottedKeyEnd(std::string_view line, std::size_t at)
{
    unsigned names = 0;
    for (std::size_t i = at;;) {
        const std::size_t name = i;
        while (i < line.size() && IsKeyByte(line[i]))
            ++i;
        if (i == name)
            return std::string_view::npos;
        ++names;
        if (i == line.size() || line[i] != '.')
            return names >= 2 ? i : std::string_view::npos;
        ++i;
    }
}

// `whole` is false for a line the sample cuts: its end is not the line's.
void WeighLine(const LanguageScorer& scorer, std::string_view line, bool whole, LanguageVerdict& verdict)
{
    std::size_t indent = 0;
    while (indent < line.size() && (line[indent] == ' ' || line[indent] == '\t'))
        ++indent;
    std::size_t end = line.size();
    while (end > indent && IsAsciiSpace(line[end - 1]))
        --end;
    if (end == indent)
        return;
    const std::string_view body = line.substr(0, end);

    const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
    const std::size_t size = body.size();
    if (const unsigned pair = PairAt(bytes, size, indent); MayStart(scorer.starts, pair))
        WeighAt(scorer, scorer.starts, body, indent, pair, verdict);
    if (!scorer.keys.empty()) {
        if (const std::size_t key = DottedKeyEnd(body, indent); key != std::string_view::npos) {
            for (std::uint32_t piece : scorer.keys) {
                if (TokenAt(body, key, scorer.evidence[piece].text, false))
                    CountToken(scorer, verdict, piece);
            }
        }
    }
    for (std::uint32_t piece : scorer.endIndex[static_cast<unsigned char>(body.back())]) {
        const std::string_view text = scorer.evidence[piece].text;
        if (whole && body.size() - indent >= text.size() && body.ends_with(text))
            CountToken(scorer, verdict, piece);
    }
    // Inside a word nothing starts but a token of punctuation, which has no
    // word byte to start with: a word is weighed at its start and passed over.
    for (std::size_t i = indent; i < size;) {
        if (const unsigned pair = PairAt(bytes, size, i); MayStart(scorer.words, pair))
            WeighAt(scorer, scorer.words, body, i, pair, verdict);
        if (kWordBytes[bytes[i++]]) {
            while (i < size && kWordBytes[bytes[i]])
                ++i;
        }
    }
}

// A cut line without the run of bytes it ends in: word bytes, or one mark
// repeated.
std::string_view CutLineHead(std::string_view line)
{
    std::size_t end = line.size();
    if (end == 0)
        return line;
    const auto last = static_cast<unsigned char>(line[end - 1]);
    if (kWordBytes[last]) {
        while (end > 0 && kWordBytes[static_cast<unsigned char>(line[end - 1])])
            --end;
    } else {
        while (end > 0 && static_cast<unsigned char>(line[end - 1]) == last)
            --end;
    }
    return line.substr(0, end);
}

void WeighWhole(const LanguageScorer& scorer, std::string_view firstLine, const std::vector<std::string>& modes,
                LanguageVerdict& verdict)
{
    const std::string interpreter = Interpreter(firstLine);
    for (std::uint32_t piece : scorer.whole) {
        const Evidence& e = scorer.evidence[piece];
        const bool found = e.kind == EvidenceKind::Shebang
                               ? !interpreter.empty() && InterpreterIs(interpreter, e.text)
                               : std::find(modes.begin(), modes.end(), e.text) != modes.end();
        if (found)
            Count(verdict, piece);
    }
}

} // namespace

std::string_view EvidenceKindKeyword(EvidenceKind kind)
{
    for (const auto& k : kKinds) {
        if (k.kind == kind)
            return k.keyword;
    }
    return {};
}

bool EvidenceKindFromKeyword(std::string_view keyword, EvidenceKind& kind)
{
    for (const auto& k : kKinds) {
        if (k.keyword == keyword) {
            kind = k.kind;
            return true;
        }
    }
    return false;
}

std::uint32_t LanguageIndex(LanguageScorer& scorer, std::string_view name)
{
    const auto found = std::find(scorer.names.begin(), scorer.names.end(), name);
    if (found != scorer.names.end())
        return static_cast<std::uint32_t>(found - scorer.names.begin());
    scorer.names.emplace_back(name);
    return static_cast<std::uint32_t>(scorer.names.size() - 1);
}

void AddEvidence(LanguageScorer& scorer, Evidence evidence)
{
    if (evidence.kind == EvidenceKind::Shebang || evidence.kind == EvidenceKind::Mode)
        evidence.text = Lower(evidence.text);
    scorer.evidence.push_back(std::move(evidence));
}

namespace {

// The pairs of bytes a piece of evidence may start with.
void AddPairs(const Evidence& e, std::uint32_t piece, std::vector<std::pair<unsigned, std::uint32_t>>& pairs)
{
    const bool folded = IsFolded(e.kind);
    auto cases = [&](char c) {
        return folded && AsciiLower(c) != AsciiUpper(c) ? std::vector<char>{AsciiLower(c), AsciiUpper(c)}
                                                        : std::vector<char>{c};
    };
    for (const char a : cases(e.text.front())) {
        const unsigned high = static_cast<unsigned char>(a) << 8;
        if (e.text.size() < 2) {
            for (unsigned b = 0; b < 256; ++b)
                pairs.emplace_back(high | b, piece);
        } else {
            for (const char b : cases(e.text[1]))
                pairs.emplace_back(high | static_cast<unsigned char>(b), piece);
        }
    }
}

LanguageScorer::PairIndex BuildPairIndex(std::vector<std::pair<unsigned, std::uint32_t>> pairs)
{
    std::sort(pairs.begin(), pairs.end());
    LanguageScorer::PairIndex index;
    index.bits.assign(65536 / 64, 0);
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const unsigned pair = pairs[k].first;
        if (k == 0 || pair != pairs[k - 1].first) {
            index.bits[pair >> 6] |= std::uint64_t{1} << (pair & 63);
            index.first.push_back(static_cast<std::uint32_t>(index.pieces.size()));
        }
        index.pieces.push_back(pairs[k].second);
    }
    index.first.push_back(static_cast<std::uint32_t>(index.pieces.size()));
    index.rank.assign(index.bits.size(), 0);
    std::uint32_t rank = 0;
    for (std::size_t w = 0; w < index.bits.size(); ++w) {
        index.rank[w] = rank;
        rank += static_cast<std::uint32_t>(std::popcount(index.bits[w]));
    }
    return index;
}

} // namespace

void IndexLanguageEvidence(LanguageScorer& scorer)
{
    for (auto& end : scorer.endIndex)
        end.clear();
    scorer.whole.clear();
    scorer.keys.clear();
    std::vector<std::pair<unsigned, std::uint32_t>> starts;  // (pair of bytes, piece)
    std::vector<std::pair<unsigned, std::uint32_t>> words;
    // Each piece's twin class: the kinds that are looked for alike, and the text.
    auto place = [](EvidenceKind kind) {
        return kind == EvidenceKind::StartFolded ? EvidenceKind::Start
             : kind == EvidenceKind::WordFolded  ? EvidenceKind::Word
                                                 : kind;
    };
    std::map<std::tuple<EvidenceKind, bool, std::string_view>, std::uint32_t> first;
    std::vector<std::vector<std::uint32_t>> twinsOf(scorer.evidence.size());
    for (std::uint32_t i = 0; i < scorer.evidence.size(); ++i) {
        const Evidence& e = scorer.evidence[i];
        if (e.text.empty())
            continue;
        if (e.kind != EvidenceKind::Shebang && e.kind != EvidenceKind::Mode) {
            const auto [at, added] = first.try_emplace({place(e.kind), IsFolded(e.kind), e.text}, i);
            if (!added) {
                twinsOf[at->second].push_back(i);
                continue;
            }
        }
        switch (e.kind) {
        case EvidenceKind::Start:
        case EvidenceKind::StartFolded:
            AddPairs(e, i, starts);
            break;
        case EvidenceKind::Word:
        case EvidenceKind::WordFolded:
            AddPairs(e, i, words);
            break;
        case EvidenceKind::End:
            scorer.endIndex[static_cast<unsigned char>(e.text.back())].push_back(i);
            break;
        case EvidenceKind::Shebang:
        case EvidenceKind::Mode:
            scorer.whole.push_back(i);
            break;
        case EvidenceKind::Key:
            scorer.keys.push_back(i);
            break;
        }
    }
    scorer.starts = BuildPairIndex(std::move(starts));
    scorer.words = BuildPairIndex(std::move(words));
    scorer.twinStart.assign(1, 0);
    scorer.twins.clear();
    for (const auto& twins : twinsOf) {
        scorer.twins.insert(scorer.twins.end(), twins.begin(), twins.end());
        scorer.twinStart.push_back(static_cast<std::uint32_t>(scorer.twins.size()));
    }
}

int LanguageScore(const LanguageScorer& scorer, const LanguageVerdict& verdict, std::uint32_t language)
{
    int score = 0;
    for (std::size_t i = 0; i < scorer.evidence.size() && i < verdict.counts.size(); ++i) {
        if (scorer.evidence[i].language == language)
            score += scorer.evidence[i].weight * static_cast<int>(std::min<unsigned>(verdict.counts[i], kEvidenceRepeats));
    }
    return std::max(score, 0);
}

void WeighLanguages(const LanguageScorer& scorer, std::string_view text, bool cut, LanguageVerdict& verdict)
{
    verdict.best = verdict.second = LanguageVerdict::kNone;
    verdict.bestScore = verdict.secondScore = verdict.thirdScore = 0;
    verdict.clear = verdict.pair = false;
    verdict.counts.assign(scorer.evidence.size(), 0);
    if (scorer.Empty())
        return;
    if (text.size() > kWeighedText) {
        text = text.substr(0, kWeighedText);
        cut = true;
    }

    std::vector<std::string> modes;
    std::string_view firstLine;
    std::array<std::string_view, kModeLines> lastLines;  // a ring: line n at n % kModeLines
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            if (cut) {
                // A minified script or style sheet is one line longer than
                // the sample; what the sample holds of it is still evidence.
                // Its last run is dropped, as the bytes after the cut could
                // lengthen it into another token.
                WeighLine(scorer, CutLineHead(text.substr(pos)), false, verdict);
                break;
            }
            end = text.size();
        }
        const std::string_view line = text.substr(pos, end - pos);
        if (lineNumber == 0)
            firstLine = line;
        if (lineNumber < kModeLines) {
            if (std::string mode = ModeOf(line); !mode.empty())
                modes.push_back(std::move(mode));
        }
        if (!cut)
            lastLines[lineNumber % kModeLines] = line;
        WeighLine(scorer, line, true, verdict);
        ++lineNumber;
        pos = end + 1;
    }
    if (lineNumber > kModeLines && !cut) {
        for (std::size_t n = lineNumber - kModeLines; n < lineNumber; ++n) {
            if (std::string mode = ModeOf(lastLines[n % kModeLines]); !mode.empty())
                modes.push_back(std::move(mode));
        }
    }
    WeighWhole(scorer, firstLine, modes, verdict);

    std::vector<int> scores(scorer.names.size(), 0);
    std::vector<unsigned> pieces(scorer.names.size(), 0);
    for (std::size_t i = 0; i < scorer.evidence.size(); ++i) {
        const Evidence& e = scorer.evidence[i];
        if (!verdict.counts[i])
            continue;
        scores[e.language] += e.weight * static_cast<int>(std::min<unsigned>(verdict.counts[i], kEvidenceRepeats));
        if (e.weight > 0)
            ++pieces[e.language];
    }
    for (std::uint32_t l = 0; l < scores.size(); ++l) {
        const int score = std::max(scores[l], 0);
        if (score == 0)
            continue;
        if (verdict.best == LanguageVerdict::kNone || score > verdict.bestScore) {
            verdict.thirdScore = verdict.secondScore;
            verdict.second = verdict.best;
            verdict.secondScore = verdict.bestScore;
            verdict.best = l;
            verdict.bestScore = score;
        } else if (verdict.second == LanguageVerdict::kNone || score > verdict.secondScore) {
            verdict.thirdScore = verdict.secondScore;
            verdict.second = l;
            verdict.secondScore = score;
        } else if (score > verdict.thirdScore) {
            verdict.thirdScore = score;
        }
    }
    if (verdict.best == LanguageVerdict::kNone || verdict.bestScore < kLeastLanguageScore
        || pieces[verdict.best] < kLeastEvidencePieces)
        return;
    auto clearOf = [](int winner, int next) { return next * kMarginDenominator <= winner * kMarginNumerator; };
    verdict.clear = clearOf(verdict.bestScore, verdict.secondScore);
    verdict.pair = !verdict.clear && pieces[verdict.second] >= kLeastEvidencePieces
                && clearOf(verdict.secondScore, verdict.thirdScore);
}

std::string DescribeVerdict(const LanguageScorer& scorer, const LanguageVerdict& verdict)
{
    if (verdict.best == LanguageVerdict::kNone)
        return "no language's evidence found";
    // The evidence that weighed most for the winner, at most five pieces.
    std::vector<std::pair<int, std::uint32_t>> weighed;
    for (std::uint32_t i = 0; i < scorer.evidence.size() && i < verdict.counts.size(); ++i) {
        const Evidence& e = scorer.evidence[i];
        if (verdict.counts[i] && (e.language == verdict.best || (verdict.pair && e.language == verdict.second)))
            weighed.emplace_back(e.weight * static_cast<int>(std::min<unsigned>(verdict.counts[i], kEvidenceRepeats)), i);
    }
    std::stable_sort(weighed.begin(), weighed.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::string text = scorer.names[verdict.best] + " " + std::to_string(verdict.bestScore);
    if (verdict.pair)
        text += " and " + scorer.names[verdict.second] + " " + std::to_string(verdict.secondScore) + ", too close to tell apart";
    text += " (";
    for (std::size_t i = 0; i < weighed.size() && i < 5; ++i) {
        const Evidence& e = scorer.evidence[weighed[i].second];
        text += (i ? ", " : "") + std::string(EvidenceKindKeyword(e.kind)) + " " + e.text + " x"
              + std::to_string(verdict.counts[weighed[i].second]) + " " + (weighed[i].first > 0 ? "+" : "")
              + std::to_string(weighed[i].first);
    }
    text += ")";
    if (!verdict.pair) {
        text += verdict.second == LanguageVerdict::kNone
                    ? "; no runner-up"
                    : "; runner-up " + scorer.names[verdict.second] + " " + std::to_string(verdict.secondScore);
    } else if (verdict.thirdScore > 0) {
        text += "; next " + std::to_string(verdict.thirdScore);
    }
    return text;
}
