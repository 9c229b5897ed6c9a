// The Win32 file layer, run under Wine. Wine maps the sharing modes and the
// wide paths below onto the host as Windows does (measured on Wine 8).
#include "detection.h"
#include "files/platform_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

UniqueHandle OpenOther(const std::filesystem::path& path, DWORD access, DWORD share)
{
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

const char* kAnyType = "<type><magic>4D 5A</magic><title>MZ</title><ext>.exe</ext></type>";

} // namespace

TEST(PlatformFile, FileOpenForWritingElsewhereIsUnreadable)
{
    TempDir dir;
    auto file = dir.Write("busy.exe", Bytes({0x4D, 0x5A, 0x00}));
    auto sig = dir.Signatures(kAnyType);
    {
        auto writer = OpenOther(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(writer);
        EXPECT_EQ(DetectFileType(sig, file).state, DetectionState::Unreadable);
    }
    // Other readers are welcome.
    auto reader = OpenOther(file, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(reader);
    EXPECT_EQ(DetectFileType(sig, file).state, DetectionState::Detected);
}

TEST(PlatformFile, TheRunHoldsNoHandleAfterwards)
{
    TempDir dir;
    auto file = dir.Write("a.exe", Bytes({0x4D, 0x5A, 0x00}));
    auto sig = dir.Signatures(kAnyType);
    ASSERT_EQ(DetectFileType(sig, file).state, DetectionState::Detected);
    // Exclusive access succeeds only if the run closed its handle.
    EXPECT_TRUE(OpenOther(file, GENERIC_WRITE, 0));
    EXPECT_TRUE(OpenOther(sig, GENERIC_WRITE, 0));
}

TEST(PlatformFile, DirectoryIsUnreadable)
{
    TempDir dir;
    auto sig = dir.Signatures("<type><magic>?:</magic><title>Any</title></type><type><magic>0:</magic></type>");
    EXPECT_EQ(DetectFileType(sig, dir.path).state, DetectionState::Unreadable);
}

TEST(PlatformFile, NonAsciiNamesAreExamined)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path / L"\u7F72\u540D");
    auto file = dir.Write(L"\u65E5\u672C\u8A9E \u00E9\u00F1 \U0001F600.bin", Bytes({0x4D, 0x5A, 0x00}));
    // The signature file in a folder whose name no ANSI code page holds.
    auto sig = dir.Write(std::filesystem::path(L"\u7F72\u540D") / L"\u03A3.xml",
                         std::string("<dat><types>") + kAnyType + "</types></dat>");
    auto outcome = DetectFileType(sig, file);
    EXPECT_EQ(outcome.state, DetectionState::Detected);
    EXPECT_EQ(outcome.title, "MZ");
}

TEST(PlatformFile, ExecutablePathIsWholeAndEndsInExe)
{
    auto path = ExecutablePath();
    EXPECT_TRUE(path.is_absolute());
    EXPECT_EQ(path.extension(), L".exe");
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(PlatformFile, AReadThatFailsAfterTheOpenIsUnreadable)
{
    // Another handle holds a lock on the bytes: the open succeeds, the read
    // fails with ERROR_LOCK_VIOLATION. No type may win on bytes not seen.
    TempDir dir;
    auto file = dir.Write("locked.bin", std::string(100, 'f'));
    auto sig = dir.Signatures("<type><magic>0: 66</magic><title>F</title></type>"
                              "<type><magic>?:</magic><title>Any</title></type>");
    auto holder = OpenOther(file, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(holder);
    OVERLAPPED whole{};
    ASSERT_TRUE(LockFileEx(holder.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1000, 0, &whole));
    auto reader = OpenOther(file, GENERIC_READ, FILE_SHARE_READ);
    char byte = 0;
    DWORD got = 0;
    if (!ReadFile(reader.get(), &byte, 1, &got, nullptr)) {
        EXPECT_EQ(DetectFileType(sig, file).state, DetectionState::Unreadable);
    } else {
        // Wine 8 does not enforce byte-range locks on reads, as Windows does.
        // There, a host file that promises more than it holds stands in: the
        // kernel reports 4096 bytes for it and gives far fewer.
        std::error_code absent;
        ASSERT_EQ(std::filesystem::file_size(L"Z:\\sys\\power\\state", absent), 4096u);
        EXPECT_EQ(DetectFileType(sig, L"Z:\\sys\\power\\state").state, DetectionState::Unreadable);
    }
    UnlockFileEx(holder.get(), 0, 1000, 0, &whole);
    EXPECT_EQ(DetectFileType(sig, file).title, "F");
}
