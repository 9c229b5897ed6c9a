#include "detection.h"
#include "platform_file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace {

constexpr std::size_t kChunk = 256 * 1024;  // stays in L2 while it is scanned
// Below this, starting a second thread costs more than it saves.
constexpr std::uint64_t kTwoThreadMinimum = 8 * 1024 * 1024;

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
};

struct FileWindow {
    static constexpr std::size_t kSize = 4096;

    std::uint64_t start = 0;
    std::vector<std::uint8_t> bytes;  // sized once, then reused
    std::size_t length = 0;           // 0 until read, and after a failed read
    bool tried = false;

    bool Holds(std::uint64_t position, std::size_t count) const
    {
        return position >= start && position - start <= length && length - (position - start) >= count;
    }
};

// Where fresh bytes go in a segment's buffer: after room for the carried
// tail, on a page boundary. The kernel copies into an unaligned buffer at
// a fraction of the speed.
std::size_t FreshStart(const std::vector<std::uint8_t>& buffer, std::size_t overlap)
{
    constexpr std::size_t kPage = 4096;
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data()) + overlap;
    return overlap + (kPage - address % kPage) % kPage;
}

void ScanSegment(PlatformFile& file, const SearchScanner& scanner, ScanLevel level, std::size_t overlap,
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
        if (!PlatformFileRead(file, segment.readUpTo, std::span(buffer).subspan(freshStart, fresh))) {
            segment.failed = true;
            return;
        }
        ScanBytes(scanner, level, std::span(buffer).subspan(freshStart - carried, carried + fresh),
                  segment.readUpTo - carried, segment.findings);
        segment.readUpTo += fresh;
        segment.lastFresh = fresh;
    }
}

} // namespace

// Most fixed patterns look at the first or the last few bytes of a file, and
// a signature set has hundreds of them: rather than one tiny read each, the
// run reads each end of the file once, on first need, into a small window.
struct DetectionBuffers {
    FileWindow head;
    FileWindow tail;
    std::vector<std::uint8_t> scratch;
    SearchPass pass;
    StructureCache structures;  // what the new forms learnt of the file
    std::uint64_t work = 0;  // search work of earlier runs
};

void DetectionBuffersDeleter::operator()(DetectionBuffers* buffers) const noexcept
{
    delete buffers;
}

UniqueDetectionBuffers MakeDetectionBuffers()
{
    return UniqueDetectionBuffers(new DetectionBuffers);
}

std::uint64_t SearchWork(const DetectionBuffers& buffers)
{
    return buffers.work + buffers.pass.segments[0].findings.work + buffers.pass.segments[1].findings.work;
}

namespace {

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

struct FileSource {
    FileSource(PlatformFile& f, std::uint64_t s, const SignatureTable& t, DetectionBuffers& b, const RunSettings& r)
        : file(f), size(s), table(t), buffers(b), pass(b.pass), settings(r)
    {
        for (FileWindow* window : {&buffers.head, &buffers.tail}) {
            window->tried = false;
            window->length = 0;
        }
        buffers.structures.Reset();
        EndPass();
    }
    ~FileSource() { EndPass(); }

    PlatformFile& file;
    std::uint64_t size;
    const SignatureTable& table;
    DetectionBuffers& buffers;
    SearchPass& pass;
    const RunSettings& settings;
    // A read that failed after the open: the run can no longer give an
    // answer, since the type it could not test might have been the one.
    bool readFailed = false;

    std::uint64_t Size() const { return size; }
    StructureCache& Structures() { return buffers.structures; }

    bool Read(std::uint64_t position, std::span<std::uint8_t> into)
    {
        const bool read = PlatformFileRead(file, position, into);
        readFailed = readFailed || !read;
        return read;
    }

    const std::uint8_t* Bytes(std::uint64_t position, std::size_t count)
    {
        const std::uint64_t span = std::min<std::uint64_t>(size, FileWindow::kSize);
        if (position + count <= span)
            return FromWindow(buffers.head, 0, span, position, count);
        if (position >= size - span)
            return FromWindow(buffers.tail, size - span, span, position, count);
        buffers.scratch.resize(count);
        return Read(position, buffers.scratch) ? buffers.scratch.data() : nullptr;
    }

    const std::uint8_t* FromWindow(FileWindow& window, std::uint64_t start, std::uint64_t length,
                                   std::uint64_t position, std::size_t count)
    {
        if (!window.tried) {
            window.tried = true;
            window.start = start;
            const auto windowSize = static_cast<std::size_t>(length);
            if (window.bytes.size() < FileWindow::kSize)
                window.bytes.resize(FileWindow::kSize);
            if (Read(start, {window.bytes.data(), windowSize}))
                window.length = windowSize;
        }
        return window.Holds(position, count) ? window.bytes.data() + (position - window.start) : nullptr;
    }

    bool Contains(const MagicRule& rule)
    {
        if (rule.pattern.empty())
            return true;
        const std::size_t index = rule.searchIndex;
        if (!pass.active || index < pass.first)
            StartPass(index);
        for (;;) {
            for (std::size_t s = 0; s < pass.segmentCount; ++s) {
                const SearchSegment& segment = pass.segments[s];
                if (segment.findings.Found(index))
                    return true;
                if (segment.failed) {
                    // The pattern may lie in the bytes that could not be read.
                    readFailed = true;
                    EndPass();
                    return false;
                }
                if (!segment.Done())
                    break;
                if (s + 1 == pass.segmentCount)
                    return false;
            }
            Advance(index);
        }
    }

