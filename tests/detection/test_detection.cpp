// A whole detection run against real files.
#include "detection.h"
#include "structure_builders.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <utility>
#include <random>

TEST(DetectionRun, TheFirstMatchingTypeInDocumentOrderWins)
{
    TempDir dir;
    auto file = dir.Write("a.bin", Bytes({0x4D, 0x5A, 0x90, 0x00}));
    auto sig = dir.Signatures("<type><magic>4D 5A</magic><title>General</title><ext>.g</ext></type>"
                              "<type><magic>4D 5A 90</magic><title>Specific</title><ext>.s</ext></type>");
    EXPECT_EQ(DetectFileType(sig, file).title, "General");
}

TEST(DetectionRun, EveryPatternOfATypeMustHold)
{
    TempDir dir;
    auto file = dir.Write("a.bin", Bytes({0x4D, 0x5A, 0x90, 0x00}));
    auto sig = dir.Signatures("<type><magic>4D</magic><magic>1: 00</magic><title>Half</title></type>"
                              "<type><magic>4D</magic><magic>1: 5A</magic><title>Both</title></type>");
    EXPECT_EQ(DetectFileType(sig, file).title, "Both");
}

TEST(DetectionRun, ASearchHitDecidesAtOnceWhereverItStands)
{
    TempDir dir;
    auto file = dir.Write("a.bin", Bytes({0x00, 0x50, 0x4B, 0x00}));
    EXPECT_EQ(DetectFileType(dir.Signatures("<type><magic>?: 50 4B</magic><magic>FF</magic><title>Zip</title></type>"),
                             file)
                  .title,
              "Zip");
    // Placed last, it is one more pattern that must hold.
    EXPECT_EQ(DetectFileType(dir.Signatures("<type><magic>FF</magic><magic>?: 50 4B</magic><title>Zip</title></type>"),
                             file)
                  .state,
              DetectionState::Undetermined);
}

TEST(DetectionRun, SeveralSearchesShareOneViewOfTheFile)
{
    TempDir dir;
    std::string content(100000, 'a');
    content.replace(99990, 3, "END");
    auto file = dir.Write("big.txt", content);
    auto sig = dir.Signatures("<type><magic>?: 51 51</magic><title>Q</title></type>"
                              "<type><magic>?: 52 52</magic><title>R</title></type>"
                              "<type><magic>?: 45 4E 44</magic><title>End</title></type>");
    EXPECT_EQ(DetectFileType(sig, file).title, "End");
}

TEST(DetectionRun, EmptyFilesAndUnopenablePathsAreTold)
{
    TempDir dir;
    auto sig = dir.Signatures("<type><magic>?:</magic><title>Any</title></type>"
                              "<type><magic>0:</magic><title>Any</title></type>");
    EXPECT_EQ(DetectFileType(sig, dir.Write("empty", "")).state, DetectionState::Undetermined);
    EXPECT_EQ(DetectFileType(sig, dir.path / "absent").state, DetectionState::Unreadable);
    EXPECT_EQ(DetectFileType(sig, dir.path).state, DetectionState::Unreadable);
    // The file is judged before the signature file.
    EXPECT_EQ(DetectFileType(dir.path / "no.xml", dir.path / "absent").state, DetectionState::Unreadable);
}

TEST(DetectionRun, ExaminesFilesBeyondFourGibibytes)
{
    TempDir dir;
    const std::uint64_t size = (std::uint64_t{1} << 32) + 3;  // a 32-bit size would read 3
    auto path = dir.path / "huge.bin";
    {
        std::ofstream out(path, std::ios::binary);
        out.write("\x4D\x5A", 2);
        // Seeking past the end and writing the last bytes leaves a sparse file.
        out.seekp(static_cast<std::streamoff>(size - 2));
        out.write("\x55\xAA", 2);
    }
    ASSERT_EQ(std::filesystem::file_size(path), size);
    auto sig = dir.Signatures("<type><magic>4D 5A 00 00</magic><magic>-2: 55 AA</magic><title>Huge</title></type>");
    EXPECT_EQ(DetectFileType(sig, path).title, "Huge");
}

TEST(DetectionRun, SearchesFindPatternsAcrossTheWholeOfALargeFile)
{
    // Large enough to be read in several pieces; the patterns sit where piece
    // boundaries are likely (every power of two) and at the very end.
    TempDir dir;
    std::string content(1 << 20, '\0');
    content.replace((1 << 18) - 2, 4, "\x11\x22\x33\x44");
    content.replace((1 << 19) - 1, 2, "\x55\x66");
    content.replace(content.size() - 3, 3, "\x77\x88\x99");
    auto file = dir.Write("large.bin", content);
    auto find = [&](const char* magic) {
        return DetectFileType(dir.Signatures(std::string("<type><magic>") + magic + "</magic><title>T</title></type>"), file)
            .state;
    };
    EXPECT_EQ(find("?: 11 22 33 44"), DetectionState::Detected);
    EXPECT_EQ(find("?: 55 66"), DetectionState::Detected);
    EXPECT_EQ(find("?: 77 88 99"), DetectionState::Detected);
    EXPECT_EQ(find("?: 11 22 ?? 44 00 00"), DetectionState::Detected);
    EXPECT_EQ(find("?: 88 99 00"), DetectionState::Undetermined);
    EXPECT_EQ(find("?: 22 11"), DetectionState::Undetermined);
}

