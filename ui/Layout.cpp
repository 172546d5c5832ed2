#include "ui/Layout.h"

namespace {
// The bottom row: x = right - d, y = bottom - 46, 76 x 31.
LayoutRect BottomRow(int right, int bottom, int d) { return {right - d, bottom - 46, 76, 31}; }
}  // namespace

WindowLayout ComputeLayout(int left, int top, int right, int bottom) {
    WindowLayout l;
    l.close = {right - 32, top + 3, 24, 21};
    l.status = {left + 50, top + 70, 400, 20};
    l.progress = {left + 50, top + 100, 400, 30};
    l.ok = BottomRow(right, bottom, 187);
    l.cancel = BottomRow(right, bottom, 96);
    l.downloadPage = {left + 280, top + 110, 54, 22};
    l.feedback = {left + 53, top + 140, 79, 12};
    return l;
}

LayoutRect OkRectNoUpdate(int right, int bottom) { return BottomRow(right, bottom, 96); }
LayoutRect OkRectNewVersion(int right, int bottom) { return BottomRow(right, bottom, 187); }

bool InCaptionBand(int left, int top, int right, int x, int y) {
    return x >= left && x < right && y >= top && y < top + kCaptionBandHeight;
}

int ProgressFilledWidth(int nPos, int nLower, int nUpper, int nBarWidth, int nSpan) {
    long long nRelative = (long long)nPos - nLower;
    if (nRelative > nUpper) nRelative = nUpper;
    if (nRelative < 0) nRelative = 0;
    if (nSpan == 0) return 0;
    return static_cast<int>(((long long)nBarWidth * nRelative) / nSpan);
}
