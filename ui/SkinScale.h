// Which of a skin's picture sets the window draws from at a display scale,
// and how large it draws a picture of a set. The 100 % set is skin/update/
// itself; larger ones sit in a folder named after their percentage.
#pragma once

#include <string>

enum : int { kSkinSetCount = 3 };
// The sets a skin may carry, in percent of the 96-DPI size, smallest first.
constexpr int kSkinSets[kSkinSetCount] = {100, 150, 200};

struct SkinSetOrder {
    int aPercent[kSkinSetCount];
};

// The sets to look in at nDpi, best first: the smallest one at least as
// large as the scale (the largest when none is), then the larger ones, then
// the smaller ones from the largest down, so that a file missing from the
// best set (a skin that has only the 100 % one) still comes from the
// sharpest set there is.
SkinSetOrder SkinSetsFor(int nDpi);

// "skin/update/<name>" for the 100 % set, "skin/update/150/<name>" for 150.
std::wstring SkinSetPath(int nPercent, const wchar_t* pszName);

// The size at which a side of nArt pixels of the nPercent set is drawn at
// nDpi, rounded as ScaleToDpi rounds: the 100 % set at 96 DPI, the 150 %
// set at 144 DPI and so on are drawn at their own size.
int SkinDrawnSize(int nArt, int nPercent, int nDpi);
// True when the set's pictures are drawn at their own size at nDpi.
bool SkinSetAtScale(int nPercent, int nDpi);
