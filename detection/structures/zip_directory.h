// A ZIP archive's central directory: the list of its members that counts.
// Names inside members' data, comments or local headers alone do not.
#pragma once

#include "structures/byte_fetch.h"

#include <cstdint>
#include <string_view>
#include <vector>

// The end record lies in the last 22 bytes plus the longest comment; the
// directory is read whole, so it is bounded, and so is its entry count.
constexpr std::uint64_t kZipEndSearch = 22 + 65535;
constexpr std::uint64_t kZipDirectoryLimit = 4u << 20;
constexpr std::uint64_t kZipEntryLimit = 65536;

struct ZipEntry {
    std::uint32_t nameOffset;  // into ZipDirectory::raw
    std::uint16_t nameLength;
    std::uint16_t method;
    std::uint16_t flags;
    std::uint64_t compressedSize;
    std::uint64_t localHeader;  // file offset, corrected for bytes put in front of the archive
};

struct ZipDirectory {
    std::vector<std::uint8_t> raw;  // the central directory as read
    std::vector<ZipEntry> entries;  // in directory order

    std::string_view Name(const ZipEntry& entry) const
    {
        return {reinterpret_cast<const char*>(raw.data()) + entry.nameOffset, entry.nameLength};
    }
};

// Finds the end record (and the ZIP64 one it points to) and reads the
// directory. Absent when there is none, it breaks a bound, or any entry it
// announces is not there as a well-formed central header.
StructureStatus ReadZipDirectory(const ByteFetch& fetch, ZipDirectory& directory);

// Where a member's data lies, after its local header.
struct ZipMemberData {
    std::uint64_t start = 0;
    std::uint64_t size = 0;  // compressed size, as the central directory gives it
};
StructureStatus LocateZipMemberData(const ByteFetch& fetch, const ZipEntry& entry, ZipMemberData& data);
