// The linter on arbitrary text. Every finding must be one line; and when a
// document draws no finding at all, each of its patterns must be able to
// match: a byte string built to fit it does match it, and no masked byte
// asks for bits its mask does not compare.
#include "fuzz_support.h"

#include "lint.h"
#include "patterns/magic.h"
#include "signatures/signatures.h"

#include <algorithm>

namespace {

// Bytes on which `rule` holds, or empty when they would be too large to build.
std::optional<std::string> BytesFitting(const MagicRule& rule)
{
    const auto size = MinimumFileSize(rule);
    FUZZ_CHECK(size.has_value());  // a clean file has no pattern that holds on no file
    if (*size > (1u << 20))
        return std::nullopt;
    const std::uint64_t at = rule.anchor == MagicAnchor::Offset ? FixedTestStart(rule, *size).value() : 0;
    std::string bytes(static_cast<std::size_t>(*size), '\0');
    for (std::size_t k = 0; k < rule.pattern.size(); ++k)
        bytes[static_cast<std::size_t>(at) + k] = static_cast<char>(rule.pattern[k].value);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchDir dir;

    // Through a file, as the program lints: the loader keeps what comes before
    // a syntax error only when it reads from one.
    const std::filesystem::path file = dir.Write("lint.xml", AsText(data, size));
    const LintResult linted = LintSignatureFile(file);
    FUZZ_CHECK(linted.file == WholeFileResult::Read);
    const std::vector<LintFinding>& findings = linted.findings;
    for (const LintFinding& finding : findings) {
        FUZZ_CHECK(finding.line >= 1);
        FUZZ_CHECK(std::none_of(finding.message.begin(), finding.message.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }));
    }
    if (!findings.empty())
        return 0;

    const SignatureTable table = LoadSignatureTable(file);
    FUZZ_CHECK(table.state == SignatureFileState::Usable);
    for (const SignatureType& type : table.types) {
        FUZZ_CHECK(!type.title.empty());
        for (const std::string& ext : type.extensions)
            FUZZ_CHECK(!ext.empty() && ext.front() == '.');
        for (const MagicRule& rule : type.magics) {
            FUZZ_CHECK(rule.valid);
            // Bytes are built to fit the classic patterns only; the structure
            // and text forms have fuzz targets of their own. Of theirs, a
            // clean file has no masked byte that no byte can hold.
            if (rule.form != MagicForm::Classic) {
                for (const MaskedByte& byte : rule.structure.bytes)
                    FUZZ_CHECK((byte.value & ~byte.mask) == 0);
                continue;
            }
            if (auto bytes = BytesFitting(rule)) {
                MemorySource source{{reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()}};
                FUZZ_CHECK(TestMagic(rule, source) != MagicResult::NoMatch);
            }
        }
    }
    return 0;
}
