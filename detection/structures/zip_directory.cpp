// Finding and reading a ZIP archive's central directory, bounded.
#include "structures/zip_directory.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

constexpr std::uint8_t kEndSignature[] = {'P', 'K', 5, 6};
constexpr std::uint8_t kZip64LocatorSignature[] = {'P', 'K', 6, 7};
constexpr std::uint8_t kZip64EndSignature[] = {'P', 'K', 6, 6};
constexpr std::uint8_t kCentralSignature[] = {'P', 'K', 1, 2};
constexpr std::uint8_t kLocalSignature[] = {'P', 'K', 3, 4};
constexpr std::size_t kEndLength = 22, kZip64LocatorLength = 20, kZip64EndLength = 56;
constexpr std::size_t kCentralLength = 46, kLocalLength = 30;
constexpr std::size_t kPiece = 64 * 1024;

bool Signed(const std::uint8_t* p, const std::uint8_t (&signature)[4])
{
    return std::memcmp(p, signature, 4) == 0;
}

struct DirectoryPlace {
    std::uint64_t entries = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;  // as recorded
    std::uint64_t end = 0;     // where the directory must end: the first end record
};

// The last end record whose comment reaches the end of the file exactly, or
// failing that the last one that fits at all (bytes appended after it).
StructureStatus FindEnd(const ByteFetch& fetch, DirectoryPlace& place, std::uint64_t& endRecord)
{
    if (fetch.size < kEndLength)
        return StructureStatus::Absent;
    const std::uint64_t from = fetch.size - std::min(fetch.size, kZipEndSearch);
    const auto length = static_cast<std::size_t>(fetch.size - from);
    const std::uint8_t* tail = fetch.Bytes(from, length);
    if (!tail)
        return StructureStatus::ReadFailed;
    std::optional<std::size_t> exact, fits;
    for (std::size_t at = length - kEndLength + 1; at-- > 0 && !exact;) {
        if (tail[at] != 'P' || !Signed(tail + at, kEndSignature))
            continue;
        const std::size_t after = length - at - kEndLength;
        const std::size_t comment = Le16(tail + at + 20);
        if (comment == after)
            exact = at;
        else if (comment < after && !fits)
            fits = at;
    }
    const std::optional<std::size_t> chosen = exact ? exact : fits;
    if (!chosen)
        return StructureStatus::Absent;
    const std::uint8_t* end = tail + *chosen;
    endRecord = from + *chosen;
    place.entries = Le16(end + 10);
    place.size = Le32(end + 12);
    place.offset = Le32(end + 16);
    place.end = endRecord;
    return StructureStatus::Found;
}

// A ZIP64 locator right before the end record leads to the record with the
// full-width numbers, which then count instead.
StructureStatus ReadZip64End(const ByteFetch& fetch, std::uint64_t endRecord, DirectoryPlace& place)
{
    if (endRecord < kZip64LocatorLength)
        return StructureStatus::Found;
    const std::uint8_t* locator = fetch.Bytes(endRecord - kZip64LocatorLength, kZip64LocatorLength);
    if (!locator)
        return StructureStatus::ReadFailed;
    if (!Signed(locator, kZip64LocatorSignature))
        return StructureStatus::Found;
    // Where it is recorded to be or else, in an archive with bytes put in
    // front of it, right before the locator, where it nearly always is.
    const std::uint64_t locatorAt = endRecord - kZip64LocatorLength;
    const std::uint64_t recorded = Le64(locator + 8);
    const std::uint8_t* end = nullptr;
    std::uint64_t record = 0;
    for (std::uint64_t candidate : {recorded, locatorAt - std::min<std::uint64_t>(locatorAt, kZip64EndLength)}) {
        if (candidate > locatorAt || locatorAt - candidate < kZip64EndLength)
            continue;
        end = fetch.Bytes(candidate, kZip64EndLength);
        if (!end)
            return StructureStatus::ReadFailed;
        record = candidate;
        if (Signed(end, kZip64EndSignature))
            break;
        end = nullptr;
    }
    if (!end)
        return StructureStatus::Absent;
    place.entries = Le64(end + 32);
    place.size = Le64(end + 40);
    place.offset = Le64(end + 48);
    place.end = record;
    return StructureStatus::Found;
}

// The sizes and the local header offset that a central header saturates are
// in its ZIP64 extra field, in this order.
bool ApplyZip64Extra(const std::uint8_t* extra, std::size_t length, std::uint32_t uncompressed,
                     ZipEntry& entry)
{
    const bool compressed = entry.compressedSize == 0xFFFFFFFF;
    const bool local = entry.localHeader == 0xFFFFFFFF;
    if (!compressed && !local)
        return true;
    for (std::size_t at = 0; length - at >= 4;) {
        const std::uint16_t id = Le16(extra + at);
        const std::size_t size = Le16(extra + at + 2);
        if (length - at - 4 < size)
            return false;
        if (id == 1) {
            const std::uint8_t* field = extra + at + 4;
            std::size_t left = size;
            auto take = [&](std::uint64_t& value) {
                if (left < 8)
                    return false;
                value = Le64(field);
                field += 8;
                left -= 8;
                return true;
            };
            std::uint64_t ignored = 0;
            return (uncompressed != 0xFFFFFFFF || take(ignored)) && (!compressed || take(entry.compressedSize))
                && (!local || take(entry.localHeader));
        }
        at += 4 + size;
    }
    return false;
}

