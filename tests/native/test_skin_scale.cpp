#include "ui/SkinScale.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SkinScale, SmallestSetAtLeastAsLargeAsTheScaleComesFirst) {
    const struct {
        int nDpi;
        std::vector<int> order;
    } cases[] = {
        {96, {100, 150, 200}},  {97, {150, 200, 100}},  {120, {150, 200, 100}}, {144, {150, 200, 100}},
        {168, {200, 150, 100}}, {192, {200, 150, 100}}, {288, {200, 150, 100}}, {72, {100, 150, 200}},
    };
    for (const auto& c : cases) {
        const SkinSetOrder order = SkinSetsFor(c.nDpi);
        EXPECT_EQ(std::vector<int>(order.aPercent, order.aPercent + kSkinSetCount), c.order) << c.nDpi;
    }
}

TEST(SkinScale, SetFolders) {
    EXPECT_EQ(SkinSetPath(100, L"确定.png"), L"skin/update/确定.png");
    EXPECT_EQ(SkinSetPath(150, L"确定.png"), L"skin/update/150/确定.png");
    EXPECT_EQ(SkinSetPath(200, L"确定.png"), L"skin/update/200/确定.png");
}

TEST(SkinScale, PicturesAreDrawnAtTheWindowsScale) {
    EXPECT_EQ(SkinDrawnSize(76, 100, 96), 76);  // each set at its own scale: as it is
    EXPECT_EQ(SkinDrawnSize(114, 150, 144), 114);
    EXPECT_EQ(SkinDrawnSize(152, 200, 192), 152);
    EXPECT_EQ(SkinDrawnSize(76, 100, 144), 114);   // a 100 % skin scaled up like the layout
    EXPECT_EQ(SkinDrawnSize(31, 100, 144), 47);    // 46.5
    EXPECT_EQ(SkinDrawnSize(750, 150, 120), 625);  // the 150 % set scaled down at 125 %
    EXPECT_EQ(SkinDrawnSize(47, 150, 120), 39);    // 39.17
    EXPECT_EQ(SkinDrawnSize(800, 200, 288), 1200);
    EXPECT_EQ(SkinDrawnSize(0, 150, 144), 0);
    EXPECT_TRUE(SkinSetAtScale(100, 96));
    EXPECT_TRUE(SkinSetAtScale(150, 144));
    EXPECT_TRUE(SkinSetAtScale(200, 192));
    EXPECT_FALSE(SkinSetAtScale(150, 120));
    EXPECT_FALSE(SkinSetAtScale(100, 144));
}
