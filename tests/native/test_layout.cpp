#include "ui/Layout.h"

#include <gtest/gtest.h>

TEST(Layout, FiveHundredByTwoHundred) {
    WindowLayout l = ComputeLayout(0, 0, 500, 200);
    auto eq = [](LayoutRect r, int x, int y, int w, int h) { return r.x == x && r.y == y && r.w == w && r.h == h; };
    EXPECT_TRUE(eq(l.close, 468, 3, 24, 21));
    EXPECT_TRUE(eq(l.status, 50, 70, 400, 20));
    EXPECT_TRUE(eq(l.progress, 50, 100, 400, 30));
    EXPECT_TRUE(eq(l.ok, 313, 154, 76, 31));
    EXPECT_TRUE(eq(l.cancel, 404, 154, 76, 31));
    EXPECT_TRUE(eq(l.downloadPage, 280, 110, 54, 22));
    EXPECT_TRUE(eq(l.feedback, 53, 140, 79, 12));
    EXPECT_TRUE(eq(OkRectNoUpdate(500, 200), 404, 154, 76, 31));
    EXPECT_TRUE(eq(OkRectNewVersion(500, 200), 313, 154, 76, 31));
}

TEST(Layout, CaptionBandIsTheTopFortyRows) {
    EXPECT_TRUE(InCaptionBand(0, 0, 500, 0, 0));
    EXPECT_TRUE(InCaptionBand(0, 0, 500, 250, 39));
    EXPECT_FALSE(InCaptionBand(0, 0, 500, 250, 40));
    EXPECT_FALSE(InCaptionBand(0, 0, 500, 500, 10));
    EXPECT_FALSE(InCaptionBand(0, 0, 500, -1, 10));
}

TEST(ProgressBar, FourPixelsPerPercent) {
    EXPECT_EQ(ProgressFilledWidth(37, 0, 100, 400, 100), 148);
    EXPECT_EQ(ProgressFilledWidth(100, 0, 100, 400, 100), 400);
    EXPECT_EQ(ProgressFilledWidth(250, 0, 100, 400, 100), 400);
    EXPECT_EQ(ProgressFilledWidth(0, 0, 100, 400, 100), 0);
    EXPECT_EQ(ProgressFilledWidth(-5, 0, 100, 400, 100), 0);
    // The clamp is against the upper value itself, not upper - lower.
    EXPECT_EQ(ProgressFilledWidth(90, 20, 50, 400, 100), 200);
    EXPECT_EQ(ProgressFilledWidth(10, 20, 50, 400, 100), 0);
    EXPECT_EQ(ProgressFilledWidth(50, 0, 100, 400, 0), 0);
}
