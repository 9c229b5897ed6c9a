// The compound-file directory reader over any bytes: it ends, keeps to its
// bounds, and every entry it lists is found again by its name. The input is
// the file itself.
#include "fuzz_support.h"

#include "structures/compound_file.h"
#include "patterns/magic.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> file(data, data + size);
    const std::span<const std::uint8_t> bytes(file);
    const ByteFetch fetch = FetchFromMemory(bytes);
    CompoundDirectory directory;
    const StructureStatus status = ReadCompoundDirectory(fetch, directory);
    FUZZ_CHECK(status != StructureStatus::ReadFailed);
    FUZZ_CHECK(directory.sectors.size() <= kCompoundDirectorySectors);
    if (status != StructureStatus::Found)
        return 0;
    const std::size_t perSector = (std::size_t{1} << directory.sectorShift) / 128;
    for (std::size_t i = 0; i < directory.entries.size() && i < 64; ++i) {
        const CompoundDirectory::Entry& entry = directory.entries[i];
        FUZZ_CHECK(entry.index > 0 && entry.index < directory.sectors.size() * perSector);
        // Its name, read from the file by hand, leads back to an entry of that name.
        const std::uint64_t at = ((std::uint64_t{directory.sectors[entry.index / perSector]} + 1) << directory.sectorShift)
                               + (entry.index % perSector) * 128;
        FUZZ_CHECK(at + 128 <= size);
        const std::size_t length = Le16(&file[at + 64]);
        std::u16string folded;
        for (std::size_t k = 0; k + 1 < length / 2; ++k)
            folded.push_back(FoldCompoundUnit(static_cast<char16_t>(Le16(&file[at + 2 * k]))));
        std::u16string name;
        FUZZ_CHECK(FindCompoundEntry(fetch, directory, folded, name) == StructureStatus::Found);
        FUZZ_CHECK(name.size() == folded.size());
    }
    return 0;
}
