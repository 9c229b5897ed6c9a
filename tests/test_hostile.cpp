// Hostile input: each case has a defined outcome, in bounded time and memory,
// and nothing is lost. The large inputs are made here, at test time.
#include "detection.h"
#include "magic.h"
#include "platform_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

// Counts the bytes allocated through operator new, so that a test can see the
// peak a piece of work needed.
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
