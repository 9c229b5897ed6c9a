// Whether a sample that is valid in an encoding also reads like text in it:
// the characters its bytes decode to, weighed. Random bytes are valid
// Shift_JIS or Windows-1252 for a few dozen bytes now and then; what they
// decode to is no language's text (rare kanji, unassigned rows, symbols, C1
// punctuation, words of mixed case).
#include "text/text_sample.h"

#include <algorithm>
#include <array>

namespace {

bool IsAsciiLetter(std::uint8_t c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// The least evidence a text without a mark gives: eight bytes, or a word
// (three letters in a row, lower case after the first) beside a space or a
// line end. Of the printable one- to seven-byte files that random bytes
// make, few hold one.
bool EnoughAscii(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() >= 8)
        return true;
    std::size_t run = 0;
    bool word = false, space = false;
    for (std::uint8_t c : bytes) {
        const bool lower = c >= 'a' && c <= 'z';
        run = lower && run ? run + 1 : IsAsciiLetter(c) ? 1 : 0;
        word = word || run == 3;
        space = space || c == ' ' || c == '\n' || c == '\r';
    }
    return word && space;
}

// ---- Japanese: every encoding maps its two-byte characters to a JIS row and cell.

enum class Kanji : std::uint8_t { Good, Rare, Bad };

// Kana (rows 4, 5), punctuation (row 1), full-width digits and letters (row 3)
// and the first level of kanji (rows 16-47) make Japanese text; the second
// level, Greek, Cyrillic, box drawing and vendor extensions are real but rare;
// the rest of the rows are unassigned or left to users.
Kanji JisCharacter(int row, int cell)
{
    auto in = [&](int low, int high) { return cell >= low && cell <= high; };
    switch (row) {
    case 1: return Kanji::Good;
    case 2: return in(1, 14) || in(26, 33) || in(42, 48) || in(60, 74) || in(82, 89) || cell == 94 ? Kanji::Rare : Kanji::Bad;
    case 3: return in(16, 25) || in(33, 58) || in(65, 90) ? Kanji::Good : Kanji::Bad;
    case 4: return in(1, 83) ? Kanji::Good : Kanji::Bad;
    case 5: return in(1, 86) ? Kanji::Good : Kanji::Bad;
    case 6: return in(1, 24) || in(33, 56) ? Kanji::Rare : Kanji::Bad;
    case 7: return in(1, 33) || in(49, 81) ? Kanji::Rare : Kanji::Bad;
    case 8: return in(1, 32) ? Kanji::Rare : Kanji::Bad;
    case 13: return Kanji::Rare;  // circled numbers and units
    case 47: return in(1, 51) ? Kanji::Good : Kanji::Bad;
    case 84: return in(1, 6) ? Kanji::Rare : Kanji::Bad;
    default: break;
    }
    if (row >= 16 && row <= 46)
        return Kanji::Good;
    if ((row >= 48 && row <= 83) || (row >= 89 && row <= 92) || (row >= 115 && row <= 120))
        return Kanji::Rare;  // level 2, and the IBM extensions of code page 932
    return Kanji::Bad;
}

struct JapaneseTally {
    std::size_t good = 0, rare = 0, bad = 0, kana = 0;
    std::size_t kanaRun = 0;  // half-width kana in a row
    std::size_t halfWidth = 0;  // of the good ones
    std::uint8_t previous = 0;  // the half-width kana before, if the last character was one

