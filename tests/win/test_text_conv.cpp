// Text conversion under code page 936.
#include "common/TextConv.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(TextConv, GbkRoundTripUnderCodePage936) {
    ASSERT_EQ(GetACP(), 936u) << "the tests need the zh_CN locale (code page 936)";
    const char gbk[] = "\xD5\xFD\xD4\xDA\xCF\xC2\xD4\xD8";
    std::wstring wide = NarrowToWide(gbk);
    EXPECT_EQ(wide, L"\u6B63\u5728\u4E0B\u8F7D");  // downloading
    EXPECT_EQ(WideToNarrow(wide.c_str()), gbk);
    EXPECT_EQ(NarrowToWide(""), L"");
    EXPECT_EQ(NarrowToWide(nullptr), L"");
}

TEST(TextConv, UnrepresentableCharacterBecomesTheDefault) {
    std::string narrow = WideToNarrow(L"a\u0E01b");  // a Thai letter has no GBK form
    EXPECT_EQ(narrow, "a?b");
}

// The built-in texts read as GBK on a system of any code page; every other
// conversion follows the thread's code page.
TEST(TextConv, GbkTextReadsTheSameUnderEveryCodePage) {
    const char gbk[] = "\xD5\xFD\xD4\xDA\xCF\xC2\xD4\xD8";
    const LCID original = GetThreadLocale();
    for (LCID lcid : {MAKELCID(0x0409, SORT_DEFAULT), MAKELCID(0x0404, SORT_DEFAULT), MAKELCID(0x0804, SORT_DEFAULT)}) {
        ASSERT_TRUE(SetThreadLocale(lcid));
        EXPECT_EQ(GbkToWide(gbk), L"\u6B63\u5728\u4E0B\u8F7D") << lcid;
        EXPECT_EQ(NarrowToWide(gbk) == L"\u6B63\u5728\u4E0B\u8F7D", lcid == MAKELCID(0x0804, SORT_DEFAULT)) << lcid;
    }
    SetThreadLocale(original);
}
