// Every search pattern of a signature table, tested in one pass over the bytes.
//
// The patterns are compiled once, when the table is loaded. A vectorised
// filter looks at a short window of each pattern (three bytes chosen to be
// rare) through two 16-entry tables per window byte, one indexed by the low
// and one by the high nibble, for 16 or 32 positions a step; only the
// positions it lets through are compared in full. Eight patterns share a
// step (one filter bit each); beyond that, patterns share bits and several
// such groups run one after the other.
//
// This file is pure: it is handed bytes and reports where patterns stand.
#pragma once

#include "patterns/magic.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

enum class ScanLevel { Plain, Ssse3, Avx2 };

struct SearchScanner {
    static constexpr std::size_t kBuckets = 8;        // filter bits per position
    static constexpr std::size_t kPerBucket = 4;      // patterns sharing a bit before a new group starts
    static constexpr std::size_t kGroupSize = kBuckets * kPerBucket;
    static constexpr std::size_t kWindow = 3;

    struct Pattern {
        std::vector<PatternByte> bytes;
        std::uint32_t windowStart = 0;  // where the filter window lies inside the pattern
    };
    // The patterns [first, first + count), pattern first + k on bit k % kBuckets.
    struct Group {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        std::array<std::array<std::uint8_t, 16>, kWindow> low{};
        std::array<std::array<std::uint8_t, 16>, kWindow> high{};
    };

    std::vector<Pattern> patterns;  // in table order
    std::vector<Group> groups;
    // The longest pattern among index i and all later ones (one more entry,
    // 0, at the end): how far a match can straddle two pieces of a file.
    std::vector<std::size_t> longestFrom;
};

// Compiles the patterns, in the order given; a pattern's index is its place.
SearchScanner BuildSearchScanner(std::vector<std::vector<PatternByte>> patterns);

// The filter window chosen for a pattern: its start, and length (up to kWindow).
struct FilterWindow {
    std::uint32_t start;
    std::uint32_t length;
};
FilterWindow ChooseFilterWindow(std::span<const PatternByte> pattern);

// What one reader has learnt: for each pattern, the lowest file offset at
// which it was found, or that it is still sought, or not sought at all.
struct SearchFindings {
    static constexpr std::uint64_t kPending = UINT64_MAX;
    static constexpr std::uint64_t kIgnored = UINT64_MAX - 1;

    std::vector<std::uint64_t> at;            // per pattern
    std::vector<std::uint32_t> pendingInGroup;  // per group: groups with none pending are skipped
    std::uint64_t work = 0;                   // pattern slots prepared plus groups scanned

    bool Found(std::size_t index) const { return at[index] < kIgnored; }
};

// Seeks the patterns from `first` on that fit in `fileSize` bytes.
void ResetFindings(const SearchScanner& scanner, std::size_t first, std::uint64_t fileSize, SearchFindings& findings);

// Tests every pending pattern at every start inside `data` (whose first byte
// is file offset `offset`) such that the whole pattern lies inside `data`,
// and records the lowest start found for each. A `level` this processor
// lacks is lowered to one it runs.
void ScanBytes(const SearchScanner& scanner, ScanLevel level, std::span<const std::uint8_t> data,
               std::uint64_t offset, SearchFindings& findings);

// The highest level up to `asked` that this processor runs.
ScanLevel RunnableScanLevel(ScanLevel asked);
