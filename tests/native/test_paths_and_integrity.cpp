#include <gtest/gtest.h>

#include <string>

#include "common/Text.h"
#include "update/manifest/Integrity.h"
#include "update/download/InstallerName.h"

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

TEST(BoundedText, RefusesInsteadOfCutting) {
    char buf[5];
    EXPECT_TRUE(CopyText(buf, sizeof(buf), "abcd"));
    EXPECT_STREQ(buf, "abcd");
    EXPECT_FALSE(CopyText(buf, sizeof(buf), "abcde"));
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(FormatText(buf, sizeof(buf), "%s%d", "ab", 12));
    EXPECT_FALSE(FormatText(buf, sizeof(buf), "%s%d", "ab", 123));
    EXPECT_STREQ(buf, "");
}

TEST(Integrity, AbsentValuesCheckNothing) {
    IntegrityExpectation e;
    ASSERT_TRUE(ParseIntegrity("", "", e));
    EXPECT_FALSE(e.bHasSize || e.bHasSha256);
    EXPECT_TRUE(MatchesIntegrity(e, 12345, nullptr));
}

TEST(Integrity, SizeAndDigest) {
    const char* hex = "000102030405060708090a0b0c0d0e0f101112131415161718191A1B1C1D1E1F";
    IntegrityExpectation e;
    ASSERT_TRUE(ParseIntegrity(" 1048576 ", hex, e));
    ASSERT_TRUE(e.bHasSize && e.bHasSha256);
    EXPECT_EQ(e.nSize, 1048576u);
    uint8_t digest[32];
    for (int i = 0; i < 32; ++i) digest[i] = (uint8_t)i;
    EXPECT_TRUE(MatchesIntegrity(e, 1048576, digest));
    EXPECT_FALSE(MatchesIntegrity(e, 1048575, digest));  // one byte short
    EXPECT_FALSE(MatchesIntegrity(e, 1048577, digest));
    digest[31] ^= 1;
    EXPECT_FALSE(MatchesIntegrity(e, 1048576, digest));
    EXPECT_FALSE(MatchesIntegrity(e, 1048576, nullptr));  // no digest computed
    // Each part on its own, as the log tells them.
    const IntegrityCheck c = CheckIntegrity(e, 1048576, digest);
    EXPECT_TRUE(c.size == IntegrityPart::Ok && c.sha256 == IntegrityPart::Mismatch);
    e.bHasSize = false;
    EXPECT_TRUE(CheckIntegrity(e, 1, digest).size == IntegrityPart::Unchecked);
}

TEST(Integrity, MalformedValuesAreRejected) {
    IntegrityExpectation e;
    EXPECT_FALSE(ParseIntegrity("12k", "", e));
    EXPECT_FALSE(ParseIntegrity("-1", "", e));
    EXPECT_FALSE(ParseIntegrity("99999999999999999999", "", e));
    EXPECT_FALSE(ParseIntegrity("", "abc", e));
    EXPECT_FALSE(ParseIntegrity("", std::string(64, 'g').c_str(), e));
    EXPECT_FALSE(ParseIntegrity("", std::string(65, 'a').c_str(), e));
    EXPECT_TRUE(ParseIntegrity("0", std::string(64, 'a').c_str(), e));
}