    // Where a search that held found its pattern: the lowest offset, as one reader finds it.
    std::uint64_t FoundAt(const MagicRule& rule) const
    {
        for (std::size_t s = 0; s < pass.segmentCount; ++s) {
            if (pass.active && rule.searchIndex < pass.segments[s].findings.at.size()
                && pass.segments[s].findings.Found(rule.searchIndex))
                return pass.segments[s].findings.at[rule.searchIndex];
        }
        return 0;
    }

    void EndPass()
    {
        for (SearchSegment& segment : pass.segments) {
            buffers.work += segment.findings.work;
            segment.findings.work = 0;
        }
        pass.active = false;
    }

    void StartPass(std::size_t first)
    {
        EndPass();
        const SearchScanner& scanner = table.searches;
        pass.active = true;
        pass.first = first;
        const std::size_t overlap = scanner.longestFrom[first] - 1;
        pass.segmentCount = UseTwoThreads(size, overlap, settings.readers) ? 2 : 1;
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
    void Advance(std::size_t index)
    {
        const SearchScanner& scanner = table.searches;
        const ScanLevel level = settings.scanLevel;
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
};

bool TypeMatches(const SignatureType& type, FileSource& source)
{
    for (const MagicRule& rule : type.magics) {
        switch (TestMagic(rule, source)) {
        case MagicResult::NoMatch:
            return false;
        case MagicResult::DecisiveMatch:
            return true;
        case MagicResult::Match:
            break;
        }
    }
    return !type.magics.empty();
}

// Where each pattern of a type that matched held, up to the one that
// decided: a fixed test where its bytes start, a search where the pass
// first found it. Nothing is read again.
void DescribeMatch(const SignatureType& type, FileSource& source, DetectionBasis& basis)
{
    basis.type = &type;
    for (const MagicRule& rule : type.magics) {
        if (rule.form != MagicForm::Classic) {
            // Tested again for where it held: the structures are cached, so little is read.
            StructureHeld held;
            TestMagic(rule, source, &held);
            basis.patterns.push_back({&rule, held.offset, held.value, std::move(held.name), held.encoding});
            continue;
        }
        if (rule.anchor == MagicAnchor::Search) {
            basis.patterns.push_back({&rule, rule.pattern.empty() ? 0 : source.FoundAt(rule), 0, {}, {}});
            return;
        }
        basis.patterns.push_back({&rule, FixedTestStart(rule, source.Size()).value_or(0), 0, {}, {}});
    }
}

// A read that failed after the open: the system's own reason is gone by
// now (the reads report only success), so it is told as an I/O error.
DetectionOutcome ReadFailed()
{
    return {DetectionState::Unreadable, std::make_error_code(std::errc::io_error), {}, {}};
}

} // namespace

DetectionOutcome DetectWithTable(const SignatureTable& table, const std::filesystem::path& filePath,
                                 DetectionBasis* basis, const RunSettings& settings)
{
    UniqueDetectionBuffers buffers = MakeDetectionBuffers();
    return DetectWithTable(table, filePath, *buffers, basis, settings);
}

DetectionOutcome DetectWithTable(const SignatureTable& table, const std::filesystem::path& filePath,
                                 DetectionBuffers& buffers, DetectionBasis* basis, const RunSettings& settings)
{
    if (basis)
        *basis = {};
    std::error_code openError;
    UniquePlatformFile file = OpenFileForDetection(filePath, openError);
    if (!file)
        return {DetectionState::Unreadable, openError, {}, {}};
    const std::uint64_t size = PlatformFileSize(*file);
    // Every pattern needs at least one byte.
    if (size == 0)
        return {DetectionState::Undetermined, {}, {}, {}};

    FileSource source(*file, size, table, buffers, settings);
    // Only the types that can match this first byte are tried, in document
    // order. A failed read ends the run: no answer is given on bytes unseen.
    const std::uint8_t* firstByte = source.Bytes(0, 1);
    if (!firstByte)
        return ReadFailed();
    const std::vector<std::uint32_t>& candidates = table.candidatesByFirstByte[*firstByte];
    const std::size_t count = candidates.size();
    for (std::size_t i = 0; i < count; ++i) {
        const SignatureType& type = table.types[candidates[i]];
        const bool matches = TypeMatches(type, source);
        if (source.readFailed)
            return ReadFailed();
        if (matches) {
            if (basis) {
                basis->typesTried = i + 1;
                DescribeMatch(type, source, *basis);
            }
            return {DetectionState::Detected, {}, type.title, type.extensions};
        }
    }
    if (basis)
        basis->typesTried = count;
    return {DetectionState::Undetermined, {}, {}, {}};
}

DetectionOutcome DetectFileType(const std::filesystem::path& signaturePath, const std::filesystem::path& filePath,
                                const RunSettings& settings)
{
    return DetectWithTable(LoadSignatureTable(signaturePath), filePath, nullptr, settings);
}
