// The version resources of the shipped executables, read back as Explorer's
// Properties page reads them, against the version the build was given.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> gExecutables;

std::wstring FileName(const std::wstring& path)
{
    return path.substr(path.find_last_of(L"\\/") + 1);
}

std::wstring StringValue(const std::vector<BYTE>& block, const std::wstring& translation, const wchar_t* name)
{
    void* value = nullptr;
    UINT length = 0;
    std::wstring query = L"\\StringFileInfo\\" + translation + L"\\" + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || length == 0)
        return L"(missing)";
    return static_cast<const wchar_t*>(value);
}

TEST(VersionResource, EveryExecutableCarriesTheProjectVersion)
{
    ASSERT_FALSE(gExecutables.empty()) << "usage: kindsniffer_version_tests EXE...";
    const std::wstring version = L"" KINDSNIFFER_VERSION;
    for (const std::wstring& exe : gExecutables) {
        SCOPED_TRACE(std::string(exe.begin(), exe.end()));
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version resource, error " << GetLastError();
        std::vector<BYTE> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        const DWORD high = MAKELONG(KINDSNIFFER_VERSION_MINOR, KINDSNIFFER_VERSION_MAJOR);
        const DWORD low = MAKELONG(0, KINDSNIFFER_VERSION_PATCH);
        EXPECT_EQ(fixed->dwFileVersionMS, high);
        EXPECT_EQ(fixed->dwFileVersionLS, low);
        EXPECT_EQ(fixed->dwProductVersionMS, high);
        EXPECT_EQ(fixed->dwProductVersionLS, low);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        // English (US) and Japanese, both UTF-16, and the strings found
        // through each of the two translations alike.
        WORD* translation = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                   &length));
        ASSERT_EQ(length, 8u);
        EXPECT_EQ(std::vector<WORD>(translation, translation + 4), std::vector<WORD>({0x409, 1200, 0x411, 1200}));

        const struct {
            const wchar_t* name;
            std::wstring expected;
        } strings[] = {
            {L"FileVersion", version},
            {L"ProductVersion", version},
            {L"ProductName", L"Kindsniffer"},
            {L"OriginalFilename", FileName(exe)},
        };
        for (int i = 0; i < 4; i += 2) {
            wchar_t key[9] = {};
            wsprintfW(key, L"%04x%04x", translation[i], translation[i + 1]);
            SCOPED_TRACE(std::string(key, key + 8));
            for (const auto& string : strings)
                EXPECT_EQ(StringValue(block, key, string.name), string.expected) << string.name;
            EXPECT_NE(StringValue(block, key, L"FileDescription"), L"(missing)");
            EXPECT_EQ(StringValue(block, key, L"LegalCopyright").rfind(L"Copyright ", 0), 0u);
        }
    }
}

} // namespace

// The executables to check are named on the command line, after GoogleTest's
// own options.
int wmain(int argc, wchar_t** argv)
{
    testing::InitGoogleTest(&argc, argv);
    gExecutables.assign(argv + 1, argv + argc);
    return RUN_ALL_TESTS();
}
