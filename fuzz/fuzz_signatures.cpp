// The signature loader on arbitrary documents, then detection of a few fixed
// files through the real file layer. Oracle: the same table tried type by
// type over the bytes in memory, without the first-byte index or the shared
// search pass, must give the same outcome.
#include "fuzz_support.h"

#include "detection.h"
#include "patterns/magic.h"

#include <vector>

namespace {

struct Sample {
    std::string bytes;
    std::filesystem::path path;
};

std::vector<Sample> MakeSamples(const ScratchDir& dir)
{
    std::vector<std::string> contents = {
        "",
        "MZ",
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
        "%PDF-1.4\n%%EOF\n",
        std::string("PK\x03\x04\x14\0\0\0", 8) + "mimetypeapplication/epub+zip",
    };
    // Past the 4 KiB windows at both ends, with bytes to find in the middle
    // and on the last byte; and one across the first 256 KiB search chunk.
    std::string longer(9000, '\0');
    longer.replace(4500, 4, "PK\x03\x04");
    longer.back() = '\x55';
    contents.push_back(longer);
    std::string chunked(256 * 1024 + 100, 'a');
    chunked.replace(256 * 1024 - 2, 4, "%%EO");
    contents.push_back(chunked);

    std::vector<Sample> samples;
    for (std::size_t i = 0; i < contents.size(); ++i)
        samples.push_back({contents[i], dir.Write("sample" + std::to_string(i), contents[i])});
    return samples;
}

// A type tried as the run tries it, over bytes in memory.
bool ReferenceTypeMatches(const SignatureType& type, MemorySource& source)
{
    for (const MagicRule& rule : type.magics) {
        const MagicResult result = TestMagic(rule, source);
        if (result == MagicResult::NoMatch)
            return false;
        if (result == MagicResult::DecisiveMatch)
            return true;
    }
    return !type.magics.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchDir dir;
    static const std::vector<Sample> samples = MakeSamples(dir);

    const auto signatures = dir.Write("signatures.xml", AsText(data, size));
    const SignatureTable table = LoadSignatureTable(signatures);
    FUZZ_CHECK(table.state != SignatureFileState::Unreadable);

    for (const Sample& sample : samples) {
        const DetectionOutcome outcome = DetectWithTable(table, sample.path);
        FUZZ_CHECK(outcome.state != DetectionState::Unreadable);

        MemorySource memory{{reinterpret_cast<const std::uint8_t*>(sample.bytes.data()), sample.bytes.size()}};
        const SignatureType* expected = nullptr;
        for (const SignatureType& type : table.types) {
            if (ReferenceTypeMatches(type, memory)) {
                expected = &type;
                break;
            }
        }
        if (!expected) {
            FUZZ_CHECK(outcome.state == DetectionState::Undetermined);
            FUZZ_CHECK(outcome.title.empty() && outcome.extensions.empty());
        } else {
            FUZZ_CHECK(outcome.state == DetectionState::Detected);
            FUZZ_CHECK(outcome.title == expected->title);
            FUZZ_CHECK(outcome.extensions == expected->extensions);
        }
    }
    return 0;
}
