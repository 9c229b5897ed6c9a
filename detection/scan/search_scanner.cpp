// The search scanner: patterns compiled into a filter (plain, SSSE3 or AVX2) and each candidate checked.
#include "scan/search_scanner.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace {

// Roughly how much a byte value narrows the filter, in bits: zeros and 0xFF
// fill whole regions of ordinary files, text characters fill text files.
int Selectivity(std::uint8_t b)
{
    if (b == 0x00 || b == 0xFF)
        return 2;
    if (b == ' ' || b == '\n' || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9'))
        return 4;
    if (b >= 0x20 && b < 0x7F)
        return 5;
    return 7;
}

int WindowScore(std::span<const PatternByte> window)
{
    int score = 0;
    for (std::size_t k = 0; k < window.size(); ++k) {
        if (window[k].wildcard)
            continue;
        bool repeat = false;
        for (std::size_t j = 0; j < k; ++j)
            repeat = repeat || (!window[j].wildcard && window[j].value == window[k].value);
        // In a run of one value (a file of zeros) a repeated byte rules nothing out.
        score += repeat ? 1 : Selectivity(window[k].value);
    }
    return score;
}

void AllowEverything(SearchScanner::Group& group, std::size_t k, std::uint8_t bit)
{
    for (std::size_t v = 0; v < 16; ++v) {
        group.low[k][v] |= bit;
        group.high[k][v] |= bit;
    }
}

void AddToGroup(SearchScanner::Group& group, const SearchScanner::Pattern& pattern, std::size_t bucket)
{
    const auto bit = static_cast<std::uint8_t>(1u << bucket);
    const std::span<const PatternByte> bytes(pattern.bytes);
    const std::size_t length = std::min(SearchScanner::kWindow, bytes.size());
    for (std::size_t k = 0; k < SearchScanner::kWindow; ++k) {
        if (k >= length || bytes[pattern.windowStart + k].wildcard) {
            AllowEverything(group, k, bit);
            continue;
        }
        const std::uint8_t value = bytes[pattern.windowStart + k].value;
        group.low[k][value & 0x0F] |= bit;
        group.high[k][value >> 4] |= bit;
    }
}

// What the filter of one group hands on: positions to compare in full.
struct Candidates {
    const SearchScanner& scanner;
    const SearchScanner::Group& group;
    const std::uint8_t* data;
    std::size_t size;
    std::uint64_t offset;
    SearchFindings& findings;
};

// `bits` are the filter bits that hold with the window at `position`.
__attribute__((noinline)) void CheckCandidates(Candidates& c, std::size_t position, unsigned bits)
{
    for (; bits != 0; bits &= bits - 1) {
        const auto bucket = static_cast<std::uint32_t>(__builtin_ctz(bits));
        for (std::uint32_t i = c.group.first + bucket; i < c.group.first + c.group.count;
             i += SearchScanner::kBuckets) {
            if (c.findings.at[i] != SearchFindings::kPending)
                continue;
            const SearchScanner::Pattern& pattern = c.scanner.patterns[i];
            if (position < pattern.windowStart)
                continue;
            const std::size_t start = position - pattern.windowStart;
            if (pattern.bytes.size() > c.size - start || !PatternMatchesAt(pattern.bytes, c.data + start))
                continue;
            c.findings.at[i] = c.offset + start;
            --c.findings.pendingInGroup[i / SearchScanner::kGroupSize];
        }
    }
}

// One position at a time; also the tail of the vector versions, where a
// window byte past the end reads as 0 (the full compare rules it out).
void FilterPlain(Candidates& c, std::size_t from)
{
    const auto& low = c.group.low;
    const auto& high = c.group.high;
    auto at = [&](std::size_t i) -> std::uint8_t { return i < c.size ? c.data[i] : 0; };
    for (std::size_t p = from; p < c.size; ++p) {
        unsigned bits = 0xFF;
        for (std::size_t k = 0; k < SearchScanner::kWindow && bits != 0; ++k) {
            const std::uint8_t b = at(p + k);
            bits &= static_cast<unsigned>(low[k][b & 0x0F] & high[k][b >> 4]);
        }
        if (bits != 0)
            CheckCandidates(c, p, bits);
    }
}

void CheckLanes(Candidates& c, std::size_t position, const std::uint8_t* lanes, std::size_t count)
{
    for (std::size_t lane = 0; lane < count; ++lane) {
        if (lanes[lane] != 0)
            CheckCandidates(c, position + lane, lanes[lane]);
    }
}

// The kernels below spell out the three window bytes: a loop over them
// leaves the tables in memory at -O2 and halves the speed. The SSSE3 and AVX2
// kernels stay two look-alike functions for the same reason: each is compiled
// for its own instruction set, on registers of its own width, and a template
// over both would put the hot loop behind calls the compiler may not inline.
static_assert(SearchScanner::kWindow == 3);

__attribute__((target("ssse3"))) inline __m128i Bits16(__m128i v, __m128i low, __m128i high, __m128i nibble)
{
    return _mm_and_si128(_mm_shuffle_epi8(low, _mm_and_si128(v, nibble)),
                         _mm_shuffle_epi8(high, _mm_and_si128(_mm_srli_epi16(v, 4), nibble)));
}

__attribute__((target("ssse3"))) void FilterSsse3(Candidates& c)
{
    auto table = [](const std::array<std::uint8_t, 16>& t) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data()));
    };
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i low0 = table(c.group.low[0]), low1 = table(c.group.low[1]), low2 = table(c.group.low[2]);
    const __m128i high0 = table(c.group.high[0]), high1 = table(c.group.high[1]), high2 = table(c.group.high[2]);
    // The hot loop calls nothing, so that the tables stay in registers.
    std::size_t p = 0;
    while (c.size >= 16 + 2 && p <= c.size - 16 - 2) {
        __m128i bits = _mm_setzero_si128();
        for (; p <= c.size - 16 - 2; p += 16) {
            const std::uint8_t* at = c.data + p;
            bits = _mm_and_si128(
                Bits16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), low0, high0, nibble),
                _mm_and_si128(Bits16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1)), low1, high1, nibble),
                              Bits16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2)), low2, high2, nibble)));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(bits, _mm_setzero_si128())) != 0xFFFF)
                break;
        }
        if (p > c.size - 16 - 2)
            break;
        alignas(16) std::uint8_t lanes[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), bits);
        CheckLanes(c, p, lanes, 16);
        p += 16;
    }
    FilterPlain(c, p);
}

