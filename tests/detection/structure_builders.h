// Files with structures in them, built byte by byte for the tests of the new
// forms: ZIP archives, compound files, gzip members and zlib streams.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline void Put16(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8 & 0xFF);
}
inline void Put32(std::string& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
inline void Put64(std::string& out, std::uint64_t v)
{
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}
inline void Set32(std::string& out, std::size_t at, std::uint32_t v)
{
    std::string bytes;
    Put32(bytes, v);
    out.replace(at, 4, bytes);
}

// Raw deflate (windowBits -15), zlib (15) or gzip without header fields (31).
inline std::string Deflate(const std::string& data, int windowBits = -15)
{
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

inline std::uint32_t Crc(const std::string& data)
{
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// A gzip member: header fields as asked, then the deflated data and trailer.
struct GzipFields {
    std::string name, comment, extra;
    bool headerCrc = false;
};
inline std::string MakeGzip(const std::string& data, const GzipFields& fields = {})
{
    std::string out = "\x1F\x8B\x08";
    const int flags = (fields.headerCrc ? 2 : 0) | (fields.extra.empty() ? 0 : 4) | (fields.name.empty() ? 0 : 8)
                    | (fields.comment.empty() ? 0 : 16);
    out += static_cast<char>(flags);
    out += std::string("\0\0\0\0\0\x03", 6);
    if (!fields.extra.empty()) {
        Put16(out, static_cast<std::uint32_t>(fields.extra.size()));
        out += fields.extra;
    }
    for (const std::string* text : {&fields.name, &fields.comment}) {
        if (!text->empty())
            out += *text + '\0';
    }
    if (fields.headerCrc)
        Put16(out, Crc(out) & 0xFFFF);
    out += Deflate(data);
    Put32(out, Crc(data));
    Put32(out, static_cast<std::uint32_t>(data.size()));
    return out;
}

struct ZipMemberInput {
    std::string name;
    std::string data;
    bool deflated = false;
    std::string comment;
};
struct ZipOptions {
    std::string prefix;   // bytes in front of the archive, offsets left as if absent
    std::string comment;  // the archive's comment
    bool zip64 = false;         // ZIP64 end records
    bool zip64Entries = false;  // and every entry's sizes and offset in its ZIP64 extra field
};
inline std::string MakeZip(const std::vector<ZipMemberInput>& members, const ZipOptions& options = {})
{
    std::string out = options.prefix, central;
    const std::uint32_t saturated = 0xFFFFFFFF;
    for (const ZipMemberInput& m : members) {
        const std::string stored = m.deflated ? Deflate(m.data) : m.data;
        const auto local = static_cast<std::uint32_t>(out.size() - options.prefix.size());
        out += "PK\x03\x04";
        Put16(out, 20), Put16(out, 0), Put16(out, m.deflated ? 8 : 0), Put32(out, 0), Put32(out, Crc(m.data));
        Put32(out, static_cast<std::uint32_t>(stored.size())), Put32(out, static_cast<std::uint32_t>(m.data.size()));
        Put16(out, static_cast<std::uint32_t>(m.name.size())), Put16(out, 0);
        out += m.name + stored;

        std::string extra;
        if (options.zip64Entries) {
            Put16(extra, 1), Put16(extra, 24), Put64(extra, m.data.size()), Put64(extra, stored.size()), Put64(extra, local);
        }
        central += "PK\x01\x02";
        Put16(central, 45), Put16(central, 20), Put16(central, 0), Put16(central, m.deflated ? 8 : 0), Put32(central, 0);
        Put32(central, Crc(m.data));
        Put32(central, options.zip64Entries ? saturated : static_cast<std::uint32_t>(stored.size()));
        Put32(central, options.zip64Entries ? saturated : static_cast<std::uint32_t>(m.data.size()));
        Put16(central, static_cast<std::uint32_t>(m.name.size())), Put16(central, static_cast<std::uint32_t>(extra.size()));
        Put16(central, static_cast<std::uint32_t>(m.comment.size())), Put16(central, 0), Put16(central, 0), Put32(central, 0);
        Put32(central, options.zip64Entries ? saturated : local);
        central += m.name + extra + m.comment;
    }
    const auto directory = static_cast<std::uint32_t>(out.size() - options.prefix.size());
    out += central;
    const auto count = static_cast<std::uint32_t>(members.size());
    if (options.zip64) {
        const auto record = out.size() - options.prefix.size();
        out += "PK\x06\x06";
        Put64(out, 44), Put16(out, 45), Put16(out, 45), Put32(out, 0), Put32(out, 0);
        Put64(out, count), Put64(out, count), Put64(out, central.size()), Put64(out, directory);
        out += "PK\x06\x07";
        Put32(out, 0), Put64(out, record), Put32(out, 1);
    }
    out += "PK\x05\x06";
    Put16(out, 0), Put16(out, 0);
    Put16(out, options.zip64 ? 0xFFFF : count), Put16(out, options.zip64 ? 0xFFFF : count);
    Put32(out, options.zip64 ? saturated : static_cast<std::uint32_t>(central.size()));
    Put32(out, options.zip64 ? saturated : directory);
    Put16(out, static_cast<std::uint32_t>(options.comment.size()));
    return out + options.comment;
}

// A compound file: the header, the FAT sectors, the directory (root entry,
// then one stream per name), and one data sector that holds `data`. The
// directory chain runs backwards through its sectors, so that a reader that
// takes them in file order reads them wrongly.
struct CompoundInput {
    unsigned shift = 9;
    std::vector<std::u16string> names;
    std::string clsid = std::string(16, '\0');  // as stored
    std::string data;                           // the one data sector's bytes
};
inline std::string DirectoryEntry(const std::u16string& name, int type, const std::string& clsid = std::string(16, '\0'))
{
    std::string entry;
    for (char16_t unit : name)
        Put16(entry, unit);
    entry.resize(64, '\0');
    Put16(entry, static_cast<std::uint32_t>(2 * name.size() + 2));
    entry += static_cast<char>(type);
    entry += '\x01';
    Put32(entry, 0xFFFFFFFF), Put32(entry, 0xFFFFFFFF), Put32(entry, 0xFFFFFFFF);
    entry += clsid;
    entry.resize(116, '\0');
    Put32(entry, 0xFFFFFFFE), Put64(entry, 0);
    return entry;
}
// Where MakeCompound put things, for tests that spoil them.
struct CompoundLayout {
    std::size_t sectorSize, fatSectors, directorySectors;
    std::size_t FatEntry(std::size_t sector) const { return sectorSize + 4 * sector; }  // FAT sectors come first
    std::size_t FirstDirectory() const { return fatSectors + directorySectors - 1; }
};
inline std::string MakeCompound(const CompoundInput& input, CompoundLayout* layout = nullptr)
{
    const std::size_t sectorSize = std::size_t{1} << input.shift, perFat = sectorSize / 4;
    std::string directory = DirectoryEntry(u"Root Entry", 5, input.clsid);
    for (const std::u16string& name : input.names)
        directory += DirectoryEntry(name, 2);
    const std::size_t d = (directory.size() + sectorSize - 1) / sectorSize;
    directory.resize(d * sectorSize, '\0');
    std::size_t f = 1;
    while (f * perFat < f + d + 1)
        ++f;
    if (layout)
        *layout = {sectorSize, f, d};

    std::string header = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    header.resize(24, '\0');
    Put16(header, 0x3E), Put16(header, input.shift == 12 ? 4 : 3), Put16(header, 0xFFFE), Put16(header, input.shift);
    Put16(header, 6);
    header.resize(40, '\0');
    Put32(header, input.shift == 12 ? static_cast<std::uint32_t>(d) : 0);
    Put32(header, static_cast<std::uint32_t>(f));          // FAT sectors
    Put32(header, static_cast<std::uint32_t>(f + d - 1));  // the chain starts at the last directory sector
    Put32(header, 0), Put32(header, 4096), Put32(header, 0xFFFFFFFE), Put32(header, 0), Put32(header, 0xFFFFFFFE);
    Put32(header, 0);
    for (std::uint32_t i = 0; i < 109; ++i)
        Put32(header, i < f ? i : 0xFFFFFFFF);
    header.resize(sectorSize, '\0');

    // Sectors 0..f-1 the FAT, f..f+d-1 the directory chained backwards, then the data sector.
    std::string fat;
    for (std::size_t s = 0; s < f; ++s)
        Put32(fat, 0xFFFFFFFD);
    for (std::size_t s = f; s < f + d; ++s)
        Put32(fat, s == f ? 0xFFFFFFFE : static_cast<std::uint32_t>(s - 1));
    Put32(fat, 0xFFFFFFFE);
    while (fat.size() < f * sectorSize)
        Put32(fat, 0xFFFFFFFF);

    std::string out = header + fat;
    for (std::size_t s = 0; s < d; ++s)
        out += directory.substr((d - 1 - s) * sectorSize, sectorSize);
    std::string data = input.data;
    data.resize(sectorSize, '\0');
    return out + data;
}

inline std::vector<std::uint8_t> AsBytes(const std::string& text)
{
    return {text.begin(), text.end()};
}
