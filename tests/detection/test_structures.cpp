// The new forms of test (pointer, ZIP member, compound-file entry and class
// id, gzip and zlib payload) against files built here, byte by byte.
#include "patterns/magic.h"
#include "structure_builders.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct Case {
    const char* magic;
    bool holds;
};

// Tests `magic` on `file`. Every text is also read as the classic rules
// alone read it, which must find it invalid: a reader without the new forms
// then never lets it hold.
MagicResult TestText(std::string_view magic, const std::string& file, StructureHeld* held = nullptr)
{
    EXPECT_FALSE(ParseClassicMagicRule(magic).valid) << magic;
    const MagicRule rule = ParseMagicRule(magic);
    EXPECT_TRUE(rule.valid) << magic;
    const std::vector<std::uint8_t> bytes = AsBytes(file);
    MemorySource source(bytes);
    return TestMagic(rule, source, held);
}

void ExpectCases(const std::string& file, std::initializer_list<Case> cases, const std::string& what = "")
{
    for (const Case& c : cases)
        EXPECT_EQ(TestText(c.magic, file) == MagicResult::Match, c.holds) << c.magic << ' ' << what;
}

// An executable's start: "MZ", the header's offset at 60, and at that offset
// "PE\0\0", characteristics with the DLL bit and the native subsystem.
std::string Executable(std::uint32_t header)
{
    std::string file(0x200, '\0');
    file[0] = 'M', file[1] = 'Z';
    Set32(file, 60, header);
    file.replace(header, 4, std::string("PE\0\0", 4));
    file[header + 23] = '\x21';
    file[header + 92] = '\x01';
    return file;
}

// A PE32+ image with one section that maps address 0x1000 to file offset
// 0x200, and `data` there; directory `directory` (0 export, 2 resource) points
// at the data.
std::string PeWithDirectory(int directory, const std::string& data)
{
    std::string file = Executable(0x80);
    file.resize(0x200 + data.size() + 0x40, '\0');
    file.replace(0x80 + 4 + 16, 2, std::string("\xF0\x00", 2));  // the optional header's size
    file.replace(0x80 + 4 + 2, 2, std::string("\x01\x00", 2));   // one section
    file.replace(0x98, 2, std::string("\x0B\x02", 2));            // PE32+
    Set32(file, 0x98 + 108, 16);
    Set32(file, 0x98 + 112 + 8 * directory, 0x1010);
    Set32(file, 0x98 + 112 + 8 * directory + 4, static_cast<std::uint32_t>(data.size()));
    const std::size_t section = 0x98 + 0xF0;
    Set32(file, section + 8, static_cast<std::uint32_t>(data.size() + 0x40));
    Set32(file, section + 12, 0x1000);
    Set32(file, section + 16, static_cast<std::uint32_t>(data.size() + 0x40));
    Set32(file, section + 20, 0x200);
    file.replace(0x210, data.size(), data);
    return file;
}

} // namespace

TEST(NearForm, ReadWrittenAndShown)
{
    const std::pair<const char*, const char*> valid[] = {
        {"near 0 4096: 41 42", "near 0 4096: 41 42"},
        {"near -1024 1024: 47 ?? 4c&4C", "near -1024 1024: 47 ?? 4C&4C"},
        {"near ptr 4 u32le +2 4096: 12 C6", "near ptr 4 u32le +2 4096: 12 C6"},
        {"near ptr 40 u32le -4096 4096: 00", "near ptr 40 u32le -4096 4096: 00"},
        {"near ptr 4 u32be 0 1: 00", "near ptr 4 u32be 0 1: 00"},
        {"near pe export 4096: 2E", "near pe export 4096: 2E"},
        {"near pe resource 1048576: 54 00", "near pe resource 1048576: 54 00"},
    };
    for (const auto& [text, canonical] : valid) {
        const MagicRule rule = ParseMagicRule(text);
        EXPECT_TRUE(rule.valid) << text;
        EXPECT_EQ(FormatMagicRule(rule), canonical);
        EXPECT_FALSE(ParseClassicMagicRule(text).valid) << text;
    }
    // Every window has a length from 1 byte to 1 MiB that holds BYTES.
    for (const char* text : {"near", "near 0", "near 0 4096:", "near 0 4096 41", "near 0: 41", "near 0 0: 41",
                             "near 0 1048577: 41", "near 0 1: 41 42", "near -0 16: 41", "near +4 16: 41",
                             "near 0x10 16: 41", "near ?: 41", "near 0 ?: 41", "near ptr 4 u32le 4096: 41",
                             "near ptr 4 u64le 0 4096: 41", "near ptr 4 u32le +2: 41", "near pe 4096: 41",
                             "near pe exports 4096: 41", "near pe export 16: 414", "near 0  16: 41"}) {
        EXPECT_FALSE(ParseMagicRule(text).valid) << text;
        EXPECT_FALSE(ParseClassicMagicRule(text).valid) << text;
    }
}