    void Character(Kanji kind, bool isKana = false)
    {
        EndKana();
        kana += isKana;
        (kind == Kanji::Good ? good : kind == Kanji::Rare ? rare : bad) += 1;
    }
    // Half-width katakana (A6-DF) spell words in runs; one alone among
    // other bytes is noise, and so are the half-width punctuation marks
    // (A1-A5) that EUC-JP's kana read as.
    void HalfWidthKana(std::uint8_t c)
    {
        // The voicing marks DE and DF follow only the kana that take them.
        const bool voiced = c == 0xDE ? previous == 0xB3 || (previous >= 0xB6 && previous <= 0xC4)
                                          || (previous >= 0xCA && previous <= 0xCE)
                          : c == 0xDF ? previous >= 0xCA && previous <= 0xCE
                                      : true;
        previous = c;
        if (c >= 0xA6 && voiced) {
            ++kanaRun;
            return;
        }
        EndKana();
        (voiced ? rare : bad) += 1;
    }
    void EndKana()
    {
        previous = 0;
        (kanaRun >= 2 ? good : rare) += kanaRun;
        kana += kanaRun >= 2 ? kanaRun : 0;
        halfWidth += kanaRun >= 2 ? kanaRun : 0;
        kanaRun = 0;
    }

    // Mostly good characters, almost no bad one, and some evidence: kanji or
    // kana, three of them (half-width kana count half).
    // EUC-JP shares its rows with EUC-KR and GB2312, whose Hangul and hanzi
    // fall where kanji stand: there, kana must be among them too.
    bool Plausible(bool needKana = false)
    {
        EndKana();
        const std::size_t all = good + rare + bad;
        return bad * 20 <= all && good * 3 >= all * 2 && 2 * good - halfWidth >= 6 && (!needKana || kana * 10 >= all);
    }
};

void TallyShiftJis(JapaneseTally& tally, std::span<const std::uint8_t> bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t c = bytes[i];
        if (c < 0x80) {
            tally.EndKana();
            ++i;
        } else if (c >= 0xA1 && c <= 0xDF) {
            tally.HalfWidthKana(c);
            ++i;
        } else if (i + 1 < bytes.size()) {
            const std::uint8_t t = bytes[i + 1];
            int row = (c <= 0x9F ? c - 0x81 : c - 0xC1) * 2 + 1;
            int cell = 0;
            if (t >= 0x9F) {
                ++row;
                cell = t - 0x9E;
            } else {
                cell = t - 0x3F - (t > 0x7F ? 1 : 0);
            }
            tally.Character(JisCharacter(row, cell), row == 4 || row == 5);
            i += 2;
        } else {
            ++i;
        }
    }
}

void TallyEucJp(JapaneseTally& tally, std::span<const std::uint8_t> bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t c = bytes[i];
        if (c < 0x80) {
            tally.EndKana();
            ++i;
        } else if (c == 0x8E) {
            tally.HalfWidthKana(i + 1 < bytes.size() ? bytes[i + 1] : 0xA6);
            i += 2;
        } else if (c == 0x8F) {
            tally.Character(Kanji::Rare);  // JIS X 0212
            i += 3;
        } else {
            if (i + 1 < bytes.size())
                tally.Character(JisCharacter(c - 0xA0, bytes[i + 1] - 0xA0), c == 0xA4 || c == 0xA5);
            i += 2;
        }
    }
}

void TallyIso2022Jp(JapaneseTally& tally, std::span<const std::uint8_t> bytes)
{
    enum class Set { Single, Kana, Double, Supplement } set = Set::Single;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t c = bytes[i];
        if (c == 0x1B && i + 2 < bytes.size()) {
            const std::uint8_t a = bytes[i + 1], b = bytes[i + 2];
            const bool four = a == '$' && b == '(' && i + 3 < bytes.size();
            const std::uint8_t final = four ? bytes[i + 3] : b;
            set = a == '(' ? (b == 'I' ? Set::Kana : Set::Single)
                : a == '$' ? (four && final == 'D' ? Set::Supplement : Set::Double)
                           : Set::Single;
            tally.EndKana();
            i += four ? 4 : 3;
        } else if (c == 0x0A || c == 0x0D || set == Set::Single) {
            tally.EndKana();
            ++i;
        } else if (set == Set::Kana) {
            tally.HalfWidthKana(c | 0x80);
            ++i;
        } else {
            if (i + 1 < bytes.size())
                tally.Character(set == Set::Supplement ? Kanji::Rare : JisCharacter(c - 0x20, bytes[i + 1] - 0x20),
                                c == 0x24 || c == 0x25);
            i += 2;
        }
    }
}

