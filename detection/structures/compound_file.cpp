// Reading a compound file's header, FAT and directory within fixed bounds.
#include "structures/compound_file.h"

#include "ascii.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kHeaderLength = 512;
constexpr std::size_t kHeaderDifat = 109;
constexpr std::size_t kEntryLength = 128;
constexpr std::uint32_t kLastRegular = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint8_t kStorage = 1, kStream = 2, kRoot = 5;

struct Layout {
    const ByteFetch& fetch;
    std::uint32_t shift;
    std::uint64_t reach;               // sectors the FAT is consulted for
    std::vector<std::uint32_t> difat;  // FAT sectors, as far as the reach needs them

    std::size_t SectorSize() const { return std::size_t{1} << shift; }
    std::uint64_t SectorStart(std::uint32_t sector) const { return (std::uint64_t{sector} + 1) << shift; }
    bool InFile(std::uint32_t sector) const
    {
        return sector <= kLastRegular && fetch.Inside(SectorStart(sector), SectorSize());
    }
};

// The FAT sectors: 109 in the header, then a chain of DIFAT sectors, each
// holding one less than a sector's worth and, last, the next one's number.
StructureStatus ReadDifat(Layout& layout, const std::uint8_t* header)
{
    const std::uint64_t perFatSector = layout.SectorSize() / 4;
    const std::uint64_t needed = std::min<std::uint64_t>(Le32(header + 0x2C),
                                                         (layout.reach + perFatSector - 1) / perFatSector);
    for (std::size_t i = 0; i < kHeaderDifat && layout.difat.size() < needed; ++i)
        layout.difat.push_back(Le32(header + 0x4C + 4 * i));
    std::uint32_t next = Le32(header + 0x44);
    const std::size_t perDifatSector = layout.SectorSize() / 4 - 1;
    // Each step adds entries, so a loop ends when enough are read.
    while (layout.difat.size() < needed && layout.InFile(next)) {
        const std::uint8_t* sector = layout.fetch.Bytes(layout.SectorStart(next), layout.SectorSize());
        if (!sector)
            return StructureStatus::ReadFailed;
        for (std::size_t i = 0; i < perDifatSector && layout.difat.size() < needed; ++i)
            layout.difat.push_back(Le32(sector + 4 * i));
        next = Le32(sector + 4 * perDifatSector);
    }
    return StructureStatus::Found;
}

// The FAT entry of a sector inside the reach: the next sector of its chain.
StructureStatus NextSector(const Layout& layout, std::uint32_t sector, std::uint32_t& next)
{
    const std::uint64_t perFatSector = layout.SectorSize() / 4;
    const std::uint64_t index = sector / perFatSector;
    if (index >= layout.difat.size() || !layout.InFile(layout.difat[index]))
        return StructureStatus::Absent;
    const std::uint8_t* entry
        = layout.fetch.Bytes(layout.SectorStart(layout.difat[index]) + 4 * (sector % perFatSector), 4);
    if (!entry)
        return StructureStatus::ReadFailed;
    next = Le32(entry);
    return StructureStatus::Found;
}

// The name of a directory entry, or empty when its length field is not one a name can have.
std::u16string_view EntryName(const std::uint8_t* entry, std::u16string& buffer)
{
    const std::size_t length = Le16(entry + 64);
    buffer.clear();
    if (length < 2 || length > 64 || length % 2)
        return {};
    // The length counts the terminating NUL.
    for (std::size_t i = 0; i < length / 2 - 1; ++i)
        buffer.push_back(static_cast<char16_t>(Le16(entry + 2 * i)));
    return buffer;
}

std::u16string Folded(std::u16string_view name)
{
    std::u16string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldCompoundUnit);
    return folded;
}

} // namespace

char16_t FoldCompoundUnit(char16_t unit)
{
    return AsciiUpper(unit);
}

std::uint32_t CompoundNameHash(std::u16string_view folded)
{
    std::uint32_t hash = 2166136261u;
    for (char16_t unit : folded) {
        hash = (hash ^ (unit & 0xFF)) * 16777619u;
        hash = (hash ^ (unit >> 8)) * 16777619u;
    }
    return hash;
}

StructureStatus ReadCompoundDirectory(const ByteFetch& fetch, CompoundDirectory& directory)
{
    directory.sectors.clear();
    directory.entries.clear();
    if (!fetch.Inside(0, kHeaderLength))
        return StructureStatus::Absent;
    const std::uint8_t* bytes = fetch.Bytes(0, kHeaderLength);
    if (!bytes)
        return StructureStatus::ReadFailed;
    std::uint8_t header[kHeaderLength];
    std::memcpy(header, bytes, kHeaderLength);
    const std::uint32_t shift = Le16(header + 0x1E);
    if (std::memcmp(header, kSignature, sizeof kSignature) != 0 || (shift != 9 && shift != 12))
        return StructureStatus::Absent;

    Layout layout{fetch, shift, kCompoundFatReach >> shift, {}};
    StructureStatus status = ReadDifat(layout, header);
    if (status != StructureStatus::Found)
        return status;

    directory.sectorShift = shift;
    const std::size_t perSector = layout.SectorSize() / kEntryLength;
    std::vector<bool> visited(static_cast<std::size_t>(layout.reach));
    std::u16string name;
    for (std::uint32_t sector = Le32(header + 0x30); sector != kEndOfChain;) {
        if (sector >= layout.reach || visited[sector] || directory.sectors.size() == kCompoundDirectorySectors
            || !layout.InFile(sector))
            return StructureStatus::Absent;
        visited[sector] = true;
        const std::uint8_t* entries = fetch.Bytes(layout.SectorStart(sector), layout.SectorSize());
        if (!entries)
            return StructureStatus::ReadFailed;
        for (std::size_t i = 0; i < perSector; ++i) {
            const std::uint8_t* entry = entries + i * kEntryLength;
            const auto index = static_cast<std::uint32_t>(directory.sectors.size() * perSector + i);
            const std::uint8_t type = entry[66];
            if (index == 0) {
                if (type != kRoot)
                    return StructureStatus::Absent;
                std::memcpy(directory.rootClsid.data(), entry + 80, 16);
            } else if (type == kStorage || type == kStream) {
                const std::u16string_view stored = EntryName(entry, name);
                if (!stored.empty())
                    directory.entries.push_back({CompoundNameHash(Folded(stored)), index});
            }
        }
        directory.sectors.push_back(sector);
        status = NextSector(layout, sector, sector);
        if (status != StructureStatus::Found)
            return status;
    }
    return directory.sectors.empty() ? StructureStatus::Absent : StructureStatus::Found;
}

StructureStatus FindCompoundEntry(const ByteFetch& fetch, const CompoundDirectory& directory,
                                  std::u16string_view folded, std::u16string& name)
{
    const std::uint32_t hash = CompoundNameHash(folded);
    const std::size_t perSector = (std::size_t{1} << directory.sectorShift) / kEntryLength;
    for (const CompoundDirectory::Entry& candidate : directory.entries) {
        if (candidate.hash != hash)
            continue;
        const std::uint32_t sector = directory.sectors[candidate.index / perSector];
        const std::uint64_t at = ((std::uint64_t{sector} + 1) << directory.sectorShift)
                               + (candidate.index % perSector) * kEntryLength;
        const std::uint8_t* entry = fetch.Bytes(at, kEntryLength);
        if (!entry)
            return StructureStatus::ReadFailed;
        std::u16string stored(EntryName(entry, name));
        if (Folded(stored) == folded) {
            name = std::move(stored);
            return StructureStatus::Found;
        }
    }
    return StructureStatus::Absent;
}
