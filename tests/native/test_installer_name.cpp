#include "update/download/InstallerName.h"

#include <gtest/gtest.h>

#include <string>

TEST(UrlFileName, LastSegmentAfterEitherSeparator) {
    EXPECT_EQ(UrlFileName(L"http://h/dir/setup.exe"), L"setup.exe");
    EXPECT_EQ(UrlFileName(L"http://h/dir\\setup.exe"), L"setup.exe");
    EXPECT_EQ(UrlFileName(L"http://h/a\\b/setup.exe"), L"setup.exe");  // the rightmost wins
    EXPECT_EQ(UrlFileName(L"http://h/a/b\\setup.exe"), L"setup.exe");
    EXPECT_EQ(UrlFileName(L"setup.exe"), L"setup.exe");  // no separator: all of it
    EXPECT_EQ(UrlFileName(L""), L"");
}

TEST(UrlFileName, TrailingSeparatorGivesNoName) {
    EXPECT_EQ(UrlFileName(L"http://h/dir/"), L"");
    EXPECT_EQ(UrlFileName(L"http://h/dir\\"), L"");
}

TEST(UrlFileName, QueryAndFragmentAreNotPartOfTheName) {
    EXPECT_EQ(UrlFileName(L"http://h/setup.exe?v=2"), L"setup.exe");
    EXPECT_EQ(UrlFileName(L"http://h/setup.exe#part"), L"setup.exe");
    EXPECT_EQ(UrlFileName(L"http://h/setup.exe?a=1#f"), L"setup.exe");
    EXPECT_EQ(UrlFileName(L"http://h/get?file=/x/other.exe"), L"get");
    EXPECT_EQ(UrlFileName(L"http://h/dir/?v=2"), L"");
    EXPECT_EQ(UrlFileName(L"setup.exe?v=2"), L"setup.exe");
}

TEST(InstallerName, OnlyPlainExeAndMsiNames) {
    for (const wchar_t* name : {L"setup.exe", L"Setup-1.1.1.3_x86.EXE", L"a.msi", L"x.MsI", L"console.exe", L"COM0.exe",
                                L"COM10.exe", L"nul_.exe", L"LPT.exe"})
        EXPECT_TRUE(IsAcceptableInstallerName(name)) << name;
    const std::wstring n100 = std::wstring(96, L'n') + L".exe";
    EXPECT_TRUE(IsAcceptableInstallerName(n100));
    EXPECT_FALSE(IsAcceptableInstallerName(L"n" + n100));
    for (const wchar_t* name : {L"",
                                L".",
                                L"..",
                                L".exe",
                                L"setup.exe.",
                                L"setup.exe:stream",
                                L"setup.js",
                                L"setup.hta",
                                L"setup",
                                L"setup.exe ",
                                L"set up.exe",
                                L"setup%2eexe",
                                L"se\\tup.exe",
                                L"se/tup.exe",
                                L"\u5b89\u88c5.exe",
                                L"nul.exe",
                                L"NUL",
                                L"con.msi",
                                L"Prn.exe",
                                L"aux.setup.exe",
                                L"com1.exe",
                                L"LPT9.msi",
                                L"exe"})
        EXPECT_FALSE(IsAcceptableInstallerName(name)) << name;
    EXPECT_FALSE(IsAcceptableInstallerName(std::wstring(L"setup\0.exe", 10)));
}