__attribute__((target("avx2"))) inline __m256i Bits32(__m256i v, __m256i low, __m256i high, __m256i nibble)
{
    return _mm256_and_si256(_mm256_shuffle_epi8(low, _mm256_and_si256(v, nibble)),
                            _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
}

__attribute__((target("avx2"))) void FilterAvx2(Candidates& c)
{
    auto table = [](const std::array<std::uint8_t, 16>& t) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data()));
    };
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i low0 = _mm256_broadcastsi128_si256(table(c.group.low[0]));
    const __m256i low1 = _mm256_broadcastsi128_si256(table(c.group.low[1]));
    const __m256i low2 = _mm256_broadcastsi128_si256(table(c.group.low[2]));
    const __m256i high0 = _mm256_broadcastsi128_si256(table(c.group.high[0]));
    const __m256i high1 = _mm256_broadcastsi128_si256(table(c.group.high[1]));
    const __m256i high2 = _mm256_broadcastsi128_si256(table(c.group.high[2]));
    std::size_t p = 0;
    while (c.size >= 32 + 2 && p <= c.size - 32 - 2) {
        __m256i bits = _mm256_setzero_si256();
        for (; p <= c.size - 32 - 2; p += 32) {
            const std::uint8_t* at = c.data + p;
            bits = _mm256_and_si256(
                Bits32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), low0, high0, nibble),
                _mm256_and_si256(
                    Bits32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1)), low1, high1, nibble),
                    Bits32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 2)), low2, high2, nibble)));
            if (!_mm256_testz_si256(bits, bits))
                break;
        }
        if (p > c.size - 32 - 2)
            break;
        alignas(32) std::uint8_t lanes[32];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), bits);
        CheckLanes(c, p, lanes, 32);
        p += 32;
    }
    FilterPlain(c, p);
}