// ---- Windows code pages: what each byte 80-FF stands for.

// A letter's weight says how common it is in the languages written in the
// code page (3 common, 1 rare, 0 hardly used); symbols and punctuation have
// no case.
enum Kind : std::uint8_t { Undefined, Upper, Lower, Punctuation, Symbol };
struct CodePoint {
    Kind kind;
    std::uint8_t weight;
};
using CodePage = std::array<CodePoint, 128>;

// The table of one code page from 128 letters, one a byte from 80: '-'
// undefined, 'p' punctuation that prose holds (quotes, dashes, an ellipsis,
// a no-break space, a euro sign, guillemets), 's' other symbols (and C1
// junk); 'A'-'D' upper-case letters of weight 0-3, 'a'-'d' lower-case ones.
constexpr CodePage MakeCodePage(const char (&line)[129])
{
    CodePage page{};
    for (std::size_t i = 0; i < 128; ++i) {
        const char c = line[i];
        page[i] = c == '-' ? CodePoint{Undefined, 0}
                : c == 'p' ? CodePoint{Punctuation, 0}
                : c == 's' ? CodePoint{Symbol, 0}
                : c >= 'a' ? CodePoint{Lower, static_cast<std::uint8_t>(c - 'a')}
                           : CodePoint{Upper, static_cast<std::uint8_t>(c - 'A')};
    }
    return page;
}

// Western European: French, German, Spanish, Portuguese, Italian, Dutch and
// the Nordic languages.
constexpr CodePage kWindows1252 = MakeCodePage(
    "p-psppssssBsB-B--pppppppssbsb-bA"  // 80-9F
    "ppssssspspspsssspsssssspssspsssp"  // A0-BF
    "CCCCCCCCCCCCCCCBACCCCCCsCCCBCAAd"  // C0-DF
    "ddcdddcddddccdcbadcdccdsccdbdaaa"  // E0-FF
);

// Central European: Czech, Slovak, Polish, Hungarian, Slovenian, Croatian, Romanian.
constexpr CodePage kWindows1250 = MakeCodePage(
    "p-p-ppss-sCsCCCC-ppppppp-sdsdcdd"  // 80-9F
    "pssCsCspspCpsssCpssdssspsdcpCscd"  // A0-BF
    "ACCCCACBCCCBCCCCCCCCCCCsCCCCCCCb"  // C0-DF
    "adcdcadbdddbddcccdcdcddsddddddcs"  // E0-FF
);

// Cyrillic: Russian, Ukrainian, Belarusian, Bulgarian, Serbian, Macedonian.
constexpr CodePage kWindows1251 = MakeCodePage(
    "CBpbppsspsCsCBCCcppppppp-scscbcc"  // 80-9F
    "pCcCsDspBpDpsssDpsDddsspbsdpcBbd"  // A0-BF
    "DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD"  // C0-DF
    "dddddddddddddddddddddddddddddddd"  // E0-FF
);

const CodePage& PageOf(TextEncoding encoding)
{
    return encoding == TextEncoding::Windows1250 ? kWindows1250
         : encoding == TextEncoding::Windows1251 ? kWindows1251
                                                 : kWindows1252;
}

} // namespace

bool CodePageDefines(TextEncoding encoding, std::uint8_t c)
{
    return c < 0x80 || PageOf(encoding)[c - 0x80].kind != Undefined;
}

// Longer than the longest compounds of the languages these code pages write.
constexpr std::size_t kLongestWord = 64;

