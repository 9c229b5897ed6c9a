// The linter on arbitrary text. Every finding must be one line; and when a
// document draws no finding at all, each of its patterns must be able to
// match: a byte string built to fit it does match it.
#include "fuzz_support.h"

#include "lint.h"
#include "magic.h"
#include "signatures.h"

#include <algorithm>

namespace {

// Bytes on which `rule` holds, or empty when they would be too large to build.
std::optional<std::string> BytesFitting(const MagicRule& rule)
{
    const std::uint64_t n = rule.pattern.size();
    std::uint64_t size = std::max<std::uint64_t>(rule.tokenCount, n);
    std::uint64_t at = 0;
    if (rule.anchor == MagicAnchor::Offset && rule.offset >= 0) {
        at = static_cast<std::uint64_t>(rule.offset);
        size = std::max(size, at + n);
    } else if (rule.anchor == MagicAnchor::Offset) {
        const auto back = static_cast<std::uint64_t>(-static_cast<std::int64_t>(rule.offset));
        FUZZ_CHECK(back >= n);  // a clean file has no end anchor shorter than its pattern
        size = std::max(size, back);
        at = size - back;
    }
    if (size > (1u << 20))
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::size_t k = 0; k < rule.pattern.size(); ++k)
        bytes[static_cast<std::size_t>(at) + k] = static_cast<char>(rule.pattern[k].value);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchDir dir;

    const std::string_view text = AsText(data, size);
    const std::vector<LintFinding> findings = LintSignatureText(text);
    for (const LintFinding& finding : findings) {
        FUZZ_CHECK(finding.line >= 1);
        FUZZ_CHECK(std::none_of(finding.message.begin(), finding.message.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }));
    }
    if (!findings.empty())
        return 0;

    const SignatureTable table = LoadSignatureTable(dir.Write("clean.xml", text));
    FUZZ_CHECK(table.state == SignatureFileState::Usable);
    for (const SignatureType& type : table.types) {
        FUZZ_CHECK(!type.title.empty());
        for (const std::string& ext : type.extensions)
            FUZZ_CHECK(!ext.empty() && ext.front() == '.');
        for (const MagicRule& rule : type.magics) {
            FUZZ_CHECK(rule.valid);
            if (auto bytes = BytesFitting(rule)) {
                MemorySource source{{reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()}};
                FUZZ_CHECK(TestMagic(rule, source) != MagicResult::NoMatch);
            }
        }
    }
    return 0;
}
