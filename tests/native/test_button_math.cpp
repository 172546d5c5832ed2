#include <gtest/gtest.h>

#include "ui/ButtonMath.h"

namespace {
bool Same(FaceRect a, FaceRect b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
}  // namespace

TEST(ButtonMath, SlotIsTwiceHoverPlusToggle) {
    EXPECT_EQ(FaceSlot(0, 0), 0);
    EXPECT_EQ(FaceSlot(0, 1), 1);
    EXPECT_EQ(FaceSlot(1, 0), 2);
    EXPECT_EQ(FaceSlot(1, 1), 3);
    EXPECT_EQ(FaceSlot(-7, 5), 3);  // any nonzero flag counts as set
}

TEST(ButtonMath, UpdateRectangleScalesIntoFaceCoordinates) {
    // Same size: unchanged.
    EXPECT_TRUE(Same(MapUpdateRectToFace({3, 4, 20, 10}, 76, 31, 76, 31), FaceRect{3, 4, 20, 10}));
    // Face twice the button: doubled.
    EXPECT_TRUE(Same(MapUpdateRectToFace({1, 2, 10, 5}, 40, 20, 20, 10), FaceRect{2, 4, 20, 10}));
    // Each edge truncated toward zero, separately per axis: 7 * 0.5 = 3.5 -> 3.
    EXPECT_TRUE(Same(MapUpdateRectToFace({7, 7, 9, 9}, 10, 30, 20, 10), FaceRect{3, 21, 4, 27}));
    EXPECT_TRUE(Same(MapUpdateRectToFace({-3, -3, 9, 9}, 10, 10, 20, 20), FaceRect{-1, -1, 4, 4}));
}

TEST(ButtonMath, ThinStripsAndSizelessButtonsMapToNothing) {
    // A face a tenth of the button: a 5-pixel strip vanishes.
    FaceRect strip = MapUpdateRectToFace({0, 0, 5, 30}, 10, 30, 100, 30);
    EXPECT_TRUE(IsFaceRectEmpty(strip));
    EXPECT_FALSE(IsFaceRectEmpty(MapUpdateRectToFace({0, 0, 10, 30}, 10, 30, 100, 30)));
    EXPECT_TRUE(IsFaceRectEmpty(MapUpdateRectToFace({4, 4, 4, 9}, 10, 10, 10, 10)));
    EXPECT_TRUE(IsFaceRectEmpty(MapUpdateRectToFace({0, 0, 10, 10}, 10, 10, 0, 10)));
    EXPECT_TRUE(IsFaceRectEmpty(MapUpdateRectToFace({0, 0, 10, 10}, 10, 10, 10, 0)));
    // Huge scales stay inside int instead of overflowing.
    FaceRect huge = MapUpdateRectToFace({0, 0, 2000000, 1}, 2000000000, 1, 1, 1);
    EXPECT_EQ(huge.right, 2147483647);
}
