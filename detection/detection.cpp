#include "detection.h"
#include "platform_file.h"

namespace {

// The examined file as the matcher sees it. The whole-file view is made by
// the first search that needs it and shared by every later one of the run.
struct FileSource {
    PlatformFile& file;
    std::uint64_t size;
    WholeFileView whole;

    std::uint64_t Size() const { return size; }

    bool Read(std::uint64_t position, std::span<std::uint8_t> into)
    {
        return PlatformFileRead(file, position, into);
    }

    std::optional<std::span<const std::uint8_t>> WholeFile()
    {
        // After a failed attempt the next search of the run tries again.
        if (!whole.owner)
            whole = MapWholeFile(file, size);
        if (!whole.owner)
            return std::nullopt;
        return whole.bytes;
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

} // namespace

DetectionOutcome DetectWithTable(const SignatureTable& table, const std::filesystem::path& filePath)
{
    UniquePlatformFile file = OpenFileForDetection(filePath);
    if (!file)
        return {DetectionState::Unreadable, {}, {}};
    auto size = PlatformFileSize(*file);
    if (!size)
        return {DetectionState::Unreadable, {}, {}};

    FileSource source{*file, *size, {}};
    for (const SignatureType& type : table.types) {
        if (TypeMatches(type, source))
            return {DetectionState::Detected, type.title, type.extensions};
    }
    return {DetectionState::Undetermined, {}, {}};
}

DetectionOutcome DetectFileType(const std::filesystem::path& signaturePath, const std::filesystem::path& filePath)
{
    return DetectWithTable(LoadSignatureTable(signaturePath), filePath);
}
