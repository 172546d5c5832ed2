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

// The same window at 125, 150 and 200 %: every length of the 96-DPI layout
// scaled and rounded half up, the bottom row and the close button still
// measured from the right and bottom edges.
TEST(Layout, ScalesWithTheDisplay) {
    const struct {
        int nDpi, nWidth, nHeight;
        LayoutRect close, status, progress, ok, cancel, downloadPage, feedback;
        int nBand, nFontHeight, nFilledAt37;
    } cases[] = {
        // clang-format off
        {96, 500, 200, {468, 3, 24, 21}, {50, 70, 400, 20}, {50, 100, 400, 30}, {313, 154, 76, 31},
         {404, 154, 76, 31}, {280, 110, 54, 22}, {53, 140, 79, 12}, 40, -12, 148},
        {120, 625, 250, {585, 4, 30, 26}, {63, 88, 500, 25}, {63, 125, 500, 38}, {391, 192, 95, 39},
         {505, 192, 95, 39}, {350, 138, 68, 28}, {66, 175, 99, 15}, 50, -15, 185},
        {144, 750, 300, {702, 5, 36, 32}, {75, 105, 600, 30}, {75, 150, 600, 45}, {469, 231, 114, 47},
         {606, 231, 114, 47}, {420, 165, 81, 33}, {80, 210, 119, 18}, 60, -18, 222},
        {192, 1000, 400, {936, 6, 48, 42}, {100, 140, 800, 40}, {100, 200, 800, 60}, {626, 308, 152, 62},
         {808, 308, 152, 62}, {560, 220, 108, 44}, {106, 280, 158, 24}, 80, -24, 296},
        // clang-format on
    };
    auto eq = [](LayoutRect a, LayoutRect b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nDpi);
        const int w = ScaleToDpi(kWindowWidth, c.nDpi), h = ScaleToDpi(kWindowHeight, c.nDpi);
        EXPECT_EQ(w, c.nWidth);
        EXPECT_EQ(h, c.nHeight);
        const WindowLayout l = ComputeLayout(0, 0, w, h, c.nDpi);
        EXPECT_TRUE(eq(l.close, c.close));
        EXPECT_TRUE(eq(l.status, c.status));
        EXPECT_TRUE(eq(l.progress, c.progress));
        EXPECT_TRUE(eq(l.ok, c.ok));
        EXPECT_TRUE(eq(l.cancel, c.cancel));
        EXPECT_TRUE(eq(l.downloadPage, c.downloadPage));
        EXPECT_TRUE(eq(l.feedback, c.feedback));
        EXPECT_TRUE(eq(OkRectNewVersion(w, h, c.nDpi), c.ok));
        EXPECT_TRUE(eq(OkRectNoUpdate(w, h, c.nDpi), c.cancel));
        EXPECT_TRUE(InCaptionBand(0, 0, w, 10, c.nBand - 1, c.nDpi));
        EXPECT_FALSE(InCaptionBand(0, 0, w, 10, c.nBand, c.nDpi));
        EXPECT_EQ(StatusFontHeight(c.nDpi), c.nFontHeight);
        EXPECT_EQ(ProgressFilledWidth(37, 0, 100, ScaleToDpi(kBarWidth, c.nDpi), 100), c.nFilledAt37);
    }
}

TEST(Layout, ScalingRoundsHalvesAwayFromZero) {
    EXPECT_EQ(ScaleToDpi(21, 144), 32);    // 31.5
    EXPECT_EQ(ScaleToDpi(-21, 144), -32);  // as MulDiv
    EXPECT_EQ(ScaleToDpi(3, 120), 4);      // 3.75
    EXPECT_EQ(ScaleToDpi(79, 120), 99);    // 98.75
    EXPECT_EQ(ScaleToDpi(500, 0), 500);    // no DPI known: 96
}