TEST(DetectionRun, LaterSearchesAreAnsweredFromTheSamePass)
{
    TempDir dir;
    std::string content(700000, 'x');
    content.replace(100, 3, "BBB");
    content.replace(600000, 3, "CCC");
    auto file = dir.Write("text.bin", content);
    auto sig = dir.Signatures("<type><magic>?: 41 41 41</magic><title>A</title></type>"
                              "<type><magic>79</magic><title>Not reached</title></type>"
                              "<type><magic>?: 43 43 43</magic><title>C</title></type>"
                              "<type><magic>?: 42 42 42</magic><title>B</title></type>");
    EXPECT_EQ(DetectFileType(sig, file).title, "C");
}

TEST(DetectionRun, TypesThatNeedNoParticularFirstByteKeepTheirPlace)
{
    TempDir dir;
    auto file = dir.Write("f.bin", Bytes({0x00, 0x5A, 0x00}));
    auto detect = [&](std::string_view types) { return DetectFileType(dir.Signatures(types), file).title; };
    EXPECT_EQ(detect("<type><magic>4D</magic><title>A</title></type><type><magic>-1: 00</magic><title>B</title></type>"),
              "B");
    EXPECT_EQ(detect("<type><magic>4D</magic><title>A</title></type><type><magic>?? 5A</magic><title>C</title></type>"),
              "C");
    EXPECT_EQ(detect("<type><magic>?? 5A</magic><title>E</title></type><type><magic>00 5A</magic><title>D</title></type>"),
              "E");
    EXPECT_EQ(detect("<type><magic>01</magic><title>X</title></type><type><magic>00 5A</magic><title>D</title></type>"
                     "<type><magic>?? 5A</magic><title>E</title></type>"),
              "D");
    EXPECT_EQ(detect("<type><magic>1: 5A</magic><magic>4D</magic><title>X</title></type>"
                     "<type><magic>2:</magic><title>Size only</title></type>"),
              "Size only");
}

