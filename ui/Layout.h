// Placement of the update window's controls, in client coordinates.
#pragma once

struct LayoutRect {
    int x, y, w, h;
};

struct WindowLayout {
    LayoutRect close, status, progress, ok, cancel, downloadPage, feedback;
};

enum : int { kWindowWidth = 500, kWindowHeight = 200, kCaptionBandHeight = 40 };

// Where LayoutControls puts every control for a client rectangle.
WindowLayout ComputeLayout(int left, int top, int right, int bottom);
// The OK button's place in the no-update state (alone, at Cancel's place).
LayoutRect OkRectNoUpdate(int right, int bottom);
// The OK button's place in the new-version state (left of Cancel).
LayoutRect OkRectNewVersion(int right, int bottom);
// True when a client point lies in the band that drags the window.
bool InCaptionBand(int left, int top, int right, int x, int y);

// Fixed picture origins relative to the client top-left / bottom.
enum : int {
    kStateImageX = 50, kStateImageY = 70, kAdviceImageX = 50, kAdviceImageY = 110,
    kDividerX = 21, kDividerAboveBottom = 56
};

// Filled width of the progress bar: (barWidth * clamp(pos - lower, 0, upper))
// / span, truncated. The clamp is against upper itself. 0 when span is 0.
int ProgressFilledWidth(int nPos, int nLower, int nUpper, int nBarWidth, int nSpan);
