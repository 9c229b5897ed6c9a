// Reading a PE image's headers and section table to place its data directories.
#include "structures/pe_directory.h"

#include <algorithm>

namespace {

constexpr std::uint64_t kCoffHeader = 24;  // "PE\0\0" and the file header
constexpr std::uint64_t kSectionHeader = 40;

} // namespace

StructureStatus ReadPeDirectories(const ByteFetch& fetch, PeDirectories& directories)
{
    directories = {};
    if (!fetch.Inside(0, 64))
        return StructureStatus::Absent;
    const std::uint8_t* dos = fetch.Bytes(0, 64);
    if (!dos)
        return StructureStatus::ReadFailed;
    if (dos[0] != 'M' || dos[1] != 'Z')
        return StructureStatus::Absent;
    const std::uint64_t pe = Le32(dos + 60);
    if (!fetch.Inside(pe, kCoffHeader + 2))
        return StructureStatus::Absent;
    const std::uint8_t* header = fetch.Bytes(pe, kCoffHeader + 2);
    if (!header)
        return StructureStatus::ReadFailed;
    if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0)
        return StructureStatus::Absent;
    const std::uint32_t sections = Le16(header + 6);
    const std::uint64_t optionalSize = Le16(header + 20);
    const std::uint16_t magic = Le16(header + 24);
    // PE32 keeps its directory entries 96 bytes into the optional header, PE32+ 112.
    const std::uint64_t entries = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (!entries || sections > kPeSectionLimit || optionalSize < entries + 4 * 8 /* count; the first three */)
        return StructureStatus::Absent;
    const std::uint64_t optional = pe + kCoffHeader;
    const std::uint64_t length = optionalSize + sections * kSectionHeader;
    if (!fetch.Inside(optional, length))
        return StructureStatus::Absent;
    const std::uint8_t* bytes = fetch.Bytes(optional, static_cast<std::size_t>(length));
    if (!bytes)
        return StructureStatus::ReadFailed;
    const std::uint32_t count = Le32(bytes + entries - 4);
    const std::uint8_t* table = bytes + optionalSize;
    for (std::size_t d = 0; d < kPeDirectories && d < count; ++d) {
        const std::uint32_t address = Le32(bytes + entries + 8 * d);
        if (address == 0)
            continue;
        for (std::uint32_t s = 0; s < sections; ++s) {
            const std::uint8_t* section = table + s * kSectionHeader;
            const std::uint32_t virtualSize = Le32(section + 8);
            const std::uint32_t virtualAddress = Le32(section + 12);
            const std::uint32_t rawSize = Le32(section + 16);
            const std::uint64_t rawStart = Le32(section + 20);
            // Only the bytes the file holds for the section count, however large it is in memory.
            const std::uint64_t within = std::uint64_t{address} - virtualAddress;
            const std::uint32_t held = virtualSize ? std::min(virtualSize, rawSize) : rawSize;
            if (address < virtualAddress || within >= held)
                continue;
            if (rawStart + within < fetch.size) {
                directories.offset[d] = rawStart + within;
                directories.present[d] = true;
            }
            break;
        }
    }
    return StructureStatus::Found;
}