StructureStatus ReadEntries(const ByteFetch& fetch, const DirectoryPlace& place, std::uint64_t start,
                            std::int64_t bias, ZipDirectory& directory)
{
    const auto size = static_cast<std::size_t>(place.size);
    directory.raw.resize(size);
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = std::min(kPiece, size - done);
        const std::uint8_t* bytes = fetch.Bytes(start + done, piece);
        if (!bytes)
            return StructureStatus::ReadFailed;
        std::memcpy(directory.raw.data() + done, bytes, piece);
        done += piece;
    }
    const std::uint8_t* raw = directory.raw.data();
    directory.entries.reserve(static_cast<std::size_t>(place.entries));
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < place.entries; ++i) {
        if (size - at < kCentralLength || !Signed(raw + at, kCentralSignature))
            return StructureStatus::Absent;
        const std::uint8_t* header = raw + at;
        const std::size_t nameLength = Le16(header + 28), extraLength = Le16(header + 30),
                          commentLength = Le16(header + 32);
        if (size - at - kCentralLength < nameLength + extraLength + commentLength)
            return StructureStatus::Absent;
        ZipEntry entry{static_cast<std::uint32_t>(at + kCentralLength), static_cast<std::uint16_t>(nameLength),
                       Le16(header + 10), Le16(header + 8), Le32(header + 20), Le32(header + 42)};
        if (!ApplyZip64Extra(header + kCentralLength + nameLength, extraLength, Le32(header + 24), entry))
            return StructureStatus::Absent;
        // An offset that leads nowhere fails only a test of that member's data.
        // Only an offset inside the file is moved by the bias: a ZIP64 one may
        // be near 2^64, where the sum would overflow.
        const bool inFile = entry.localHeader <= fetch.size;
        const std::int64_t local = inFile ? static_cast<std::int64_t>(entry.localHeader) + bias : -1;
        entry.localHeader = local >= 0 ? static_cast<std::uint64_t>(local) : UINT64_MAX;
        directory.entries.push_back(entry);
        at += kCentralLength + nameLength + extraLength + commentLength;
    }
    return StructureStatus::Found;
}

} // namespace

StructureStatus ReadZipDirectory(const ByteFetch& fetch, ZipDirectory& directory)
{
    directory.raw.clear();
    directory.entries.clear();
    DirectoryPlace place;
    std::uint64_t endRecord = 0;
    StructureStatus status = FindEnd(fetch, place, endRecord);
    if (status == StructureStatus::Found)
        status = ReadZip64End(fetch, endRecord, place);
    if (status != StructureStatus::Found)
        return status;
    if (place.size > kZipDirectoryLimit || place.entries > kZipEntryLimit || place.size > place.end)
        return StructureStatus::Absent;

    // Where the directory is recorded to start, or else where it must start
    // to end at the end record: then bytes were put in front of the archive
    // (a self-extractor's program), and every recorded offset is off by as many.
    std::uint64_t start = place.offset;
    std::int64_t bias = 0;
    const std::uint64_t implied = place.end - place.size;
    if (place.entries > 0 && start != implied) {
        bool recorded = false;
        if (start <= place.end && place.end - start >= 4) {
            const std::uint8_t* signature = fetch.Bytes(start, 4);
            if (!signature)
                return StructureStatus::ReadFailed;
            recorded = Signed(signature, kCentralSignature);
        }
        if (!recorded) {
            bias = static_cast<std::int64_t>(implied) - static_cast<std::int64_t>(place.offset);
            start = implied;
        }
    }
    if (!fetch.Inside(start, place.size))
        return StructureStatus::Absent;
    status = ReadEntries(fetch, place, start, bias, directory);
    if (status != StructureStatus::Found) {
        directory.raw.clear();
        directory.entries.clear();
    }
    return status;
}

StructureStatus LocateZipMemberData(const ByteFetch& fetch, const ZipEntry& entry, ZipMemberData& data)
{
    if (!fetch.Inside(entry.localHeader, kLocalLength))
        return StructureStatus::Absent;
    const std::uint8_t* local = fetch.Bytes(entry.localHeader, kLocalLength);
    if (!local)
        return StructureStatus::ReadFailed;
    if (!Signed(local, kLocalSignature))
        return StructureStatus::Absent;
    const std::uint64_t start = entry.localHeader + kLocalLength + Le16(local + 26) + Le16(local + 28);
    if (!fetch.Inside(start, entry.compressedSize))
        return StructureStatus::Absent;
    data.start = start;
    data.size = entry.compressedSize;
    return StructureStatus::Found;
}