TEST(DetectionRun, ExplainsTheChosenTypeAndWhereItsPatternsHeld)
{
    // The signature file's types start on line 4, one a line. Patterns are
    // listed up to the one that decided; a search reports where it found its
    // pattern, even one straddling two pieces of the streamed pass, or found
    // by a pass that an earlier type's search started.
    struct Case {
        const char* what;
        std::string content;
        std::string types;
        std::size_t typesTried;
        int typeLine;  // 0: undetermined
        std::vector<std::pair<int, std::uint64_t>> held;  // (line, offset)
    };
    std::string straddling(600000, 'x');
    straddling.replace(256 * 1024 - 2, 4, "WXYZ");
    straddling.replace(500000, 3, "CCC");
    const Case cases[] = {
        {"fixed patterns from both ends", "MZ....\x55\xAA",
         "<type><magic>50 4B</magic><title>Zip</title></type>\n"
         "<type><magic>-2: 00</magic><title>Nul</title></type>\n"
         "<type><magic>4D 5A</magic><magic>-2: 55 AA</magic><title>Boot</title></type>",
         2, 6, {{6, 0}, {6, 6}}},
        {"search after a fixed pattern decides", straddling,
         "<type><magic>78 78</magic><magic>?: 57 58 59 5A</magic><magic>FF</magic><title>W</title></type>",
         1, 4, {{4, 0}, {4, 256 * 1024 - 2}}},
        {"search answered by an earlier pass", straddling,
         "<type><magic>?: 41 41 41</magic><title>A</title></type>\n"
         "<type><magic>?: 43 43 43</magic><title>C</title></type>",
         2, 5, {{5, 500000}}},
        {"undetermined counts only the types tried", "\x01\x02",
         "<type><magic>4D</magic><title>M</title></type>\n"
         "<type><magic>1: 03</magic><title>T</title></type>\n"
         "<type><magic>?: 09</magic><title>S</title></type>",
         2, 0, {}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const SignatureTable table = LoadSignatureTable(dir.Signatures(c.types));
        DetectionBasis basis;
        basis.typesTried = 99;  // a reused basis is refilled
        const DetectionOutcome outcome = DetectWithTable(table, dir.Write("f", c.content), &basis);
        EXPECT_EQ(outcome.state, c.typeLine ? DetectionState::Detected : DetectionState::Undetermined) << c.what;
        EXPECT_EQ(basis.typesTried, c.typesTried) << c.what;
        EXPECT_EQ(basis.type ? basis.type->line : 0, c.typeLine) << c.what;
        std::vector<std::pair<int, std::uint64_t>> held;
        for (const PatternHeld& p : basis.patterns)
            held.emplace_back(p.rule->line, p.offset);
        EXPECT_EQ(held, c.held) << c.what;
    }

    TempDir dir;
    DetectionBasis basis;
    basis.typesTried = 5;
    const SignatureTable table = LoadSignatureTable(dir.Signatures("<type><magic>4D</magic></type>"));
    EXPECT_EQ(DetectWithTable(table, dir.path / "absent", &basis).state, DetectionState::Unreadable);
    EXPECT_EQ(basis.typesTried, 0u);
    EXPECT_EQ(basis.type, nullptr);
}

TEST(DetectionRun, TwoReadersAnswerAsOneWhereverThePatternStands)
{
    // Random bytes across several 256 KiB pieces; the halves meet at 600,000.
    TempDir dir;
    std::mt19937 random(7);
    std::string content(1200000, '\0');
    for (auto& c : content)
        c = static_cast<char>(random());
    const std::string types = "<type><magic>?: A1 B2 C3 D4 E5</magic><title>First</title></type>"
                              "<type><magic>?: F0 ?? 0F 1E ?? 2D</magic><title>Wild</title></type>"
                              "<type><magic>?: 5E</magic><title>One byte</title></type>"
                              "<type><magic>?: 11 22 33 44 55 66 77</magic><title>Last</title></type>";
    auto sig = dir.Signatures(types);
    auto noOneByte = dir.Signatures(types.substr(0, types.find("<type><magic>?: 5E")) + types.substr(types.find("<type><magic>?: 11")),
                                    "no-one-byte.xml");
    struct Case {
        const char* name;
        std::size_t at;
        std::string bytes;
    };
    const std::size_t half = content.size() / 2;
    const Case cases[] = {
        {"at the start", 0, "\xA1\xB2\xC3\xD4\xE5"},
        {"across a piece boundary", 256 * 1024 - 3, "\x11\x22\x33\x44\x55\x66\x77"},
        {"across the halves", half - 2, "\xA1\xB2\xC3\xD4\xE5"},
        {"just after the middle", half, "\xF0\x99\x0F\x1E\x77\x2D"},
        {"ending on the last byte", content.size() - 7, "\x11\x22\x33\x44\x55\x66\x77"},
        {"in both halves", 1000, "\x11\x22\x33\x44\x55\x66\x77"},
    };
    for (const Case& c : cases) {
        std::string planted = content;
        planted.replace(c.at, c.bytes.size(), c.bytes);
        if (std::string_view(c.name) == "in both halves")
            planted.replace(half + 5000, c.bytes.size(), c.bytes);
        auto file = dir.Write("f.bin", planted);
        for (const auto& signatures : {sig, noOneByte}) {
            for (ScanLevel level : {ScanLevel::Plain, ScanLevel::Ssse3, ScanLevel::Avx2}) {
                const SignatureTable table = LoadSignatureTable(signatures);
                DetectionBasis oneBasis, twoBasis;
                const DetectionOutcome one = DetectWithTable(table, file, &oneBasis, RunSettings{level, 1, 0});
                const DetectionOutcome two = DetectWithTable(table, file, &twoBasis, RunSettings{level, 2, 0});
                SCOPED_TRACE(testing::Message() << c.name << ", level " << static_cast<int>(level));
                EXPECT_EQ(one.state, two.state);
                EXPECT_EQ(one.title, two.title);
                ASSERT_FALSE(oneBasis.patterns.empty());
                ASSERT_FALSE(twoBasis.patterns.empty());
                EXPECT_EQ(oneBasis.patterns.back().offset, twoBasis.patterns.back().offset);
                if (one.title != "One byte") {
                    EXPECT_EQ(oneBasis.patterns.back().offset, c.at);
                }
            }
        }
    }
}

TEST(DetectionRun, EachSearchFindsItsStateAtOnceAmongTwoHundredThousand)
{
    // Every search misses but the last, so the run asks each of them in turn.
    TempDir dir;
    constexpr std::uint32_t kTypes = 200000;
    std::string types;
    char text[96];
    for (std::uint32_t i = 0; i < kTypes; ++i) {
        std::snprintf(text, sizeof text, "<type><magic>?: %02X %02X %02X 01</magic><title>T%u</title></type>\n",
                      i & 0xFF, (i >> 8) & 0xFF, (i >> 16) & 0xFF, i);
        types += text;
    }
    const SignatureTable table = LoadSignatureTable(dir.Signatures(types));
    ASSERT_EQ(table.types.size(), kTypes);
    std::string content(100, 'z');
    content.replace(40, 4, std::string("\x3F\x0D\x03\x01", 4));  // 199999 = 0x030D3F
    auto file = dir.Write("small.bin", content);

    UniqueDetectionBuffers buffers = MakeDetectionBuffers();
    DetectionBasis basis;
    const DetectionOutcome outcome = DetectWithTable(table, file, *buffers, &basis);
    EXPECT_EQ(outcome.title, "T199999");
    ASSERT_EQ(basis.patterns.size(), 1u);
    EXPECT_EQ(basis.patterns[0].offset, 40u);
    // One slot prepared per search and one scan per group of them: linear.
    EXPECT_LE(SearchWork(*buffers), 2u * kTypes);
}

TEST(DetectionRun, NewFormsFileAfterFileWithOneSetOfBuffers)
{
    TempDir dir;
    const SignatureTable table = LoadSignatureTable(dir.Signatures(
        "<type><magic>zip mimetype 0: 61 70 70 6C 69 63 61 74 69 6F 6E 2F 65 70 75 62</magic><title>EPUB</title></type>"
        "<type><magic>ole WordDocument</magic><title>DOC</title></type>"
        "<type><magic>gzip ?: 3C 73 76 67</magic><title>SVGZ</title></type>"
        "<type><magic>4D 5A</magic><magic>ptr 60 u32le 0: 50 45 00 00</magic><title>PE</title></type>"
        "<type><magic>zip *</magic><title>ZIP</title></type>"));
    std::string exe(0x200, '\0');
    exe[0] = 'M', exe[1] = 'Z';
    Set32(exe, 60, 0x80);
    exe.replace(0x80, 4, std::string("PE\0\0", 4));
    // Large enough that the directory lies outside the first and last 4 KiB.
    const std::string padding(300 * 1024, 'p');
    const std::pair<std::string, std::string> files[] = {
        {"EPUB", MakeZip({{"mimetype", "application/epub+zip", false, ""}, {"big", padding, false, ""},
                          {"OEBPS/a.xhtml", "<html/>", true, ""}})},
        {"DOC", MakeCompound({9, {u"1Table", u"WordDocument"}, std::string(16, '\0'), ""})},
        {"SVGZ", MakeGzip("<?xml version=\"1.0\"?><svg/>")},
        {"PE", exe},
        {"ZIP", MakeZip({{"big", padding, false, ""}, {"mimetype", "text/plain", true, ""}})},
        {"", padding},
    };
    UniqueDetectionBuffers buffers = MakeDetectionBuffers();
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 6; ++i) {
            const auto& [title, content] = files[round == 0 ? i : 5 - i];
            const DetectionOutcome outcome = DetectWithTable(table, dir.Write("f" + std::to_string(i), content), *buffers);
            EXPECT_EQ(outcome.state, title.empty() ? DetectionState::Undetermined : DetectionState::Detected) << title;
            EXPECT_EQ(outcome.title, title);
        }
    }
}

