// The ZIP directory reader over any bytes: it ends, stays inside its bounds
// and the file, and the members it lists can be located or refused. The
// input is the file itself.
#include "fuzz_support.h"

#include "patterns/magic.h"
#include "structures/zip_directory.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> file(data, data + size);
    const std::span<const std::uint8_t> bytes(file);
    const ByteFetch fetch = FetchFromMemory(bytes);
    ZipDirectory directory;
    const StructureStatus status = ReadZipDirectory(fetch, directory);
    FUZZ_CHECK(status != StructureStatus::ReadFailed);
    FUZZ_CHECK(directory.raw.size() <= kZipDirectoryLimit && directory.raw.size() <= size);
    FUZZ_CHECK(directory.entries.size() <= kZipEntryLimit);
    FUZZ_CHECK(status == StructureStatus::Found || directory.entries.empty());
    for (const ZipEntry& entry : directory.entries) {
        FUZZ_CHECK(std::size_t{entry.nameOffset} + entry.nameLength <= directory.raw.size());
        ZipMemberData member;
        if (LocateZipMemberData(fetch, entry, member) == StructureStatus::Found)
            FUZZ_CHECK(member.start <= size && size - member.start >= member.size);
    }
    // The forms over the same bytes: the first member's data, read or inflated.
    MemorySource source(bytes);
    for (const char* magic : {"zip *", "zip * 0: ??", "zip * ?: 00", "zip *.xml 2: 3C&F0"})
        TestMagic(ParseMagicRule(magic), source);
    return 0;
}
