// The POSIX file layer: only regular files are examined, and nothing blocks.
#include "detection.h"
#include "files/platform_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(PlatformFile, FifoIsUnreadableWithoutBlocking)
{
    TempDir dir;
    auto fifo = dir.path / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto sig = dir.Signatures("<type><magic>?:</magic><title>Any</title></type>");
    EXPECT_EQ(DetectFileType(sig, fifo).state, DetectionState::Unreadable);
}

TEST(PlatformFile, DevicesAreUnreadable)
{
    TempDir dir;
    auto sig = dir.Signatures("<type><magic>?:</magic><title>Any</title></type>");
    EXPECT_EQ(DetectFileType(sig, "/dev/zero").state, DetectionState::Unreadable);
}

TEST(PlatformFile, NamesAreBytes)
{
    TempDir dir;
    // Not valid UTF-8: the name must still reach open() unchanged.
    auto file = dir.Write("\xff\xfe-latin1-\xe9.bin", Bytes({0x4D, 0x5A}));
    auto sig = dir.Signatures("<type><magic>4D 5A</magic><title>MZ</title></type>", "\xe9t\xe9.xml");
    EXPECT_EQ(DetectFileType(sig, file).title, "MZ");
}

TEST(PlatformFile, ReadsExactlyOrFails)
{
    TempDir dir;
    auto file = OpenFileForDetection(dir.Write("four", Bytes({1, 2, 3, 4})));
    ASSERT_TRUE(file);
    EXPECT_EQ(PlatformFileSize(*file), 4u);
    std::vector<std::uint8_t> two(2);
    EXPECT_TRUE(PlatformFileRead(*file, 2, two));
    EXPECT_EQ(two, Bytes({3, 4}));
    EXPECT_FALSE(PlatformFileRead(*file, 3, two));
    EXPECT_FALSE(PlatformFileRead(*file, 5, two));
}

TEST(PlatformFile, AReadThatFailsAfterTheOpenIsUnreadable)
{
    // sysfs reports 4096 bytes for these and then gives far fewer: the same
    // as a file cut short by another process between the open and the read.
    TempDir dir;
    auto sig = dir.Signatures("<type><magic>0: 66</magic><title>F</title></type>"
                              "<type><magic>?:</magic><title>Any</title></type>");
    for (const char* path : {"/sys/power/state", "/sys/kernel/mm/transparent_hugepage/enabled"}) {
        auto file = OpenFileForDetection(path);
        if (!file || PlatformFileSize(*file) != 4096)
            continue;
        EXPECT_EQ(DetectFileType(sig, path).state, DetectionState::Unreadable) << path;
        return;
    }
    GTEST_SKIP() << "no sysfs file that reports more than it holds";
}
