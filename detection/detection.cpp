#include "detection.h"
#include "platform_file.h"

#include <algorithm>
#include <memory>

namespace {

// Search patterns are answered by one streamed pass over the file, shared by
// every search of the run: the first search starts the pass for itself and
// for every search pattern that follows it in the table, and the pass stops
// as soon as the pattern asked about is settled. A later search resumes it.
// So the file is read at most once per run, never held whole in memory, and
// each chunk is tested against all pending patterns while it is in cache.
struct SearchPass {
    static constexpr std::size_t kChunk = 256 * 1024;
    static constexpr std::uint64_t kNotFound = ~std::uint64_t{0};

    std::vector<const MagicRule*> rules;  // the patterns of this pass, in table order
    std::vector<std::uint64_t> foundAt;   // each pattern's first position in the file, or kNotFound
    std::uint64_t readUpTo = 0;           // file bytes consumed so far
    std::size_t overlap = 0;              // longest pattern - 1: matches may straddle chunks
    std::vector<std::uint8_t> window;     // tail of the previous chunk, then the new one
};

// Most fixed patterns look at the first or the last few bytes of a file, and
// a signature set has hundreds of them: rather than one tiny read each, the
// run reads each end of the file once, on first need, into a small window.
struct FileWindow {
    static constexpr std::size_t kSize = 4096;

    std::uint64_t start = 0;
    std::unique_ptr<std::uint8_t[]> bytes;  // left uninitialised: the read fills it
    std::size_t length = 0;                 // 0 until read, and after a failed read
    bool tried = false;

    bool Holds(std::uint64_t position, std::size_t count) const
    {
        return position >= start && position - start <= length && length - (position - start) >= count;
    }
};

struct FileSource {
    FileSource(PlatformFile& f, std::uint64_t s, const SignatureTable& t) : file(f), size(s), table(t) {}

    PlatformFile& file;
    std::uint64_t size;
    const SignatureTable& table;
    FileWindow head;
    FileWindow tail;
    std::vector<std::uint8_t> scratch;
    SearchPass pass;
    // A read that failed after the open: the run can no longer give an
    // answer, since the type it could not test might have been the one.
    bool readFailed = false;

    std::uint64_t Size() const { return size; }

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
            return FromWindow(head, 0, span, position, count);
        if (position >= size - span)
            return FromWindow(tail, size - span, span, position, count);
        scratch.resize(count);
        return Read(position, scratch) ? scratch.data() : nullptr;
    }

    const std::uint8_t* FromWindow(FileWindow& window, std::uint64_t start, std::uint64_t length,
                                   std::uint64_t position, std::size_t count)
    {
        if (!window.tried) {
            window.tried = true;
            window.start = start;
            const auto windowSize = static_cast<std::size_t>(length);
            window.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(windowSize);
            if (Read(start, {window.bytes.get(), windowSize}))
                window.length = windowSize;
        }
        return window.Holds(position, count) ? window.bytes.get() + (position - window.start) : nullptr;
    }

    bool Contains(const MagicRule& rule)
    {
        if (rule.pattern.empty())
            return true;
        auto slot = std::find(pass.rules.begin(), pass.rules.end(), &rule);
        if (slot == pass.rules.end()) {  // no pass yet, or it was abandoned
            StartPass(rule);
            slot = pass.rules.begin();
        }
        const auto index = static_cast<std::size_t>(slot - pass.rules.begin());
        while (pass.foundAt[index] == SearchPass::kNotFound && pass.readUpTo < size) {
            if (!ScanNextChunk()) {
                // A failed read settles nothing: the next search starts afresh.
                pass = {};
                return false;
            }
        }
        return pass.foundAt[index] != SearchPass::kNotFound;
    }

    // Where a search that held found its pattern.
    std::uint64_t FoundAt(const MagicRule& rule) const
    {
        auto slot = std::find(pass.rules.begin(), pass.rules.end(), &rule);
        return slot == pass.rules.end() ? 0 : pass.foundAt[static_cast<std::size_t>(slot - pass.rules.begin())];
    }

