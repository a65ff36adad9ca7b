// The version resource of Norvane.ocx as Windows reads it from the file, without loading the
// library: so the x64 build checks the x86 file too where x86 programs cannot run. Reads the
// Norvane.ocx beside it, or the file NORVANE_OCX_FILE names.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../support/ChildProcess.h"

namespace {

std::wstring OcxFile()
{
    wchar_t named[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"NORVANE_OCX_FILE", named, MAX_PATH) - 1u < MAX_PATH - 1u)
        return named;
    return ProgramFolder() + L"Norvane.ocx";
}

std::wstring Widen(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

class VersionResource : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const std::wstring file = OcxFile();
        std::printf("version resource of %ls\n", file.c_str());
        DWORD ignored = 0;
        block.resize(GetFileVersionInfoSizeW(file.c_str(), &ignored));
        ASSERT_FALSE(block.empty()) << GetLastError();
        ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    }

    static std::wstring Text(const wchar_t* name)
    {
        wchar_t* value = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\000004B0\\") + name;
        if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
            return L"(none)";
        return std::wstring(value, length && !value[length - 1] ? length - 1 : length);
    }

    static std::vector<BYTE> block;
};
std::vector<BYTE> VersionResource::block;

TEST_F(VersionResource, TheProjectVersionInEveryPlace)
{
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = MAKELONG(NORVANE_VERSION_MINOR, NORVANE_VERSION_MAJOR), low = MAKELONG(0, NORVANE_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(Text(L"FileVersion"), Widen(NORVANE_VERSION));
    EXPECT_EQ(Text(L"ProductVersion"), Widen(NORVANE_VERSION));
}

TEST_F(VersionResource, NamesAndLanguage)
{
    EXPECT_EQ(Text(L"OriginalFilename"), L"Norvane.ocx");
    EXPECT_EQ(Text(L"InternalName"), L"Norvane");
    EXPECT_EQ(Text(L"ProductName"), L"Norvane");
    EXPECT_EQ(Text(L"CompanyName"), L"Norvane");
    EXPECT_EQ(Text(L"FileDescription"), L"Tavrix ActiveX Control");
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0000);  // language neutral
    EXPECT_EQ(translation[1], 1200);    // Unicode
}

}  // namespace
