// The centroid lock: finding the centre of a star near a click to a
// fraction of a pixel, and the displayed-frame pipeline the lock reads
// (stretch) and the eye sees (crosshair).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "untBitmap.h"

inline constexpr int kMaxRadius = 32;  // the window is at most 65 x 65

// The centre of a profile of n >= 9 samples, or -1.0 when it has none.
// The profile less its minimum is smoothed over five samples (the ends
// folded back so every sample carries weight 5); the peak is looked for in
// samples 2 .. n - 3 only and is never below 0. The centre is the middle of
// the first run of samples at or above half the peak, moved toward the
// edge sample that lies further above half. No centre: a flat profile, a
// run of one sample, or a run that reaches the far end.
double HalfMaxCentre(const double* p, int n);

// One byte a pixel, row 0 at the top: what the lock searches.
struct TGreyPlane {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // width * height
    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// The plane of a displayed frame: 8-bit frames their stored bytes, 24-bit
// frames the mean of each pixel's three bytes, rounded down.
TGreyPlane GreyPlaneOf(const TBitmap& frame);

// The lock around (x, y) with a (2 radius + 1)-square window. False, and
// nothing changed, when the window does not lie inside the plane with a
// pixel to spare (radius < x < width - radius, likewise y). False with both
// fractions -1.0 when a profile has no centre. Otherwise x, y become the
// whole pixel of the centre and fracX, fracY its parts in [0, 1).
bool LockOnStar(const TGreyPlane& plane, int radius, int& x, int& y, double& fracX, double& fracY);

// Inverts (XOR 255) column x over the full height and row y over the full
// width, every byte of a 24-bit pixel; the crossing pixel is inverted twice
// and keeps its value. A column or row outside the frame is left out.
void DrawCrosshair(TBitmap& frame, int x, int y);

// Every byte of every row times factor, 255 where larger.
void StretchBitmap(TBitmap& frame, int factor);