bool Runs(ScanLevel level)
{
    switch (level) {
    case ScanLevel::Plain: return true;
    case ScanLevel::Ssse3: return __builtin_cpu_supports("ssse3");
    case ScanLevel::Avx2: return __builtin_cpu_supports("avx2");
    }
    return false;
}

ScanLevel BestLevel()
{
    __builtin_cpu_init();
    ScanLevel level = ScanLevel::Plain;
    for (ScanLevel candidate : {ScanLevel::Ssse3, ScanLevel::Avx2}) {
        if (Runs(candidate))
            level = candidate;
    }
    return level;
}

} // namespace

FilterWindow ChooseFilterWindow(std::span<const PatternByte> pattern)
{
    const std::size_t length = std::min(SearchScanner::kWindow, pattern.size());
    FilterWindow best{0, static_cast<std::uint32_t>(length)};
    int bestScore = -1;
    for (std::size_t start = 0; start + length <= pattern.size(); ++start) {
        const int score = WindowScore(pattern.subspan(start, length));
        if (score > bestScore) {
            bestScore = score;
            best.start = static_cast<std::uint32_t>(start);
        }
    }
    return best;
}

SearchScanner BuildSearchScanner(std::vector<std::vector<PatternByte>> patterns)
{
    SearchScanner scanner;
    scanner.patterns.reserve(patterns.size());
    for (auto& bytes : patterns) {
        const std::uint32_t windowStart = ChooseFilterWindow(bytes).start;
        scanner.patterns.push_back({std::move(bytes), windowStart});
    }
    const std::size_t count = scanner.patterns.size();
    for (std::size_t first = 0; first < count; first += SearchScanner::kGroupSize) {
        SearchScanner::Group group;
        group.first = static_cast<std::uint32_t>(first);
        group.count = static_cast<std::uint32_t>(std::min(SearchScanner::kGroupSize, count - first));
        for (std::size_t k = 0; k < group.count; ++k)
            AddToGroup(group, scanner.patterns[first + k], k % SearchScanner::kBuckets);
        scanner.groups.push_back(group);
    }
    scanner.longestFrom.assign(count + 1, 0);
    for (std::size_t i = count; i-- > 0;)
        scanner.longestFrom[i] = std::max(scanner.longestFrom[i + 1], scanner.patterns[i].bytes.size());
    return scanner;
}

void ResetFindings(const SearchScanner& scanner, std::size_t first, std::uint64_t fileSize, SearchFindings& findings)
{
    const std::size_t count = scanner.patterns.size();
    findings.at.assign(count, SearchFindings::kIgnored);
    findings.pendingInGroup.assign(scanner.groups.size(), 0);
    for (std::size_t i = first; i < count; ++i) {
        if (scanner.patterns[i].bytes.size() <= fileSize) {
            findings.at[i] = SearchFindings::kPending;
            ++findings.pendingInGroup[i / SearchScanner::kGroupSize];
        }
    }
    findings.work += count - std::min(first, count);
}

void ScanBytes(const SearchScanner& scanner, ScanLevel level, std::span<const std::uint8_t> data,
               std::uint64_t offset, SearchFindings& findings)
{
    const ScanLevel runnable = RunnableScanLevel(level);
    for (std::size_t g = 0; g < scanner.groups.size(); ++g) {
        if (findings.pendingInGroup[g] == 0)
            continue;
        ++findings.work;
        Candidates candidates{scanner, scanner.groups[g], data.data(), data.size(), offset, findings};
        switch (runnable) {
        case ScanLevel::Avx2: FilterAvx2(candidates); break;
        case ScanLevel::Ssse3: FilterSsse3(candidates); break;
        case ScanLevel::Plain: FilterPlain(candidates, 0); break;
        }
    }
}

ScanLevel RunnableScanLevel(ScanLevel asked)
{
    // Each level's instructions include those of the levels below it.
    static const ScanLevel best = BestLevel();
    return std::min(asked, best);
}
