// Row kernels of dark subtraction ("Normal", "Compensate", "Map Hot Pixels")
// and the classification of a frame that chooses between them.
//
// Rows are unpadded; a palettised row holds one byte a pixel, a 24-bit row
// three (blue, green, red). Results are stored by truncation toward zero
// after the rounding and clamping each function states.
#pragma once

#include <cstddef>
#include <cstdint>

#include "untBmpUtil.h"  // RGBQUAD

enum class TFrameDataType : int { Rgb24 = 1, Indexed = 2, Indexed64 = 3 };

// A 24-bit frame is Rgb24 with 16777216 levels. Any other frame is Indexed
// with as many levels as its palette has entries (at most 256 are looked
// at), unless the last of those entries and entry 63 both have red 0: then
// it is Indexed64 with 64 levels. A palette of fewer than 64 entries has no
// entry 63 and is always Indexed.
TFrameDataType FrameDataType(bool rgb24, const RGBQUAD* palette, size_t entries, int* levelCount);

// What "Map Hot Pixels" adds to the palettised rule.
struct THotPixelRule {
    bool enabled = false;
    uint32_t mapLevel = 0;  // the dark's mean level
};

// Subtracts factor x dark from a palettised light row, in place, in double
// precision. With d the dark byte and p the light byte of pixel x:
//  - highestLevel 63 (64-level frames, in every mode): d' = min(factor x d, 63);
//    the pixel is 63 when p >= d', else 63 - (d' - p). Hot pixels are not treated.
//  - otherwise with the hot-pixel rule: d > 3 x mapLevel makes the pixel
//    hot and it takes the value already written to its left (mapLevel in
//    column 0); p >= 251 keeps the dark away from a bright pixel, which
//    becomes the mean of p and the value written to its left (p itself in
//    column 0); any other pixel is p - d x factor + 0.5.
//  - otherwise: p - d x factor + 0.5.
// Outside the 64-level rule the value is then clamped to 0 .. highestLevel.
// Pixels are visited left to right, so "the value written to the left" is
// that pixel's final value.
void SubtractRow8(const uint8_t* dark, uint8_t* light, int highestLevel, double factor, int width,
                  THotPixelRule hot = {});

// Subtracts the dark from a 24-bit light row, all 3 x width bytes alike:
// d' = 255 when 255 - d < offset, else d + offset raised to 0; the light
// byte becomes 0 when d' > p, else p - d'. Any offset is allowed; Normal
// and Map Hot Pixels pass 1, so even a dark byte of 0 subtracts one level.
void SubtractRow24(const uint8_t* dark, uint8_t* light, int offset, int width);

// The dark's weight for "Compensate" on palettised frames, from the first
// 32 pixels of a dark row and of a light row (both must hold 32): each
// sample sorted ascending, the ratios light / dark of the four middle
// positions (14 to 17) averaged, leaving out the positions whose dark value
// is 0 (1.0 when none is left); a result above 1.0 is multiplied by 0.96.
double CompensationFactor8(const uint8_t* darkRow, const uint8_t* lightRow);

// The dark's offset for "Compensate" on 24-bit frames, from the green bytes
// of the first 32 pixels of each row (both must hold 32 pixels): each sample
// sorted, the lowest and highest dropped, the other 30 averaged in integers
// (truncated); the light's mean minus the dark's. Not clamped.
int CompensationOffset24(const uint8_t* darkRow, const uint8_t* lightRow);

// Compensate samples row 4: frames smaller than this use the plain weight
// (factor 1.0, offset 0).
constexpr int kCompensationSampleWidth = 32;
constexpr int kCompensationSampleRow = 4;
