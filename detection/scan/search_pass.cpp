// The streamed search pass: a file's segments fed to the scanner, by one reader or two.
#include "scan/search_pass.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

namespace {

constexpr std::size_t kChunk = 256 * 1024;  // stays in L2 while it is scanned
// Below this, starting a second thread costs more than it saves.
constexpr std::uint64_t kTwoThreadMinimum = 8 * 1024 * 1024;

// Where fresh bytes go in a segment's buffer: after room for the carried
// tail, on a page boundary. The kernel copies into an unaligned buffer at
// a fraction of the speed.
std::size_t FreshStart(const std::vector<std::uint8_t>& buffer, std::size_t overlap)
{
    constexpr std::size_t kPage = 4096;
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data()) + overlap;
    return overlap + (kPage - address % kPage) % kPage;
}

void ScanSegment(const DetectionInput& file, const SearchScanner& scanner, ScanLevel level, std::size_t overlap,
                 std::size_t asked, SearchSegment& segment, const std::atomic<bool>* stop)
{
    std::vector<std::uint8_t>& buffer = segment.window;
    if (buffer.size() < overlap + 4096 + kChunk)
        buffer.resize(overlap + 4096 + kChunk);
    const std::size_t freshStart = FreshStart(buffer, overlap);
    while (!segment.Settled(asked) && !(stop && stop->load(std::memory_order_relaxed))) {
        // The previous chunk's tail moves in front of the new one, so that a match may straddle them.
        const std::size_t carried = static_cast<std::size_t>(
            std::min<std::uint64_t>(overlap, segment.readUpTo - segment.begin));
        if (carried > 0)
            std::memmove(&buffer[freshStart - carried], &buffer[freshStart + segment.lastFresh - carried], carried);
        const auto fresh = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, segment.end - segment.readUpTo));
        if (!ReadInput(file, segment.readUpTo, std::span(buffer).subspan(freshStart, fresh))) {
            segment.failed = true;
            return;
        }
        ScanBytes(scanner, level, std::span(buffer).subspan(freshStart - carried, carried + fresh),
                  segment.readUpTo - carried, segment.findings);
        segment.readUpTo += fresh;
        segment.lastFresh = fresh;
    }
}

bool UseTwoThreads(std::uint64_t size, std::size_t overlap, unsigned readers)
{
    // The halves overlap: beyond a point the second thread only reads twice.
    if (overlap >= size / 4)
        return false;
    if (readers != 0)
        return readers >= 2;
    static const unsigned cores = PlatformUsableCores();
    return cores >= 2 && size >= kTwoThreadMinimum;
}

void StartPass(SearchPass& pass, const SearchInput& input, std::size_t first)
{
    EndSearchPass(pass);
    const SearchScanner& scanner = input.scanner;
    const std::uint64_t size = input.size;
    pass.active = true;
    pass.first = first;
    const std::size_t overlap = scanner.longestFrom[first] - 1;
    pass.segmentCount = UseTwoThreads(size, overlap, input.settings.readers) ? 2 : 1;
    const std::uint64_t middle = pass.segmentCount == 2 ? size / 2 : size;
    pass.segments[0].begin = 0;
    pass.segments[0].end = std::min(size, middle + overlap);
    pass.segments[1].begin = middle;
    pass.segments[1].end = size;
    for (std::size_t s = 0; s < pass.segmentCount; ++s) {
        SearchSegment& segment = pass.segments[s];
        segment.readUpTo = segment.begin;
        segment.failed = false;
        segment.lastFresh = 0;
        ResetFindings(scanner, first, size, segment.findings);
    }
}

// Reads on until the pattern is settled in every part that still matters.
void Advance(SearchPass& pass, const SearchInput& input, std::size_t index)
{
    const SearchScanner& scanner = input.scanner;
    const ScanLevel level = input.settings.scanLevel;
    const DetectionInput& file = input.file;
    const std::size_t overlap = scanner.longestFrom[pass.first] - 1;
    SearchSegment& lower = pass.segments[0];
    SearchSegment& upper = pass.segments[1];
    if (pass.segmentCount == 1 || lower.Settled(index) || upper.Settled(index)) {
        SearchSegment& segment = lower.Settled(index) ? upper : lower;
        ScanSegment(file, scanner, level, overlap, index, segment, nullptr);
        return;
    }
    // Once the lower half has found the pattern or failed, the upper one cannot change the answer.
    std::atomic<bool> lowerSettled{false};
    std::optional<std::thread> helper;
    try {
        helper.emplace([&] { ScanSegment(file, scanner, level, overlap, index, upper, &lowerSettled); });
    } catch (const std::system_error&) {
        // No second thread to be had: one reader answers the same, only later.
    }
    ScanSegment(file, scanner, level, overlap, index, lower, nullptr);
    if (lower.findings.Found(index) || lower.failed)
        lowerSettled.store(true);
    if (helper)
        helper->join();
}

} // namespace

bool SearchPassFinds(SearchPass& pass, const SearchInput& input, std::size_t index, bool& readFailed)
{
    if (!pass.active || index < pass.first)
        StartPass(pass, input, index);
    for (;;) {
        for (std::size_t s = 0; s < pass.segmentCount; ++s) {
            const SearchSegment& segment = pass.segments[s];
            if (segment.findings.Found(index))
                return true;
            if (segment.failed) {
                // The pattern may lie in the bytes that could not be read.
                readFailed = true;
                EndSearchPass(pass);
                return false;
            }
            if (!segment.Done())
                break;
            if (s + 1 == pass.segmentCount)
                return false;
        }
        Advance(pass, input, index);
    }
}

std::uint64_t SearchPassFoundAt(const SearchPass& pass, std::size_t index)
{
    for (std::size_t s = 0; s < pass.segmentCount; ++s) {
        if (pass.active && index < pass.segments[s].findings.at.size()
            && pass.segments[s].findings.Found(index))
            return pass.segments[s].findings.at[index];
    }
    return 0;
}

void EndSearchPass(SearchPass& pass)
{
    for (SearchSegment& segment : pass.segments) {
        pass.work += segment.findings.work;
        segment.findings.work = 0;
    }
    pass.active = false;
}

std::uint64_t SearchPassWork(const SearchPass& pass)
{
    return pass.work + pass.segments[0].findings.work + pass.segments[1].findings.work;
}
