// Extension rules of both programs' renames.
#include "file_names.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

NativeString N(const char* ascii)
{
    return fs::path(ascii).native();
}

std::string Target(const char* path, const char* extension)
{
    return RenameTarget(fs::path(path), N(extension)).generic_string();
}

} // namespace

TEST(Names, ExtensionIsFromTheLastPeriodUnlessASpaceFollowsOrItLeadsTheName)
{
    EXPECT_EQ(CurrentExtension("dir/archive.tar.gz"), N(".gz"));
    EXPECT_EQ(CurrentExtension("dir/README"), N(""));
    EXPECT_EQ(CurrentExtension("minutes.june final"), N(""));
    EXPECT_EQ(CurrentExtension("dir.d/file"), N(""));
    EXPECT_EQ(CurrentExtension(".bashrc"), N(""));
    EXPECT_EQ(CurrentExtension("d/.config.old"), N(".old"));
    EXPECT_EQ(CurrentExtension("..hidden"), N(".hidden"));
    EXPECT_EQ(CurrentExtension("trailing."), N("."));
}

TEST(Names, ExtensionsCompareWithoutRegardToAsciiCase)
{
    EXPECT_TRUE(SameExtension(N(".JPG"), N(".jpg")));
    EXPECT_FALSE(SameExtension(N(".jpg"), N(".jpeg")));
    EXPECT_TRUE(HasExtensionAmong("photo.JPEG", {N(".jpg"), N(".jpeg")}));
    EXPECT_FALSE(HasExtensionAmong("photo", {N(".jpg")}));
    EXPECT_FALSE(HasExtensionAmong("photo.", {N("")}));
}

TEST(Names, RenameReplacesOnlyTheLastExtension)
{
    EXPECT_EQ(Target("d/archive.tar.gz", ".bin"), "d/archive.tar.bin");
    EXPECT_EQ(Target("d/README", ".txt"), "d/README.txt");
    EXPECT_EQ(Target("d/minutes.june final", ".pdf"), "d/minutes.june final.pdf");
    EXPECT_EQ(Target("d.x/photo", ".png"), "d.x/photo.png");
    EXPECT_EQ(Target("d/.hidden", ".jpg"), "d/.hidden.jpg");
}

TEST(Names, RenameNeverDoublesAnExtension)
{
    EXPECT_EQ(Target("d/photo.png.jpg", ".png"), "d/photo.png");
    EXPECT_EQ(Target("d/photo.PNG.txt", ".png"), "d/photo.PNG");
    EXPECT_EQ(Target("d/report.pdf", ".pdf"), "d/report.pdf");
}

TEST(Names, OnlySafeExtensionsAreUsable)
{
    EXPECT_TRUE(IsUsableExtension(N(".png")));
    EXPECT_TRUE(IsUsableExtension(N(".tar.gz")));
    for (const char* bad : {"", ".", "..", "png", "./x", ".a/b", ".a\\b", ".c:", ".a\nb", "/../../x"})
        EXPECT_FALSE(IsUsableExtension(N(bad))) << bad;
}
