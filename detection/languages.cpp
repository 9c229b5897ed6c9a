#include "languages.h"

#include "ascii.h"

#include <algorithm>

namespace {

constexpr struct {
    std::string_view keyword;
    EvidenceKind kind;
} kKinds[] = {
    {"start", EvidenceKind::Start}, {"istart", EvidenceKind::StartFolded}, {"word", EvidenceKind::Word},
    {"iword", EvidenceKind::WordFolded}, {"end", EvidenceKind::End}, {"shebang", EvidenceKind::Shebang},
    {"mode", EvidenceKind::Mode},
};

// Letters, digits and the underscore: what most languages' names are made
// of. A byte of a multi-byte character counts too, so that no token is
// found inside a word of another script.
bool IsWordByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDecimalDigit(c) || c == '_' || u >= 0x80;
}

bool IsFolded(EvidenceKind kind)
{
    return kind == EvidenceKind::StartFolded || kind == EvidenceKind::WordFolded;
}

// Whether `wanted` lies at `at` in `line`, not as part of a longer word.
bool TokenAt(std::string_view line, std::size_t at, std::string_view wanted, bool folded)
{
    if (line.size() - at < wanted.size())
        return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
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

// The evidence of an index that may start at `at`: exact evidence keyed by
// the byte there, folded evidence by its lower case; each one's second byte
// must fit too.
template <class Visit>
void ForEachCandidate(const std::vector<LanguageScorer::Candidate> (&index)[256], std::string_view line, std::size_t at,
                      Visit visit)
{
    const char c = line[at];
    const char next = at + 1 < line.size() ? line[at + 1] : 0;
    const char nextLower = AsciiLower(next);
    const auto exact = static_cast<unsigned char>(c);
    const auto lower = static_cast<unsigned char>(AsciiLower(c));
    for (const LanguageScorer::Candidate& candidate : index[exact]) {
        if (candidate.folded ? exact == lower && (candidate.second == 0 || candidate.second == nextLower)
                             : candidate.second == 0 || candidate.second == next)
            visit(candidate.piece, candidate.folded);
    }
    if (exact != lower) {
        for (const LanguageScorer::Candidate& candidate : index[lower]) {
            if (candidate.folded && (candidate.second == 0 || candidate.second == nextLower))
                visit(candidate.piece, true);
        }
    }
}

void WeighLine(const LanguageScorer& scorer, std::string_view line, LanguageVerdict& verdict)
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

    ForEachCandidate(scorer.startIndex, body, indent, [&](std::uint32_t piece, bool folded) {
        if (TokenAt(body, indent, scorer.evidence[piece].text, folded))
            Count(verdict, piece);
    });
    for (std::uint32_t piece : scorer.endIndex[static_cast<unsigned char>(body.back())]) {
        const std::string_view text = scorer.evidence[piece].text;
        if (body.size() - indent >= text.size() && body.ends_with(text))
            Count(verdict, piece);
    }
    for (std::size_t i = indent; i < body.size(); ++i) {
        const char c = body[i];
        // Inside a word nothing starts but a token of punctuation, which
        // has no word byte to start with.
        const bool inWord = i > 0 && IsWordByte(c) && IsWordByte(body[i - 1]);
        if (inWord)
            continue;
        const unsigned pair = static_cast<unsigned char>(c) << 8 | static_cast<unsigned char>(i + 1 < body.size() ? body[i + 1] : 0);
        if (!(scorer.wordPairs[pair >> 6] >> (pair & 63) & 1))
            continue;
        ForEachCandidate(scorer.wordIndex, body, i, [&](std::uint32_t piece, bool folded) {
            if (TokenAt(body, i, scorer.evidence[piece].text, folded))
                Count(verdict, piece);
        });
    }
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

void IndexLanguageEvidence(LanguageScorer& scorer)
{
    for (std::uint32_t b = 0; b < 256; ++b) {
        scorer.startIndex[b].clear();
        scorer.wordIndex[b].clear();
        scorer.endIndex[b].clear();
    }
    scorer.whole.clear();
    scorer.wordPairs.assign(65536 / 64, 0);
    auto mark = [&](unsigned char a, unsigned char b) {
        const unsigned pair = a << 8 | b;
        scorer.wordPairs[pair >> 6] |= std::uint64_t{1} << (pair & 63);
    };
    for (std::uint32_t i = 0; i < scorer.evidence.size(); ++i) {
        const Evidence& e = scorer.evidence[i];
        if (e.text.empty())
            continue;
        const bool folded = IsFolded(e.kind);
        const auto first = static_cast<unsigned char>(folded ? AsciiLower(e.text.front()) : e.text.front());
        const char second = e.text.size() < 2 ? 0 : folded ? AsciiLower(e.text[1]) : e.text[1];
        switch (e.kind) {
        case EvidenceKind::Start:
        case EvidenceKind::StartFolded:
            scorer.startIndex[first].push_back({i, second, folded});
            break;
        case EvidenceKind::Word:
        case EvidenceKind::WordFolded: {
            scorer.wordIndex[first].push_back({i, second, folded});
            // Both cases of a folded letter, and any byte after a one-byte text.
            for (const char a : {e.text.front(), folded ? AsciiUpper(e.text.front()) : e.text.front(),
                                 folded ? AsciiLower(e.text.front()) : e.text.front()}) {
                for (unsigned b = 0; b < 256; ++b) {
                    const char next = static_cast<char>(b);
                    if (e.text.size() < 2 ? true : folded ? AsciiLower(next) == second : next == second)
                        mark(static_cast<unsigned char>(a), static_cast<unsigned char>(b));
                }
            }
            break;
        }
        case EvidenceKind::End:
            scorer.endIndex[static_cast<unsigned char>(e.text.back())].push_back(i);
            break;
        case EvidenceKind::Shebang:
        case EvidenceKind::Mode:
            scorer.whole.push_back(i);
            break;
        }
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
    std::vector<std::string_view> lastLines;
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            if (cut)
                break;
            end = text.size();
        }
        const std::string_view line = text.substr(pos, end - pos);
        if (lineNumber == 0)
            firstLine = line;
        if (lineNumber < kModeLines) {
            if (std::string mode = ModeOf(line); !mode.empty())
                modes.push_back(std::move(mode));
        }
        if (!cut) {
            if (lastLines.size() == kModeLines)
                lastLines.erase(lastLines.begin());
            lastLines.push_back(line);
        }
        WeighLine(scorer, line, verdict);
        ++lineNumber;
        pos = end + 1;
    }
    if (lineNumber > kModeLines) {
        for (std::string_view line : lastLines) {
            if (std::string mode = ModeOf(line); !mode.empty())
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
