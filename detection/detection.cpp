// One detection run: a file's windows read once, the fixed tests, the search pass and the first type that holds.
#include "detection.h"
#include "files/platform_file.h"
#include "detection_input.h"
#include "scan/search_pass.h"

#include <algorithm>
#include <memory>
#include <system_error>

namespace {

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
    return SearchPassWork(buffers.pass);
}

namespace {

struct FileSource {
    FileSource(const DetectionInput& f, std::uint64_t s, const SignatureTable& t, DetectionBuffers& b, const RunSettings& r)
        : file(f), size(s), table(t), buffers(b), pass(b.pass), settings(r)
    {
        for (FileWindow* window : {&buffers.head, &buffers.tail}) {
            window->tried = false;
            window->length = 0;
        }
        buffers.structures.Reset();
        buffers.structures.languages = &t.languages;
        EndSearchPass(pass);
    }
    ~FileSource() { EndSearchPass(pass); }

    const DetectionInput& file;
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
        const bool read = ReadInput(file, position, into);
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
        return SearchPassFinds(pass, {file, size, table.searches, settings}, rule.searchIndex, readFailed);
    }

    // Where a search that held found its pattern.
    std::uint64_t FoundAt(const MagicRule& rule) const { return SearchPassFoundAt(pass, rule.searchIndex); }
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
        // Evidence is no test: the lang rule's verdict names the pieces that weighed.
        if (rule.form == MagicForm::Weigh)
            continue;
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
    return {DetectionState::Unreadable, std::make_error_code(std::errc::io_error), {}, {}, false, {}};
}

// The run itself, over a file opened or a buffer: `size` bytes of `input`.
DetectionOutcome DetectInput(const SignatureTable& table, const DetectionInput& input, std::uint64_t size,
                             DetectionBuffers& buffers, DetectionBasis* basis, const RunSettings& settings)
{
    // Every pattern needs at least one byte.
    if (size == 0)
        return {DetectionState::Undetermined, {}, {}, {}, false, {}};

    FileSource source(input, size, table, buffers, settings);
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
            return {DetectionState::Detected, {}, type.title, type.extensions, type.general,
                    type.mimeTypes.empty() ? std::string() : type.mimeTypes.front()};
        }
    }
    if (basis)
        basis->typesTried = count;
    return {DetectionState::Undetermined, {}, {}, {}, false, {}};
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
        return {DetectionState::Unreadable, openError, {}, {}, false, {}};
    return DetectInput(table, {file.get(), {}}, PlatformFileSize(*file), buffers, basis, settings);
}

DetectionOutcome DetectBytes(const SignatureTable& table, std::span<const std::uint8_t> bytes, DetectionBuffers& buffers,
                             DetectionBasis* basis, const RunSettings& settings)
{
    if (basis)
        *basis = {};
    return DetectInput(table, {nullptr, bytes}, bytes.size(), buffers, basis, settings);
}

DetectionOutcome DetectBytes(const SignatureTable& table, std::span<const std::uint8_t> bytes, DetectionBasis* basis,
                             const RunSettings& settings)
{
    UniqueDetectionBuffers buffers = MakeDetectionBuffers();
    return DetectBytes(table, bytes, *buffers, basis, settings);
}

DetectionOutcome DetectFileType(const std::filesystem::path& signaturePath, const std::filesystem::path& filePath,
                                const RunSettings& settings)
{
    return DetectWithTable(LoadSignatureTable(signaturePath), filePath, nullptr, settings);
}
