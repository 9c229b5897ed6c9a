// The pattern parser and matcher. Input: a <magic> text, a NUL, a layout
// byte, a filler byte, then the file's bytes.
//
// Three answers must agree: the matcher over the bytes in memory; a detection
// run over the same bytes written to a file, through the real file layer, its
// read windows and its chunked search; and the plain reference below, which
// knows only the classic texts (a new form must be invalid to it, and its
// answer over memory and over the file must agree). The
// layout byte pads the bytes with filler so that they straddle the 4 KiB
// windows at either end and the 256 KiB search chunks.
#include "fuzz_support.h"

#include "detection.h"
#include "patterns/magic.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <climits>
#include <optional>
#include <vector>

namespace {

struct ReferenceRule {
    bool valid = false;
    bool search = false;
    long long offset = 0;
    std::size_t tokenCount = 0;
    std::vector<int> pattern;  // -1 for a wildcard
};

// A number as strtoll reads it; empty when there is no digit or it leaves 32 bits.
std::optional<long long> Strtoll(const std::string& token, int base, bool digitsRequired)
{
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(token.c_str(), &end, base);
    if (end == token.c_str())
        return digitsRequired ? std::nullopt : std::optional<long long>(0);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return value;
}

ReferenceRule ReferenceParse(const std::string& text)
{
    ReferenceRule rule;
    std::vector<std::string> tokens;
    if (!text.empty()) {
        std::string token;
        for (char c : text) {
            if (c == ' ') {
                tokens.push_back(token);
                token.clear();
            } else {
                token += c;
            }
        }
        if (!token.empty())
            tokens.push_back(token);
    }
    if (tokens.empty())
        return rule;
    rule.tokenCount = tokens.size();
    std::size_t first = 0;
    if (tokens[0] == "?:") {
        rule.search = true;
        first = 1;
    } else if (!tokens[0].empty() && tokens[0].back() == ':') {
        auto offset = Strtoll(tokens[0], 10, false);
        if (!offset)
            return rule;
        rule.offset = *offset;
        first = 1;
    }
    for (std::size_t i = first; i < tokens.size(); ++i) {
        if (tokens[i] == "??") {
            rule.pattern.push_back(-1);
            continue;
        }
        auto value = Strtoll(tokens[i], 16, true);
        if (!value)
            return rule;
        rule.pattern.push_back(static_cast<int>(static_cast<unsigned long long>(*value) & 0xFF));
    }
    rule.valid = true;
    return rule;
}

// The reference scans up to 260 KiB an input. Traced for coverage, its own
// comparisons took three quarters of the run; what guides the fuzzer is the
// coverage of the code under test, so the reference is left untraced.
__attribute__((no_sanitize("coverage"))) bool HoldsAt(const ReferenceRule& rule, const std::string& bytes,
                                                      std::size_t start)
{
    for (std::size_t k = 0; k < rule.pattern.size(); ++k) {
        if (rule.pattern[k] >= 0 && rule.pattern[k] != static_cast<unsigned char>(bytes[start + k]))
            return false;
    }
    return true;
}

__attribute__((no_sanitize("coverage"))) MagicResult ReferenceMatch(const ReferenceRule& rule, const std::string& bytes)
{
    const std::size_t size = bytes.size(), n = rule.pattern.size();
    if (!rule.valid || size < rule.tokenCount)
        return MagicResult::NoMatch;
    if (rule.search) {
        // Only where the first fixed byte fits: memchr finds those places.
        const auto fixed = std::find_if(rule.pattern.begin(), rule.pattern.end(), [](int v) { return v >= 0; });
        if (fixed == rule.pattern.end())
            return n <= size ? MagicResult::DecisiveMatch : MagicResult::NoMatch;
        const auto j = static_cast<std::size_t>(fixed - rule.pattern.begin());
        for (std::size_t i = 0; i + n <= size; ++i) {
            const void* hit = std::memchr(bytes.data() + i + j, *fixed, size - n - i + 1);
            if (!hit)
                break;
            i = static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data()) - j;
            if (HoldsAt(rule, bytes, i))
                return MagicResult::DecisiveMatch;
        }
        return MagicResult::NoMatch;
    }
    std::size_t start;
    if (rule.offset >= 0) {
        if (static_cast<unsigned long long>(rule.offset) + n > size)
            return MagicResult::NoMatch;
        start = static_cast<std::size_t>(rule.offset);
    } else {
        const auto back = static_cast<unsigned long long>(-rule.offset);
        if (back > size || back < n)
            return MagicResult::NoMatch;
        start = size - static_cast<std::size_t>(back);
    }
    return HoldsAt(rule, bytes, start) ? MagicResult::Match : MagicResult::NoMatch;
}

void CheckParse(const MagicRule& rule, const ReferenceRule& expected)
{
    FUZZ_CHECK(rule.valid == expected.valid);
    if (!rule.valid)
        return;
    FUZZ_CHECK((rule.anchor == MagicAnchor::Search) == expected.search);
    FUZZ_CHECK(rule.offset == expected.offset);
    FUZZ_CHECK(rule.tokenCount == expected.tokenCount);
    FUZZ_CHECK(rule.pattern.size() == expected.pattern.size());
    for (std::size_t k = 0; k < rule.pattern.size(); ++k) {
        const PatternByte& got = rule.pattern[k];
        FUZZ_CHECK(got.wildcard == (expected.pattern[k] < 0));
        FUZZ_CHECK(got.wildcard || got.value == expected.pattern[k]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchDir dir;

    const std::string_view input = AsText(data, size);
    const std::size_t nul = input.find('\0');
    const std::string text(input.substr(0, nul));
    std::string_view rest = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
    const unsigned layout = rest.empty() ? 0 : static_cast<unsigned char>(rest[0]);
    const char filler = rest.size() < 2 ? '\0' : rest[1];
    rest.remove_prefix(std::min<std::size_t>(rest.size(), 2));

    static constexpr std::size_t kLeads[] = {0, 4093, 256 * 1024 - 3, 1};
    static constexpr std::size_t kTrails[] = {0, 3, 4095, 4097};
    const std::string bytes = std::string(kLeads[layout & 3], filler) + std::string(rest)
                            + std::string(kTrails[(layout >> 2) & 3], filler);

    const MagicRule rule = ParseMagicRule(text);
    const ReferenceRule reference = ReferenceParse(text);
    CheckParse(ParseClassicMagicRule(text), reference);
    FUZZ_CHECK(NewFormOf(text).has_value() == (rule.form != MagicForm::Classic));
    if (rule.form == MagicForm::Classic)
        CheckParse(rule, reference);
    else
        FUZZ_CHECK(!reference.valid);

    MemorySource memory({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    const MagicResult inMemory = TestMagic(rule, memory);
    if (rule.form == MagicForm::Classic)
        FUZZ_CHECK(inMemory == ReferenceMatch(reference, bytes));

    // The same pattern as the only type of a table, over the file.
    SignatureTable table;
    table.state = SignatureFileState::Usable;
    table.types.push_back({"T", {".t"}, {rule}});
    IndexSignatureTable(table);
    const DetectionOutcome outcome = DetectWithTable(table, dir.Write("file", bytes));
    FUZZ_CHECK(outcome.state == (inMemory == MagicResult::NoMatch ? DetectionState::Undetermined
                                                                  : DetectionState::Detected));
    return 0;
}
