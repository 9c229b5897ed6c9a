// Weighing the evidence for programming and markup languages in a text.
//
// No single line proves that a file is C or Python; many lines together do.
// Each language type of a signature set carries its evidence as "weigh"
// rules (a keyword at the start of a line, a token anywhere, a line's end, a
// shebang's interpreter, an editor's modeline), each with a weight. The loader
// compiles the evidence of every language type into one scorer; a file's
// text sample is scored once, in one pass over its lines, for all languages
// together, and a language is named only when it wins by a clear margin with
// a minimum of evidence.
//
// Everything here is pure: the scorer reads only the text handed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where a piece of evidence is looked for.
enum class EvidenceKind : std::uint8_t {
    Start,       // a line begins with it, after its indentation
    StartFolded, // the same, ASCII letters in either case
    Word,        // anywhere, not inside a longer word (nor a mark inside a run of the same mark)
    WordFolded,  // the same, ASCII letters in either case
    End,         // a line ends with it, before trailing white space
    Shebang,     // the first line's "#!" interpreter, by name ("python" takes python3.11)
    Mode,        // an editor's modeline names it: "-*- mode: NAME -*-", "vim: ft=NAME"
    Key,         // it follows at once a dotted key that opens a line, after its indentation ("a.b=")
};

// The keyword a weigh rule writes for each kind, and back.
std::string_view EvidenceKindKeyword(EvidenceKind kind);
bool EvidenceKindFromKeyword(std::string_view keyword, EvidenceKind& kind);

// Weights lie in -kMaxWeight..kMaxWeight, never 0.
constexpr int kMaxWeight = 99;

// A piece of evidence as the scorer holds it.
struct Evidence {
    EvidenceKind kind = EvidenceKind::Word;
    std::string text;  // unescaped; for Shebang and Mode a name, compared in lower case
    int weight = 0;
    std::uint32_t language = 0;  // index into LanguageScorer::names
};

// An occurrence counts up to this many times: a long file repeats what a
// short one says once, and should not outweigh a rarer, sharper token.
constexpr unsigned kEvidenceRepeats = 3;
// The least score a language needs, and the least number of different
// pieces of evidence of positive weight behind it.
constexpr int kLeastLanguageScore = 12;
constexpr unsigned kLeastEvidencePieces = 2;
// A winner needs this margin over the runner-up: runner-up * 3 <= winner * 2.
constexpr int kMarginNumerator = 2;
constexpr int kMarginDenominator = 3;

// Every language type's evidence, compiled for one pass.
struct LanguageScorer {
    std::vector<std::string> names;  // the languages, in the order their types stand
    std::vector<Evidence> evidence;
    // Evidence by the pair of bytes it starts with (both cases of a folded
    // letter; any byte after a one-byte text, 0 at a line's end). Every pair
    // is one bit: most places of a text start no evidence and are passed over
    // at once. The pairs that are set are ranked by the bits before them
    // (`rank`, per 64-bit word, then a count within it), and the rank is the
    // pair's place in `first`, where its pieces of evidence start in `pieces`.
    struct PairIndex {
        std::vector<std::uint64_t> bits;
        std::vector<std::uint32_t> rank;
        std::vector<std::uint32_t> first;
        std::vector<std::uint32_t> pieces;
    };
    PairIndex starts;  // Start and StartFolded
    PairIndex words;   // Word and WordFolded
    std::vector<std::uint32_t> endIndex[256];  // End evidence by its last byte
    std::vector<std::uint32_t> whole;  // Shebang and Mode, tested once a file
    std::vector<std::uint32_t> keys;   // Key evidence, tested after a line's dotted key
    // Languages share tokens (`end ;`, `start #include`): only the first
    // piece of each kind and text is indexed and compared, and a hit counts
    // for its twins too, twins[twinStart[p]..twinStart[p + 1]).
    std::vector<std::uint32_t> twinStart;
    std::vector<std::uint32_t> twins;
    bool Empty() const { return names.empty(); }
};

// The index of `name` among the scorer's languages, added when new.
std::uint32_t LanguageIndex(LanguageScorer& scorer, std::string_view name);
// Adds a piece of evidence; call IndexLanguageEvidence once all are added.
void AddEvidence(LanguageScorer& scorer, Evidence evidence);
void IndexLanguageEvidence(LanguageScorer& scorer);

// The outcome of weighing one text.
struct LanguageVerdict {
    static constexpr std::uint32_t kNone = UINT32_MAX;
    std::uint32_t best = kNone;    // the highest score, if any language scored above zero
    std::uint32_t second = kNone;  // the runner-up
    int bestScore = 0;
    int secondScore = 0;
    int thirdScore = 0;
    bool clear = false;  // `best` wins: enough evidence and a clear margin
    bool pair = false;   // `best` and `second` cannot be told apart, but together stand clear of the rest
    std::vector<std::uint8_t> counts;  // per piece of evidence, how often it was found (at most 255)
};

// Of a sample, only the first kWeighedText bytes are weighed: evidence
// counts at most kEvidenceRepeats times, and a file shows its language long
// before that.
constexpr std::size_t kWeighedText = 8 * 1024;

// Weighs `text` (a decoded sample; with `cut` its last line may be cut and
// is not read), or its first kWeighedText bytes. Linear in their length; no
// backtracking.
void WeighLanguages(const LanguageScorer& scorer, std::string_view text, bool cut, LanguageVerdict& verdict);

// A language's score in a verdict.
int LanguageScore(const LanguageScorer& scorer, const LanguageVerdict& verdict, std::uint32_t language);

// The verdict in words, for explaining a match: the winner (or pair) with
// its score and the evidence that weighed most, then the runner-up.
std::string DescribeVerdict(const LanguageScorer& scorer, const LanguageVerdict& verdict);
