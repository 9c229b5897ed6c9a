// Hostile input: each case has a defined outcome, in bounded time and memory,
// and nothing is lost. The large inputs are made here, at test time.
#include "detection.h"
#include "patterns/magic.h"
#include "files/platform_file.h"
#include "structure_builders.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

// Counts the bytes allocated through operator new, so that a test can see the
// peak a piece of work needed.
//
// Not under ThreadSanitizer: its runtime defines the global operator new and
// delete itself, to follow every block. Clang links that runtime statically, so
// a second definition here does not link; with the runtime as a shared library
// (-shared-libsan) a program that replaces them crashed at start with clang 14.
// That build leaves the counting out, PeakDuring reads 0, and the memory
// bounds below are checked by the other builds; the rest of each test still runs.
#if defined(__SANITIZE_THREAD__)
#define KINDSNIFFER_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KINDSNIFFER_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef KINDSNIFFER_COUNT_ALLOCATIONS
#define KINDSNIFFER_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

std::size_t PeakDuring(auto work)
{
    const std::size_t before = g_live.load();
    g_peak = before;
    work();
    return g_peak.load() - before;
}
} // namespace

#if KINDSNIFFER_COUNT_ALLOCATIONS
void* operator new(std::size_t size)
{
    auto* block = static_cast<std::max_align_t*>(std::malloc(size + sizeof(std::max_align_t)));
    if (!block)
        throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(block) = size;
    const std::size_t live = g_live += size;
    for (std::size_t peak = g_peak; live > peak && !g_peak.compare_exchange_weak(peak, live);) {
    }
    return block + 1;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept
{
    if (!memory)
        return;
    auto* block = static_cast<std::max_align_t*>(memory) - 1;
    g_live -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}
void operator delete[](void* memory) noexcept { operator delete(memory); }
void operator delete(void* memory, std::size_t) noexcept { operator delete(memory); }
void operator delete[](void* memory, std::size_t) noexcept { operator delete(memory); }
// The library's temporary buffers (stable_sort's) come from the nothrow form,
// and are handed back to the plain delete above: both must count alike.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { operator delete(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { operator delete(memory); }
#endif

namespace {

std::string Types(std::string_view body)
{
    return "<?xml version=\"1.0\"?>\n<dat><types>\n" + std::string(body) + "</types></dat>\n";
}

} // namespace

TEST(HostileInput, SignatureFilesOfExtremeShape)
{
    TempDir dir;
    auto file = dir.Write("sample", Bytes({0x4D, 0x5A, 0x90, 0x00}));

    // Nested 100,000 elements deep: the parser refuses the depth, the run
    // finds no types and says so, instead of overflowing its stack.
    std::string deep = "<dat><types>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    auto nested = dir.Write("nested.xml", deep);
    EXPECT_EQ(DetectFileType(nested, file).state, DetectionState::Undetermined);

    // 100 MB, nearly all of it a comment after the one type.
    std::string large = Types("<type><magic>4D 5A</magic><title>MZ</title></type>");
    large.insert(large.find("</types>"), "<!--" + std::string(100 << 20, 'x') + "-->");
    auto big = dir.Write("big.xml", large);
    large = {};
    EXPECT_EQ(DetectFileType(big, file).title, "MZ");

    // 100,000 types, the matching one last.
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "<type><magic>4D " + std::to_string(10 + i % 80) + " 00</magic><title>T</title></type>\n";
    many += "<type><magic>4D 5A 90</magic><title>Last</title></type>\n";
    EXPECT_EQ(DetectFileType(dir.Write("many.xml", Types(many)), file).title, "Last");
}

TEST(HostileInput, AMillionTokenPatternCostsAFewBytesAToken)
{
    constexpr std::size_t kTokens = 1000000;
    std::string text = "?:";
    for (std::size_t i = 0; i < kTokens; ++i)
        text += i % 7 ? " 4D" : " ??";
    MagicRule rule;
    const std::size_t peak = PeakDuring([&] { rule = ParseMagicRule(text); });
    ASSERT_TRUE(rule.valid);
    EXPECT_EQ(rule.pattern.size(), kTokens);
    EXPECT_LE(peak, 4 * kTokens) << "bytes a token: " << peak / kTokens;
}

TEST(HostileInput, OffsetsAtTheEdgesOf32And64Bits)
{
    TempDir dir;
    // Sparse: past 4 GiB, with bytes set around 2^31 and at the end.
    auto path = dir.path / "sparse";
    const std::uint64_t size = (std::uint64_t{1} << 32) + 10;
    {
        // Grown by writing at its end, not by resize_file: the MinGW runtime's
        // ftruncate64 first asks whether the volume has the room, and under
        // Wine the answer depends on which host mount it takes the drive for.
        std::ofstream(path, std::ios::binary).put('\0');
        std::fstream edit(path, std::ios::binary | std::ios::in | std::ios::out);
        edit.seekp(std::streamoff{0x7FFFFFFF});
        edit.put('\x4D').put('\x5A');
        edit.seekp(static_cast<std::streamoff>(size - 2));
        edit.put('\x55').put('\xAA');
    }
    ASSERT_EQ(std::filesystem::file_size(path), size);
    const struct {
        const char* magic;
        DetectionState expected;
    } cases[] = {
        {"2147483647: 4D 5A", DetectionState::Detected},    // the largest offset, read past 2 GiB
        {"2147483648: 4D", DetectionState::Undetermined},   // beyond 32 bits: never matches
        {"-2: 55 AA", DetectionState::Detected},            // the end of a file past 4 GiB
        {"-2147483648: 00", DetectionState::Detected},      // the furthest end anchor
        {"-2147483649: 00", DetectionState::Undetermined},
        {"7FFFFFFF", DetectionState::Undetermined},         // low byte FF; the file starts with 00
        {"-80000000", DetectionState::Detected},            // low byte 00
        {"80000000", DetectionState::Undetermined},         // beyond 32 bits
        {"FFFFFFFFFFFFFFFFFF", DetectionState::Undetermined},
    };
    for (const auto& c : cases) {
        auto sig = dir.Signatures(std::string("<type><magic>") + c.magic + "</magic><title>Hit</title></type>");
        EXPECT_EQ(DetectFileType(sig, path).state, c.expected) << c.magic;
    }
}

TEST(HostileInput, AFileChangedOrDeletedDuringRunsGivesOnlyTrueAnswers)
{
    // Another thread cuts the file short, grows it back and deletes it while
    // runs go on: every answer is the true one for some state of the file,
    // or unreadable; none is made up. (On Windows the run's sharing mode
    // keeps the writer out while a run holds the file.)
    TempDir dir;
    std::string content(300 * 1024, 'a');
    content.replace(content.size() - 3, 3, "END");
    auto path = dir.Write("moving", content);
    auto sig = dir.Signatures("<type><magic>?: 45 4E 44</magic><title>End</title></type>");
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; !done; ++i) {
            std::error_code ignored;
            if (i % 3 == 0)
                std::filesystem::resize_file(path, 1000, ignored);
            else if (i % 3 == 1)
                std::filesystem::remove(path, ignored);
            else
                dir.Write("moving", content);
        }
    });
    for (int run = 0; run < 200; ++run) {
        const DetectionOutcome outcome = DetectFileType(sig, path);
        if (outcome.state == DetectionState::Detected) {
            EXPECT_EQ(outcome.title, "End");
        }
    }
    done = true;
    changer.join();
}

