// The streamed search of one file: every search pattern of a table answered
// by one pass over the file, by one reader or, for a large file, two.
#pragma once

#include "detection_input.h"
#include "scan/run_settings.h"
#include "scan/search_scanner.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// One reader of a contiguous part of the file, scanned in order, so that the
// first place it finds a pattern is the lowest in its part.
struct SearchSegment {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::uint64_t readUpTo = 0;            // next byte to read
    bool failed = false;
    std::vector<std::uint8_t> window;      // tail of the previous chunk, then the new one
    std::size_t lastFresh = 0;             // bytes the last read brought
    SearchFindings findings;

    bool Done() const { return readUpTo >= end; }
    // Whether the pattern is settled here: found, or this part cannot tell.
    bool Settled(std::size_t index) const { return findings.Found(index) || failed || Done(); }
};

// Search patterns are answered by one streamed pass over the file, shared by
// every search of the run: the first search starts the pass for itself and
// for every search pattern that follows it in the table, and the pass stops
// as soon as the pattern asked about is settled. A later search resumes it.
// So the file is read at most once per run, never held whole in memory, and
// each chunk is tested against all pending patterns while it is in cache.
//
// A large file is read as two contiguous halves, each by its own thread with
// its own buffer, overlapping by the longest pattern less one. The lower
// half's answer comes first, just as one reader would meet it: a pattern
// counts as found in the upper half only once the lower half has been read
// to its end without it, so the answer, the recorded offset and the effect
// of a failed read are those of one reader.
struct SearchPass {
    bool active = false;
    std::size_t first = 0;     // the first pattern this pass seeks
    std::size_t segmentCount = 0;
    std::array<SearchSegment, 2> segments;
    std::uint64_t work = 0;    // search work of the passes that have ended
};

// What a pass reads: the file or buffer, the table's compiled searches, and how.
struct SearchInput {
    const DetectionInput& file;
    std::uint64_t size;
    const SearchScanner& scanner;
    const RunSettings& settings;
};

// Whether search pattern `index` lies in the file. The pass starts for it
// (again, for a pattern before its first) and reads on only as far as the
// answer needs. False, with `readFailed` set, when a read failed first: the
// pattern may lie in the bytes that could not be read.
bool SearchPassFinds(SearchPass& pass, const SearchInput& input, std::size_t index, bool& readFailed);

// Where a pattern that the pass found lies: the lowest offset, as one reader finds it.
std::uint64_t SearchPassFoundAt(const SearchPass& pass, std::size_t index);

// Ends the pass; its work counts among `work`.
void EndSearchPass(SearchPass& pass);

// Search work so far: pattern slots prepared plus pattern groups scanned.
std::uint64_t SearchPassWork(const SearchPass& pass);
