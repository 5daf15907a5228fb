#pragma once
// Window geometry is kept in twips, as the settings file stores it: 15 twips
// make one pixel at 96 dpi.

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

} // namespace korvex