TEST(NearForm, FindsBytesWithinTheWindowAlone)
{
    // "XY" at 100 and "ZZ" at 900 of 1000 bytes; the number at 4 is 90.
    std::string file(1000, '.');
    file.replace(100, 2, "XY");
    file.replace(900, 2, "ZZ");
    Set32(file, 4, 90);
    ExpectCases(file, {{"near 0 102: 58 59", true}, {"near 0 101: 58 59", false}, {"near 100 2: 58 59", true},
                       {"near 101 4096: 58 59", false}, {"near 1000 16: 2E", false}, {"near -100 100: 5A 5A", true},
                       {"near -99 4096: 5A 5A", false}, {"near -5000 4001: 2E", true}, {"near -5000 4000: 2E", false},
                       {"near -5000 4102: 58 59", true}, {"near -5000 4101: 58 59", false},
                       {"near ptr 4 u32le +10 2: 58 59", true}, {"near ptr 4 u32le +11 4096: 58 59", false},
                       {"near ptr 4 u32le -200 212: 58 59", true}, {"near ptr 4 u32le -200 211: 58 59", false},
                       {"near ptr 4 u32be 0 4096: 58 59", false}, {"near ptr 998 u32le 0 16: 2E", false},
                       {"near pe export 4096: 58 59", false}});
    StructureHeld held;
    ASSERT_EQ(TestText("near ptr 4 u32le 0 64: 58 59", file, &held), MagicResult::Match);
    EXPECT_EQ(held.value, 90u);
    EXPECT_EQ(held.offset, 100u);

    // A PE image's directories, where its section table maps their addresses.
    const std::string exports = PeWithDirectory(0, std::string(40, '\0') + std::string("codec.acm\0DriverProc\0", 21));
    ExpectCases(exports, {{"near pe export 64: 2E 61 63 6D 00 44", true}, {"near pe export 48: 2E 61 63 6D", false},
                          {"near pe resource 4096: 2E 61 63 6D", false}, {"near 0 512: 2E 61 63 6D", false}});
    const std::string resources = PeWithDirectory(2, std::string(16, '\0') + std::string("T\0Y\0P\0E\0", 8));
    ExpectCases(resources, {{"near pe resource 24: 54 00 59 00 50 00 45 00", true},
                            {"near pe export 4096: 54 00", false}});
}

TEST(PointerForm, ReadsWhereTheNumberPoints)
{
    for (std::uint32_t header : {0x40u, 0x80u, 0x88u, 0x98u, 0xA8u, 0xB8u, 0x100u}) {
        const std::string file = Executable(header);
        ExpectCases(file,
                    {{"ptr 60 u32le 0: 50 45 00 00", true}, {"ptr 60 u32le +23: 20&20", true},
                     {"ptr 60 u32le +23: 00&20", false}, {"ptr 60 u32le +23: 21&FF ?? ??", true},
                     {"ptr 60 u32le +92: 01 00", true}, {"ptr 60 u32le 0: 4E 45", false},
                     {"ptr 60 u32be 0: 50 45", false}, {"ptr 60 u16le 0: 50 45", true},
                     {"ptr 59 u16be 0: 50 45 00 00", header < 0x100}},
                    std::to_string(header));
        StructureHeld held;
        ASSERT_EQ(TestText("ptr 60 u32le +23: 20&20", file, &held), MagicResult::Match);
        EXPECT_EQ(held.value, header);
        EXPECT_EQ(held.offset, header + 23);
    }
    // A number that points before the start, past the end, or lies past it itself.
    std::string file = Executable(0x80);
    ExpectCases(file, {{"ptr 60 u32le -129: ??", false}, {"ptr 60 u32le -128: 4D 5A", true},
                       {"ptr 60 u32le +383: ??", true}, {"ptr 60 u32le +383: ?? ??", false},
                       {"ptr 508 u32le 0: ??", true}, {"ptr 509 u32le 0: ??", false},
                       {"ptr 4294967296 u16le 0: ??", false}});
    Set32(file, 60, 0xFFFFFFFF);
    ExpectCases(file, {{"ptr 60 u32le 0: ??", false}, {"ptr 60 u32le -4294967295: 4D 5A", true}});
}

