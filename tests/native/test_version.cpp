#include <gtest/gtest.h>

#include "update/check/Version.h"

TEST(CompareVersion, AgainstTheBuiltInVersion) {
    EXPECT_STREQ(kClientVersion, "1.1.1.2");
    EXPECT_EQ(CompareVersion("1.1.1.2"), 0);
    EXPECT_EQ(CompareVersion("1.1.1.3"), 1);
    EXPECT_EQ(CompareVersion("1.1.1.10"), 1);  // numeric, not text order
    EXPECT_EQ(CompareVersion("1.1.2"), 1);
    EXPECT_EQ(CompareVersion("2"), 1);
    EXPECT_EQ(CompareVersion("1.1.0.9"), -1);
    EXPECT_EQ(CompareVersion("0.1"), -1);
}

TEST(CompareVersion, RunsOutOnTheShorterSide) {
    EXPECT_EQ(CompareVersion("1.1.1"), 0);
    EXPECT_EQ(CompareVersion("1.1.1.2.1"), 0);
    EXPECT_EQ(CompareVersion("1.1.1.2."), 0);  // trailing dot
    EXPECT_EQ(CompareVersion("1."), 0);
    EXPECT_EQ(CompareVersion(""), 0);
    EXPECT_EQ(CompareVersion(nullptr), 0);
}

TEST(CompareVersion, EveryCharacterEntersTheSum) {
    // Letters count with their codes: 'a' - '0' = 49 makes "1.1.1.a" newer.
    EXPECT_EQ(CompareVersion("1.1.1.a"), 1);
    // A blank is 32 - 48 = -16: " 2" sums to -16 * 10 + 2 = -158.
    EXPECT_EQ(CompareVersion("1.1.1. 2"), -1);
    // An empty component is 0.
    EXPECT_EQ(CompareVersion("1..1.2"), -1);
    // A sign is a character like any other: '-' = 45 - 48 = -3.
    EXPECT_EQ(CompareVersion("1.1.1.-5"), -1);
    // Bytes above 127 are negative as signed chars.
    EXPECT_EQ(CompareVersion("1.1.1.\xC0"), -1);
}

TEST(CompareVersion, HugeComponentsWrapWithoutUndefinedBehaviour) {
    // 4294967298 wraps to 2 in 32 bits; the sanitizer build proves no overflow.
    EXPECT_EQ(CompareVersion("1.1.1.4294967298"), 0);
    EXPECT_EQ(CompareVersion("1.1.1.2147483648"), -1);  // wraps to INT_MIN
    EXPECT_EQ(CompareVersion("1.1.1.99999999999999999999999999999"),
              CompareVersion("1.1.1.99999999999999999999999999999"));
    std::string longText(100000, '9');
    int r = CompareVersion(longText.c_str());
    EXPECT_TRUE(r >= -1 && r <= 1);
}

TEST(CompareVersion, OtherClientVersions) {
    EXPECT_EQ(CompareVersionTexts("3.0", "2.9.9"), 1);
    EXPECT_EQ(CompareVersionTexts("2.9.9", "3.0"), -1);
    EXPECT_EQ(CompareVersionTexts("1.0", "1."), 0);
}
