#include "ui/SkinScale.h"

#include "ui/Layout.h"

SkinSetOrder SkinSetsFor(int nDpi) {
    if (nDpi <= 0) nDpi = kBaseDpi;
    // The first set whose percentage reaches the scale (percent * 96 >= dpi * 100).
    int nBest = kSkinSetCount - 1;
    for (int i = 0; i < kSkinSetCount; ++i) {
        if ((long long)kSkinSets[i] * kBaseDpi >= (long long)nDpi * 100) {
            nBest = i;
            break;
        }
    }
    SkinSetOrder order = {};
    int n = 0;
    for (int i = nBest; i < kSkinSetCount; ++i) order.aPercent[n++] = kSkinSets[i];
    for (int i = nBest - 1; i >= 0; --i) order.aPercent[n++] = kSkinSets[i];
    return order;
}

std::wstring SkinSetPath(int nPercent, const wchar_t* pszName) {
    std::wstring path = L"skin/update/";
    if (nPercent != 100) path += std::to_wstring(nPercent) + L"/";
    return path + pszName;
}

int SkinDrawnSize(int nArt, int nPercent, int nDpi) {
    if (nDpi <= 0) nDpi = kBaseDpi;
    if (nPercent <= 0) nPercent = 100;
    if (nArt <= 0) return 0;
    // nArt * (nDpi / 96) / (nPercent / 100), halves up.
    const long long nNum = (long long)nArt * nDpi * 100;
    const long long nDen = (long long)kBaseDpi * nPercent;
    return static_cast<int>((2 * nNum + nDen) / (2 * nDen));
}

bool SkinSetAtScale(int nPercent, int nDpi) { return (long long)nPercent * kBaseDpi == (long long)nDpi * 100; }
