// What the new forms of test learn about one file, kept for the rest of the
// run: twenty types that each look for a ZIP member cost one directory read.
#pragma once

#include "structures/compound_file.h"
#include "structures/inflate_reader.h"
#include "structures/pe_directory.h"
#include "text/languages.h"
#include "text/text_sample.h"
#include "structures/zip_directory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct StructureCache {
    // Empty until first asked for; then how the reading went.
    std::optional<StructureStatus> zipStatus;
    ZipDirectory zip;
    std::optional<StructureStatus> compoundStatus;
    CompoundDirectory compound;
    std::optional<StructureStatus> peStatus;
    PeDirectories pe;

    // The first bytes of a payload (a gzip or zlib stream, a ZIP member's
    // data), for the few that a file's types ask about.
    enum class PayloadKind { Gzip, Zlib, ZipMember };
    struct Payload {
        bool used = false;
        PayloadKind kind = PayloadKind::Gzip;
        std::uint64_t key = 0;  // zlib: where the stream starts; ZIP: the member's place in the directory
        StructureStatus status = StructureStatus::Absent;
        std::vector<std::uint8_t> bytes;
    };
    std::array<Payload, 4> payloads;
    std::size_t nextPayload = 0;

    // The text tests' bounded sample, read once: empty until first asked for.
    std::optional<StructureStatus> textStatus;
    std::vector<std::uint8_t> textHead;
    std::vector<std::uint8_t> textTail;
    std::optional<TextEncoding> textEncoding;  // empty when the sample is not text
    std::string textView;                      // the head as TextView gives it, for text only
    bool textCut = false;                      // the head ends before the file does
    // The root element's start tag, read once for all of a set's xmlroot tests.
    bool xmlRootRead = false;
    std::optional<XmlStartTag> xmlRoot;

    // The signature table's language evidence, set by the run (none for a
    // source that has no table); its verdict on the sample, weighed once.
    const LanguageScorer* languages = nullptr;
    bool languageWeighed = false;
    LanguageVerdict verdict;

    // Forgets the last file; buffers that grew large are given back
    // (structure_test.cpp, beside the tests that fill the cache).
    void Reset();
};
