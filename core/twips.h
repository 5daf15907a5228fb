#pragma once
// Window and control geometry is kept in twips (the unit of the settings file
// and of every design position); widgets work in pixels. 15 twips make one
// pixel at 96 dpi.

#include <QSize>

namespace korvex {

constexpr int Twips = 15; // twips per pixel

inline int toPixels(int twips) {
    return (twips >= 0 ? twips + Twips / 2 : twips - Twips / 2) / Twips;
}
inline int toTwips(int pixels) {
    return pixels * Twips;
}
// Pixels needed so that the size is at least the given twips.
inline int toPixelsAtLeast(int twips) {
    return (twips + Twips - 1) / Twips;
}

// A control's place and size, in twips.
struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Box& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

// The outer size a window is snapped to: each side at least the minimum.
inline QSize snapOuterSize(QSize outer, QSize minimum) {
    if (outer.height() < minimum.height())
        outer.setHeight(minimum.height());
    if (outer.width() < minimum.width())
        outer.setWidth(minimum.width());
    return outer;
}

} // namespace korvex
