#include "ui/Layout.h"

int ScaleToDpi(int n, int nDpi) {
    if (nDpi <= 0) nDpi = kBaseDpi;
    const long long nTwice = 2LL * (n < 0 ? -(long long)n : n) * nDpi;
    const long long nScaled = (nTwice + kBaseDpi) / (2 * kBaseDpi);
    return static_cast<int>(n < 0 ? -nScaled : nScaled);
}

namespace {
struct Scaler {
    int nDpi;
    int operator()(int n) const { return ScaleToDpi(n, nDpi); }
};

// The bottom row: x = right - d, y = bottom - 46, 76 x 31.
LayoutRect BottomRow(int right, int bottom, int d, Scaler s) { return {right - s(d), bottom - s(46), s(76), s(31)}; }
}  // namespace

WindowLayout ComputeLayout(int left, int top, int right, int bottom, int nDpi) {
    const Scaler s{nDpi};
    WindowLayout l;
    l.close = {right - s(32), top + s(3), s(24), s(21)};
    l.status = {left + s(50), top + s(70), s(400), s(20)};
    l.progress = {left + s(50), top + s(100), s(kBarWidth), s(30)};
    l.ok = BottomRow(right, bottom, 187, s);
    l.cancel = BottomRow(right, bottom, 96, s);
    l.downloadPage = {left + s(280), top + s(110), s(54), s(22)};
    l.feedback = {left + s(53), top + s(140), s(79), s(12)};
    return l;
}

LayoutRect OkRectNoUpdate(int right, int bottom, int nDpi) { return BottomRow(right, bottom, 96, Scaler{nDpi}); }
LayoutRect OkRectNewVersion(int right, int bottom, int nDpi) { return BottomRow(right, bottom, 187, Scaler{nDpi}); }

bool InCaptionBand(int left, int top, int right, int x, int y, int nDpi) {
    return x >= left && x < right && y >= top && y < top + ScaleToDpi(kCaptionBandHeight, nDpi);
}

int ProgressFilledWidth(int nPos, int nLower, int nUpper, int nBarWidth, int nSpan) {
    long long nRelative = (long long)nPos - nLower;
    if (nRelative > nUpper) nRelative = nUpper;
    if (nRelative < 0) nRelative = 0;
    if (nSpan == 0) return 0;
    return static_cast<int>(((long long)nBarWidth * nRelative) / nSpan);
}
