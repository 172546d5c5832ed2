// Placement of the update window's controls, in client coordinates, at any
// display scale. Every figure is given for 96 DPI (100 %) and scaled by
// ScaleToDpi, so all of them round the same way.
#pragma once

enum : int { kBaseDpi = 96 };

// n pixels at 96 DPI as pixels at nDpi: n * nDpi / 96, halves rounded away
// from zero (as the system's MulDiv). A DPI that is not positive counts as 96.
int ScaleToDpi(int n, int nDpi);

struct LayoutRect {
    int x, y, w, h;
};

struct WindowLayout {
    LayoutRect close, status, progress, ok, cancel, downloadPage, feedback;
};

enum : int { kWindowWidth = 500, kWindowHeight = 200, kCaptionBandHeight = 40 };

// Where LayoutControls puts every control for a client rectangle.
WindowLayout ComputeLayout(int left, int top, int right, int bottom, int nDpi = kBaseDpi);
// The OK button's place in the no-update state (alone, at Cancel's place).
LayoutRect OkRectNoUpdate(int right, int bottom, int nDpi = kBaseDpi);
// The OK button's place in the new-version state (left of Cancel).
LayoutRect OkRectNewVersion(int right, int bottom, int nDpi = kBaseDpi);
// True when a client point lies in the band that drags the window.
bool InCaptionBand(int left, int top, int right, int x, int y, int nDpi = kBaseDpi);

// Fixed picture origins relative to the client top-left / bottom, at 96 DPI.
enum : int {
    kStateImageX = 50,
    kStateImageY = 70,
    kAdviceImageX = 50,
    kAdviceImageY = 110,
    kDividerX = 21,
    kDividerAboveBottom = 56
};

// The progress bar's width at 96 DPI: 4 pixels per percent.
enum : int { kBarWidth = 400 };

// The status line's font: 9 points, 12 pixels high at 96 DPI. The height as
// a font is asked for (negative: the character height without leading).
enum : int { kStatusFontPixels = 12 };
inline int StatusFontHeight(int nDpi) { return -ScaleToDpi(kStatusFontPixels, nDpi); }

// Filled width of the progress bar: (barWidth * clamp(pos - lower, 0, upper))
// / span, truncated. The clamp is against upper itself. 0 when span is 0.
int ProgressFilledWidth(int nPos, int nLower, int nUpper, int nBarWidth, int nSpan);
