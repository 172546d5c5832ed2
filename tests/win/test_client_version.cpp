// The client version as the executable's version resource shows it.
#include "update/check/Version.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "common/TextConv.h"

TEST(ClientVersion, VersionResourceShowsIt) {
    // Read as Explorer's properties and installers read it; this program
    // carries the executable's resources.
    wchar_t szPath[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, szPath, MAX_PATH), 0u);
    DWORD nSize = ::GetFileVersionInfoSizeW(szPath, nullptr);
    ASSERT_GT(nSize, 0u);
    std::vector<BYTE> info(nSize);
    ASSERT_TRUE(::GetFileVersionInfoW(szPath, 0, nSize, info.data()));
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT nLen = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", (void**)&pFixed, &nLen));
    for (DWORD ms : {pFixed->dwFileVersionMS, pFixed->dwProductVersionMS}) {
        const DWORD ls = ms == pFixed->dwFileVersionMS ? pFixed->dwFileVersionLS : pFixed->dwProductVersionLS;
        EXPECT_EQ(std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) +
                      "." + std::to_string(LOWORD(ls)),
                  kClientVersion);
    }
    WORD* pLang = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", (void**)&pLang, &nLen));
    wchar_t szBlock[64];
    std::swprintf(szBlock, 64, L"\\StringFileInfo\\%04x%04x\\", pLang[0], pLang[1]);
    auto text = [&](const wchar_t* pszName) {
        wchar_t* pText = nullptr;
        UINT n = 0;
        std::wstring key = std::wstring(szBlock) + pszName;
        return ::VerQueryValueW(info.data(), key.c_str(), (void**)&pText, &n) && pText ? std::wstring(pText)
                                                                                       : std::wstring();
    };
    EXPECT_EQ(text(L"FileVersion"), NarrowToWide(kClientVersion));
    EXPECT_EQ(text(L"ProductVersion"), NarrowToWide(kClientVersion));
    EXPECT_EQ(text(L"OriginalFilename"), L"LumoraZUDeZazeda.exe");
    EXPECT_FALSE(text(L"FileDescription").empty());
    EXPECT_FALSE(text(L"ProductName").empty());
}