namespace {

// A file of any size that is zeros but for the islands written into it,
// read through a ByteFetch that counts what it hands out.
struct VirtualFile {
    std::uint64_t size;
    std::vector<std::pair<std::uint64_t, std::string>> islands;
    std::vector<std::uint8_t> buffer;
    std::uint64_t bytesRead = 0;

    std::uint64_t Size() const { return size; }
    const std::uint8_t* Bytes(std::uint64_t position, std::size_t count)
    {
        bytesRead += count;
        buffer.assign(count, 0);
        for (const auto& [at, bytes] : islands) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (at + i >= position && at + i < position + count)
                    buffer[at + i - position] = static_cast<std::uint8_t>(bytes[i]);
            }
        }
        return buffer.data();
    }
};

MagicResult TestIn(std::string_view magic, const std::string& file)
{
    const std::vector<std::uint8_t> bytes(file.begin(), file.end());
    MemorySource source(bytes);
    return TestMagic(ParseMagicRule(magic), source);
}

} // namespace

TEST(HostileInput, ZipDirectoriesThatLie)
{
    const std::string good = MakeZip({{"mimetype", "application/epub+zip", false, ""}});
    ASSERT_EQ(TestIn("zip mimetype", good), MagicResult::Match);
    const std::size_t end = good.size() - 22;
    auto spoiled = [&](std::size_t at, std::uint32_t value, int width) {
        std::string file = good;
        std::string bytes;
        width == 2 ? Put16(bytes, value) : Put32(bytes, value);
        file.replace(at, bytes.size(), bytes);
        return file;
    };
    const struct {
        const char* what;
        std::string file;
    } cases[] = {
        {"more entries than it holds", spoiled(end + 10, 2, 2)},
        {"a directory larger than the bound", spoiled(end + 12, (4u << 20) + 1, 4)},
        {"a directory past the end record", spoiled(end + 12, 0x7FFFFFFF, 4)},
        {"a directory offset past the end", spoiled(end + 16, 0xFFFFFFF0, 4)},
        {"a comment running past the end", spoiled(end + 20, 1000, 2)},
        {"an entry longer than the directory", spoiled(good.size() - 22 - 46 - 8 + 28, 0xFFFF, 2)},
        {"a local header offset past the end", spoiled(good.size() - 22 - 8 - 4, 0xFFFFFF00, 4)},
        {"a ZIP64 locator pointing nowhere", good.substr(0, end) + "PK\x06\x07" + std::string(4, '\0') +
                                                 std::string(8, '\xFF') + std::string(4, '\0') + good.substr(end)},
        {"an end record alone", good.substr(end)},
        {"truncated", good.substr(0, good.size() - 1)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TestIn("zip mimetype 0: 61", c.file), MagicResult::NoMatch) << c.what;

    // ZIP64 counts beyond the entry bound.
    std::string many = MakeZip({{"a", "b", false, ""}}, {"", "", true, true});
    const std::size_t record = many.size() - 22 - 20 - 56;
    Set32(many, record + 24, 70000), Set32(many, record + 32, 70000);
    EXPECT_EQ(TestIn("zip a", many), MagicResult::NoMatch);
}

TEST(HostileInput, AZipBombInflatesNoFurtherThanTheBound)
{
    // A gigabyte of zeros in a megabyte: one flushed block of a megabyte of
    // zeros, repeated, then an empty final block.
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string zeros(1 << 20, '\0'), block(1 << 20, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(zeros.data());
    stream.avail_in = static_cast<uInt>(zeros.size());
    stream.next_out = reinterpret_cast<Bytef*>(block.data());
    stream.avail_out = static_cast<uInt>(block.size());
    deflate(&stream, Z_FULL_FLUSH);
    block.resize(stream.total_out);
    std::string last(64, '\0');
    stream.next_out = reinterpret_cast<Bytef*>(last.data());
    stream.avail_out = static_cast<uInt>(last.size());
    deflate(&stream, Z_FINISH);
    last.resize(last.size() - stream.avail_out);
    deflateEnd(&stream);
    std::string deflated;
    for (int i = 0; i < 1024; ++i)
        deflated += block;
    deflated += last;
    std::string gzip = std::string("\x1F\x8B\x08\0\0\0\0\0\0\x03", 10) + deflated;
    MagicResult result;
    const std::size_t peak = PeakDuring([&] { result = TestIn("gzip ?: 01", gzip); });
    EXPECT_EQ(result, MagicResult::NoMatch);
    EXPECT_EQ(TestIn("gzip 65535: 00", gzip), MagicResult::Match);
    EXPECT_EQ(TestIn("gzip 65536: 00", gzip), MagicResult::NoMatch);
    EXPECT_LT(peak, gzip.size() + (1u << 20));  // the file's copy, then little more
}

TEST(HostileInput, CompoundFilesWithBrokenChains)
{
    CompoundLayout layout{};
    const std::vector<std::u16string> names = {u"A", u"B", u"C", u"D", u"E"};  // two directory sectors
    const std::string good = MakeCompound({9, names, std::string(16, '\0'), ""}, &layout);
    ASSERT_EQ(layout.directorySectors, 2u);
    ASSERT_EQ(TestIn("ole E", good), MagicResult::Match);
    const std::size_t first = layout.FirstDirectory(), second = first - 1;
    auto spoiled = [&](std::size_t at, std::uint32_t value) {
        std::string file = good;
        Set32(file, at, value);
        return file;
    };
    const struct {
        const char* what;
        std::string file;
    } cases[] = {
        {"a chain back to its start", spoiled(layout.FatEntry(second), static_cast<std::uint32_t>(first))},
        {"a sector chained to itself", spoiled(layout.FatEntry(first), static_cast<std::uint32_t>(first))},
        {"a chain into a free sector", spoiled(layout.FatEntry(first), 0xFFFFFFFF)},
        {"a chain out of the file", spoiled(layout.FatEntry(first), 0x00FFFFFF)},
        {"a chain beyond the FAT's reach", spoiled(layout.FatEntry(first), 0xFFFFFFF0)},
        {"a directory that starts nowhere", spoiled(0x30, 0xFFFFFFFE)},
        {"a FAT sector outside the file", spoiled(0x4C, 0x7FFFFFFF)},
        {"no FAT sectors", spoiled(0x2C, 0)},
        {"a sector size of neither 512 nor 4096", spoiled(0x1E, 10)},
        {"truncated inside the directory", good.substr(0, good.size() - 700)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TestIn("ole E", c.file), MagicResult::NoMatch) << c.what;
        EXPECT_EQ(TestIn("oleclsid 00000000-0000-0000-0000-000000000000", c.file), MagicResult::NoMatch) << c.what;
    }
    // A DIFAT chain that loops and a FAT of four billion sectors: the reader
    // takes no more of either than the reach needs.
    std::string looping = spoiled(0x2C, 0xFFFFFFFF);
    Set32(looping, 0x44, 0);
    EXPECT_EQ(TestIn("ole E", looping), MagicResult::Match);

    // A chain of more directory sectors than the bound.
    std::vector<std::u16string> crowd(4096 * 4, u"n");
    crowd.back() = u"Last";
    const std::string longest = MakeCompound({9, crowd, std::string(16, '\0'), ""}, &layout);
    ASSERT_EQ(layout.directorySectors, 4097u);
    EXPECT_EQ(TestIn("ole Last", longest), MagicResult::NoMatch);
    crowd.pop_back();
    crowd.back() = u"Last";
    EXPECT_EQ(TestIn("ole Last", MakeCompound({9, crowd, std::string(16, '\0'), ""})), MagicResult::Match);
}

TEST(HostileInput, ANearSearchReadsItsWindowAndNoMore)
{
    // A gigabyte whose pointers lead anywhere: at 60 into the middle of it, at
    // 4 past its end; a PE header there whose section table claims 65535
    // sections, then one whose sections map addresses past the file.
    std::string header("PE\0\0\x64\x86\xFF\xFF", 8);
    header.resize(24 + 240, '\0');
    header.replace(20, 2, std::string("\xF0\x00", 2));
    header.replace(24, 2, std::string("\x0B\x02", 2));
    VirtualFile file{1u << 30, {{0, "MZ"}, {4, "\xFF\xFF\xFF\xFF"}, {60, std::string("\x00\x00\x00\x20", 4)},
                               {0x20000000, header}}, {}, 0};
    StructureCache cache;
    const ByteFetch fetch = FetchFrom(file);
    for (const char* magic : {"near 0 1048576: 01 02", "near -1048576 1048576: 01 02", "near ptr 60 u32le -16 1048576: 01",
                              "near ptr 4 u32le 0 16: 00", "near pe export 1048576: 00", "near pe resource 16: 00"}) {
        const std::uint64_t before = file.bytesRead;
        EXPECT_EQ(TestStructure(ParseMagicRule(magic), fetch, cache), MagicResult::NoMatch) << magic;
        EXPECT_LE(file.bytesRead - before, (1u << 20) + 4096) << magic;
    }
    // One section, mapping the export directory's address to a raw offset past the end.
    std::string lying = header;
    lying.replace(6, 2, std::string("\x01\x00", 2));
    Set32(lying, 24 + 108, 16);
    Set32(lying, 24 + 112, 0x1000);
    std::string section(40, '\0');
    Set32(section, 12, 0x1000);
    Set32(section, 16, 0x1000);
    Set32(section, 20, 0xFFFFF000);
    VirtualFile past{1u << 30, {{0, "MZ"}, {60, std::string("\x00\x00\x00\x20", 4)}, {0x20000000, lying + section}},
                     {}, 0};
    StructureCache pastCache;
    EXPECT_EQ(TestStructure(ParseMagicRule("near pe export 16: 00"), FetchFrom(past), pastCache), MagicResult::NoMatch);
    EXPECT_LT(past.bytesRead, 8192u);
}

TEST(HostileInput, ALargeFileIsDecidedFromAFewOfItsBytes)
{
    // A gigabyte that holds nothing but a compound file's signature and a
    // pointer past its end: every new form gives up after little reading.
    VirtualFile file{1u << 30, {{0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"}, {60, "\xF0\xFF\xFF\x3F"}}, {}, 0};
    StructureCache cache;
    const ByteFetch fetch = FetchFrom(file);
    std::size_t peak = PeakDuring([&] {
        for (const char* magic : {"zip mimetype", "zip *.npy 0: 93", "ole WordDocument", "oleclsid 00020906-0000-0000-C000-000000000046",
                                  "gzip ?: 3C", "zlib 0 0: 78", "ptr 60 u32le 0: 50 45", "zlib 4096 ?: 00"}) {
            for (int type = 0; type < 20; ++type)
                EXPECT_EQ(TestStructure(ParseMagicRule(magic), fetch, cache), MagicResult::NoMatch) << magic;
        }
    });
    // About the last 64 KiB, where a ZIP end record would be, and a few sectors.
    EXPECT_LT(file.bytesRead, 128u << 10);
    EXPECT_LT(peak, 1u << 20);

    // Twenty types asking one archive about members read its directory once.
    const std::string archive = MakeZip({{"a", "x", false, ""}, {"b", "y", true, ""}});
    VirtualFile zip{archive.size(), {{0, archive}}, {}, 0};
    StructureCache zipCache;
    const ByteFetch zipFetch = FetchFrom(zip);
    std::uint64_t afterFirst = 0;
    for (int type = 0; type < 20; ++type) {
        const std::string magic = "zip " + std::string(1, static_cast<char>('c' + type));
        EXPECT_EQ(TestStructure(ParseMagicRule(magic), zipFetch, zipCache), MagicResult::NoMatch);
        afterFirst = type == 0 ? zip.bytesRead : afterFirst;
    }
    EXPECT_EQ(zip.bytesRead, afterFirst);

    // The largest directories the bounds allow, in one file that is both a
    // compound file and, behind it, a ZIP archive.
    std::vector<std::u16string> names(4096 * 32 - 1, u"stream");
    names.back() = u"Last";
    std::vector<ZipMemberInput> members(65536, {"", "", false, ""});
    for (std::size_t i = 0; i < members.size(); ++i)
        members[i].name = "m" + std::to_string(i);
    std::string both = MakeCompound({12, names, std::string(16, '\0'), ""});
    both = MakeZip(members, {both, "", true, false});
    names = {};
    members = {};
    const std::vector<std::uint8_t> bytes(both.begin(), both.end());
    both = {};
    MemorySource source(bytes);
    peak = PeakDuring([&] {
        EXPECT_EQ(TestMagic(ParseMagicRule("ole Last"), source), MagicResult::Match);
        EXPECT_EQ(TestMagic(ParseMagicRule("zip m65535"), source), MagicResult::Match);
        EXPECT_EQ(TestMagic(ParseMagicRule("zip m*x"), source), MagicResult::NoMatch);
    });
    EXPECT_LT(peak, 16u << 20);
}