TEST(ZipForm, OnlyTheCentralDirectoryNamesMembers)
{
    std::string fake = "PK\x03\x04 secret.xml PK\x01\x02 secret.xml";
    const std::vector<ZipMemberInput> members = {
        {"content.xml", "<?xml?><office><body>text</body></office>", true, "secret.xml"},
        {"mimetype", "application/epub+zip", false, ""},
        {"data/arr_0.npy", std::string("\x93NUMPY\x01\x00 array", 14), true, ""},
        {"a.xml", "AAA", false, ""},
        {"b.xml", "BBB", false, ""},
        {"notes.txt", fake, true, ""},
        {"stored.txt", fake, false, ""},
    };
    const struct {
        const char* what;
        ZipOptions options;
    } archives[] = {
        {"plain", {"", "", false, false}},
        {"with a comment", {"", "secret.xml PK\x05\x06", false, false}},
        {"ZIP64", {"", "", true, true}},
        {"behind a program", {std::string(3000, 'X'), "", false, false}},
    };
    for (const auto& archive : archives) {
        ExpectCases(MakeZip(members, archive.options),
                    {{"zip mimetype", true},
                     {"zip mimetype 0: 61 70 70 6C 69 63 61 74 69 6F 6E 2F 65 70 75 62 2B 7A 69 70", true},
                     {"zip mimetype 12: 65 70 75 62", true}, {"zip mimetype 12: 65 70 75 62 2B 7A 69 70 00", false},
                     {"zip MIMETYPE", false}, {"zip mime", false}, {"zip *type", true}, {"zip m*e", true},
                     {"zip *.npy 0: 93 4E 55 4D 50 59", true}, {"zip *.npy 0: 93 00", false},
                     {"zip data/* 0: 93", true}, {"zip *a/arr*.n*y", true}, {"zip %2A.npy", false},
                     {"zip content.xml ?: 3C 62 6F 64 79 3E", true}, {"zip content.xml 0: 3C 62", false},
                     // The first member in directory order whose name fits is the one read.
                     {"zip *.xml 0: 3C", true}, {"zip ?.xml", false}, {"zip b.xml 0: 42", true},
                     {"zip *b.xml 0: 41", false},
                     {"zip secret.xml", false}},
                    archive.what);
    }
    // Stored data is read as far in as asked; deflated data only to 64 KiB.
    const std::string big = std::string(70000, 'a') + "XYZ";
    ExpectCases(MakeZip({{"s", big, false, ""}, {"d", big, true, ""}}),
                {{"zip s 70000: 58 59 5A", true}, {"zip d 70000: 58", false}, {"zip d 65535: 61", true},
                 {"zip d ?: 58", false}, {"zip s ?: 58", false}});
    StructureHeld held;
    ASSERT_EQ(TestText("zip *.npy ?: 61 72 72 61 79", MakeZip(members), &held), MagicResult::Match);
    EXPECT_EQ(held.name, "data/arr_0.npy");
    EXPECT_EQ(held.offset, 9u);
}

TEST(CompoundForm, NamesOfTheRealDirectoryAtEitherSectorSize)
{
    // Word's class id, stored little-endian in its first three groups.
    const std::string word("\x06\x09\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    for (unsigned shift : {9u, 12u}) {
        CompoundInput input{shift,
                          {u"WordDocument", u"\x05SummaryInformation", u"1Table", u"Data", u"\u00DCn\u00EFcode",
                           u"%20", u"ObjectPool"},
                          word,
                          DirectoryEntry(u"Hidden", 2)};
        ExpectCases(MakeCompound(input),
                    {{"ole WordDocument", true}, {"ole worddocument", true}, {"ole %05SummaryInformation", true},
                     {"ole %05SUMMARYINFORMATION", true}, {"ole SummaryInformation", false}, {"ole ObjectPool", true},
                     {"ole \xC3\x9Cn\xC3\xAF" "code", true}, {"ole \xC3\xBCn\xC3\xAF" "code", false},
                     {"ole %2520", true}, {"ole Word", false}, {"ole Hidden", false}, {"ole Root%20Entry", false},
                     {"oleclsid 00020906-0000-0000-C000-000000000046", true},
                     {"oleclsid 00020906-0000-0000-c000-000000000046", true},
                     {"oleclsid 00020810-0000-0000-C000-000000000046", false}},
                    "shift " + std::to_string(shift));
        StructureHeld held;
        ASSERT_EQ(TestText("ole objectpool", MakeCompound(input), &held), MagicResult::Match);
        EXPECT_EQ(held.name, "ObjectPool");
    }
    // The same bytes without the signature are no compound file.
    std::string unsigned_ = MakeCompound({9, {u"WordDocument"}, std::string(16, '\0'), ""});
    unsigned_[0] = 0;
    ExpectCases(unsigned_, {{"ole WordDocument", false}, {"oleclsid 00000000-0000-0000-0000-000000000000", false}});
}

