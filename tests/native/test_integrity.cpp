#include "update/manifest/Integrity.h"

#include <gtest/gtest.h>

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