    void StartPass(const MagicRule& first)
    {
        pass = {};
        bool reached = false;
        for (const SignatureType& type : table.types) {
            for (const MagicRule& rule : type.magics) {
                reached = reached || &rule == &first;
                if (reached && rule.valid && rule.anchor == MagicAnchor::Search && size >= rule.tokenCount) {
                    pass.rules.push_back(&rule);
                    pass.overlap = std::max(pass.overlap, rule.pattern.size() - (rule.pattern.empty() ? 0 : 1));
                }
            }
        }
        if (pass.rules.empty() || pass.rules.front() != &first)
            pass.rules.insert(pass.rules.begin(), &first);  // a rule from outside the table
        pass.overlap = std::max(pass.overlap, first.pattern.size() - 1);
        pass.foundAt.assign(pass.rules.size(), SearchPass::kNotFound);
    }

    bool ScanNextChunk()
    {
        const std::size_t carried = std::min<std::size_t>(pass.window.size(), pass.overlap);
        std::move(pass.window.end() - static_cast<std::ptrdiff_t>(carried), pass.window.end(), pass.window.begin());
        const auto fresh = static_cast<std::size_t>(std::min<std::uint64_t>(SearchPass::kChunk, size - pass.readUpTo));
        pass.window.resize(carried + fresh);
        if (!Read(pass.readUpTo, std::span(pass.window).subspan(carried)))
            return false;
        const std::uint64_t windowStart = pass.readUpTo - carried;
        pass.readUpTo += fresh;

        // A hit in the carried bytes straddles into the new ones: one wholly
        // inside them would have been found in the previous chunk. So the
        // first hit in the window is the first in the file.
        for (std::size_t i = 0; i < pass.rules.size(); ++i) {
            if (pass.foundAt[i] != SearchPass::kNotFound)
                continue;
            if (auto at = FindPattern(pass.rules[i]->pattern, pass.window))
                pass.foundAt[i] = windowStart + *at;
        }
        return true;
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
        if (rule.anchor == MagicAnchor::Search) {
            basis.patterns.push_back({&rule, rule.pattern.empty() ? 0 : source.FoundAt(rule)});
            return;
        }
        basis.patterns.push_back({&rule, FixedTestStart(rule, source.Size()).value_or(0)});
    }
}

} // namespace

DetectionOutcome DetectWithTable(const SignatureTable& table, const std::filesystem::path& filePath,
                                 DetectionBasis* basis)
{
    if (basis)
        *basis = {};
    UniquePlatformFile file = OpenFileForDetection(filePath);
    if (!file)
        return {DetectionState::Unreadable, {}, {}};
    const std::uint64_t size = PlatformFileSize(*file);
    // Every pattern needs at least one byte.
    if (size == 0)
        return {DetectionState::Undetermined, {}, {}};

    FileSource source(*file, size, table);
    // Only the types that can match this first byte are tried, in document
    // order. A failed read ends the run: no answer is given on bytes unseen.
    const std::uint8_t* firstByte = source.Bytes(0, 1);
    if (!firstByte)
        return {DetectionState::Unreadable, {}, {}};
    const std::vector<std::uint32_t>& candidates = table.candidatesByFirstByte[*firstByte];
    const std::size_t count = candidates.size();
    for (std::size_t i = 0; i < count; ++i) {
        const SignatureType& type = table.types[candidates[i]];
        const bool matches = TypeMatches(type, source);
        if (source.readFailed)
            return {DetectionState::Unreadable, {}, {}};
        if (matches) {
            if (basis) {
                basis->typesTried = i + 1;
                DescribeMatch(type, source, *basis);
            }
            return {DetectionState::Detected, type.title, type.extensions};
        }
    }
    if (basis)
        basis->typesTried = count;
    return {DetectionState::Undetermined, {}, {}};
}

DetectionOutcome DetectFileType(const std::filesystem::path& signaturePath, const std::filesystem::path& filePath)
{
    return DetectWithTable(LoadSignatureTable(signaturePath), filePath);
}