std::optional<int> TextScore(TextEncoding encoding, std::span<const std::uint8_t> head, std::span<const std::uint8_t> tail)
{
    auto japanese = [&](void (*tallyOf)(JapaneseTally&, std::span<const std::uint8_t>)) -> std::optional<int> {
        JapaneseTally tally;
        tallyOf(tally, head);
        tallyOf(tally, tail);
        return tally.Plausible(encoding == TextEncoding::EucJp) ? std::optional(0) : std::nullopt;
    };
    switch (encoding) {
    case TextEncoding::Ascii:
        return EnoughAscii(head) ? std::optional(0) : std::nullopt;
    case TextEncoding::Utf8:
        // Two characters beyond ASCII are evidence too; only a short head is counted.
        return EnoughAscii(head) || std::count_if(head.begin(), head.end(), [](std::uint8_t c) { return c >= 0xC0; }) >= 2
                 ? std::optional(0)
                 : std::nullopt;
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be:
        return 0;
    case TextEncoding::Iso2022Jp:
        return japanese(TallyIso2022Jp);
    case TextEncoding::EucJp:
        return japanese(TallyEucJp);
    case TextEncoding::ShiftJis:
        return japanese(TallyShiftJis);
    case TextEncoding::Windows1252:
    case TextEncoding::Windows1250:
    case TextEncoding::Windows1251:
        break;
    }
    const CodePage& page = PageOf(encoding);
    const bool cyrillic = encoding == TextEncoding::Windows1251;
    // Words: runs of letters. A word is cased as words are (all lower, all
    // upper, or capitalised) and, in Cyrillic, holds no Latin letter. Random
    // bytes make words of one letter, or of mixed case.
    std::size_t high = 0, highLetters = 0, asciiLetters = 0, bad = 0, miscased = 0, single = 0;
    int weight = 0, wordWeight = 0;
    std::size_t wordHigh = 0, wordAscii = 0, wordLength = 0, wordUpper = 0;
    bool firstUpper = false;
    auto endWord = [&] {
        if (cyrillic && wordHigh && wordAscii)
            bad += wordHigh;
        // No language writes a word of more than kLongestWord letters; an
        // image's raster of one grey level is one such run.
        const bool cased = wordLength <= kLongestWord
                           && (wordUpper == 0 || wordUpper == wordLength || (wordUpper == 1 && firstUpper));
        miscased += cased ? 0 : wordLength;
        // A letter in a word of no language's spelling speaks for no code page.
        weight += cased ? wordWeight : 0;
        wordWeight = 0;
        single += wordLength == 1;
        wordHigh = wordAscii = wordLength = wordUpper = 0;
    };
    auto read = [&](std::uint8_t c) {
        bool upper = false, lower = false;
        if (c < 0x80) {
            upper = c >= 'A' && c <= 'Z';
            lower = c >= 'a' && c <= 'z';
            asciiLetters += upper || lower;
            wordAscii += upper || lower;
        } else {
            const CodePoint point = page[c - 0x80];
            ++high;
            upper = point.kind == Upper;
            lower = point.kind == Lower;
            if (upper || lower) {
                ++highLetters;
                ++wordHigh;
                wordWeight += point.weight;
            } else if (point.kind != Punctuation) {
                ++bad;
            }
        }
        if (!upper && !lower) {
            if (wordLength)
                endWord();
            return;
        }
        firstUpper = wordLength == 0 ? upper : firstUpper;
        wordUpper += upper;
        ++wordLength;
    };
    for (auto bytes : {head, tail}) {
        for (std::uint8_t c : bytes)
            read(c);
        if (wordLength)
            endWord();
    }
    const std::size_t letters = highLetters + asciiLetters;
    // Latin-script text is mostly ASCII letters; Cyrillic text mostly its own.
    const bool script = cyrillic ? highLetters * 2 >= letters : highLetters * 2 <= letters;
    if (high == 0 || letters < 8 || !script || bad * 8 > high || highLetters * 2 < high || miscased * 8 > letters
        || single * 4 > letters || weight < 3)
        return std::nullopt;
    return weight;
}