TEST(CompressedForms, PayloadOfAGzipMemberOrAZlibStream)
{
    const std::string svg = "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>";
    const struct {
        const char* what;
        GzipFields fields;
    } headers[] = {
        {"bare", {"", "", "", false}},
        {"named", {"drawing.svg", "", "", false}},
        {"every field", {"drawing.svg", "made by hand", std::string("AB\x04\x00" "abcd", 8), true}},
    };
    for (const auto& header : headers) {
        ExpectCases(MakeGzip(svg, header.fields),
                    {{"gzip ?: 3C 73 76 67", true}, {"gzip 0: 3C 3F 78 6D 6C", true}, {"gzip 1: 3C", false},
                     {"gzip 0: 30&F0 0F&0F", true}, {"gzip 0: 3C&F0", false}, {"gzip ?: 64 72 61 77 69 6E 67", false}},
                    header.what);
    }
    std::string badCrc = MakeGzip(svg, {"a", "", "", true});
    badCrc[12] ^= 1;
    ExpectCases(badCrc, {{"gzip ?: 3C", false}});

    const std::string zlib = std::string(16, 'x') + Deflate(svg, 15);
    ExpectCases(zlib, {{"zlib 16 0: 3C 3F 78", true}, {"zlib 16 ?: 3C 73 76 67", true}, {"zlib 0 0: 3C", false},
                       {"zlib 15 0: 3C", false}, {"gzip 0: 3C", false}});
    // Only the first 64 KiB of a payload is looked at.
    const std::string big = MakeGzip(std::string(70000, 'a') + "XYZ");
    ExpectCases(big, {{"gzip ?: 58 59 5A", false}, {"gzip 65533: 61 61 61", true}, {"gzip 65534: 61 61 61", false}});
    // A truncated stream holds for what inflates before the cut.
    std::string varied = svg;
    std::minstd_rand random(7);
    for (int i = 0; i < 20000; ++i)
        varied += static_cast<char>('a' + random() % 26);
    const std::string cut = MakeGzip(varied).substr(0, 2000);
    ExpectCases(cut, {{"gzip 0: 3C 3F", true}, {"gzip 19000: ??", false}});
}

TEST(StructureReaders, AFailedReadIsNeverTakenForAMissingStructure)
{
    // Reads that reach past `readable` fail, as on a disk with a bad stretch:
    // a reader of a sound structure then says it could not tell, never that
    // the structure is not there.
    struct Failing {
        std::vector<std::uint8_t> bytes;
        std::uint64_t readable;
        std::uint64_t Size() const { return bytes.size(); }
        const std::uint8_t* Bytes(std::uint64_t position, std::size_t count) const
        {
            return position + count <= readable ? bytes.data() + position : nullptr;
        }
    };
    const std::string zip = MakeZip({{"a", "x", false, ""}, {"b", std::string(5000, 'y'), true, ""}},
                                    {"MZ", "", true, true});
    const std::string compound = MakeCompound({9, {u"A", u"B", u"C", u"D", u"E"}, std::string(16, '\0'), ""});
    const std::string gzip = MakeGzip(std::string(3000, 'z'), {"name", "comment", "xy", true});
    for (const std::string* file : {&zip, &compound, &gzip}) {
        for (std::uint64_t readable = 0; readable < file->size(); readable += 7) {
            Failing source{AsBytes(*file), readable};
            const ByteFetch fetch = FetchFrom(source);
            ZipDirectory zipDirectory;
            CompoundDirectory compoundDirectory;
            std::vector<std::uint8_t> payload;
            const StructureStatus status = file == &zip        ? ReadZipDirectory(fetch, zipDirectory)
                                         : file == &compound ? ReadCompoundDirectory(fetch, compoundDirectory)
                                                             : InflatePayload(fetch, 0, file->size(), PayloadWrapper::Gzip, payload);
            EXPECT_NE(status, StructureStatus::Absent) << "readable " << readable << " of " << file->size();
        }
    }
}
