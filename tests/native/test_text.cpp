#include "common/Text.h"

#include <gtest/gtest.h>

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

TEST(Text, DecimalsAreWholeDigitsWithinTheirLimit) {
    const struct {
        const char* text;
        uint64_t max;
        bool ok;
        uint64_t value;
    } cases[] = {
        {"0", 9, true, 0},
        {"42", 100, true, 42},
        {"100", 100, true, 100},
        {"101", 100, false, 0},
        {"", 100, false, 0},
        {"4 2", 100, false, 0},
        {"+1", 100, false, 0},
        {"-1", 100, false, 0},
        {" 1", 100, false, 0},
        {"18446744073709551615", UINT64_MAX, true, UINT64_MAX},
        {"18446744073709551616", UINT64_MAX, false, 0},
        {"99999999999999999999", UINT64_MAX, false, 0},
    };
    for (const auto& c : cases) {
        uint64_t v = 7;
        EXPECT_EQ(ParseDecimal(c.text, c.max, v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 7) << c.text;
    }
    EXPECT_EQ(TrimBlanks(" \t12 \r\n"), "12");
    EXPECT_EQ(TrimBlanks(" \v\f "), "");
}
