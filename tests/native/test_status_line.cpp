#include "ui/StatusLine.h"

#include <gtest/gtest.h>

#include <string>

TEST(StatusLine, PercentAndPadding) {
    EXPECT_EQ(ProgressPercent(0.427), 42);
    EXPECT_EQ(ProgressPercent(0.999), 99);
    EXPECT_EQ(ProgressPercent(1.0), 100);
    EXPECT_EQ(ProgressPercent(0.0), 0);
    std::wstring line = FormatStatusLine(L"S", 42);
    EXPECT_EQ(line, L"S(42%)" + std::wstring(95, L' '));
    EXPECT_EQ(FormatStatusLine(L"", 0), L"(0%)" + std::wstring(96, L' '));
    EXPECT_EQ(FormatStatusLine(L"", 100).size(), 100u);
}

TEST(StatusLine, OutOfRangeProgressIsClamped) {
    EXPECT_EQ(ProgressPercent(1e300), 2147483647);
    EXPECT_EQ(ProgressPercent(-1e300), -2147483647 - 1);
    EXPECT_EQ(ProgressPercent(0.0 / 0.0), 0);
}