TEST(RunSettings, TakeFromTheEnvironmentOnlyWhatItCanAskFor)
{
    const struct {
        const char* scanLevel;
        const char* workers;
        ScanLevel level;
        unsigned workerCount;
    } cases[] = {
        {nullptr, nullptr, ScanLevel::Avx2, 0},
        {"plain", "4", ScanLevel::Plain, 4},
        {"ssse3", "1000", ScanLevel::Ssse3, 64},
        {"avx2", "0", ScanLevel::Avx2, 0},  // 0 leaves the choice to the batch
        {"PLAIN", "-3", ScanLevel::Avx2, 0},
        {"", "2 threads", ScanLevel::Avx2, 2},
    };
    for (const auto& c : cases) {
        const RunSettings settings = RunSettingsFrom(c.scanLevel, c.workers);
        SCOPED_TRACE(testing::Message() << (c.scanLevel ? c.scanLevel : "unset") << ", " << (c.workers ? c.workers : "unset"));
        EXPECT_EQ(settings.scanLevel, c.level);
        EXPECT_EQ(settings.workers, c.workerCount);
        EXPECT_EQ(settings.readers, 0u);
    }
    // A level is only ever lowered to what the processor runs.
    EXPECT_EQ(RunnableScanLevel(ScanLevel::Plain), ScanLevel::Plain);
    EXPECT_LE(RunnableScanLevel(ScanLevel::Ssse3), ScanLevel::Ssse3);
    EXPECT_GE(RunnableScanLevel(ScanLevel::Avx2), RunnableScanLevel(ScanLevel::Ssse3));
}
