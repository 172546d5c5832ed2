// The image button's arithmetic, free of platform headers so that native
// tests reach it.
#pragma once

struct FaceRect {
    int left, top, right, bottom;
};

// Face slot for the two flags: 0 normal, 1 toggled, 2 hover, 3 hover and
// toggled.
inline int FaceSlot(int bHover, int bToggled) { return 2 * (bHover != 0) + (bToggled != 0); }

inline bool IsFaceRectEmpty(const FaceRect& r) { return r.right <= r.left || r.bottom <= r.top; }

namespace button_math_detail {
// Truncation toward zero, held inside int.
inline int Truncate(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}
}  // namespace button_math_detail

// Maps a rectangle of the button's client area into face coordinates: x by
// face width / client width, y by face height / client height, each edge
// truncated toward zero. A client area without size maps to an empty
// rectangle.
inline FaceRect MapUpdateRectToFace(const FaceRect& update, int nFaceWidth, int nFaceHeight, int nClientWidth,
                                    int nClientHeight) {
    if (nClientWidth <= 0 || nClientHeight <= 0) return FaceRect{0, 0, 0, 0};
    const double fx = static_cast<double>(nFaceWidth) / nClientWidth;
    const double fy = static_cast<double>(nFaceHeight) / nClientHeight;
    using button_math_detail::Truncate;
    return FaceRect{Truncate(update.left * fx), Truncate(update.top * fy), Truncate(update.right * fx),
                    Truncate(update.bottom * fy)};
}
