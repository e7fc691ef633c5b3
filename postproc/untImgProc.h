// The post-processing kernels. They work on the toolkit's bitmaps, 8-bit or
// 24-bit, row by row; colour channels are independent bytes throughout.
#pragma once

#include <cstdint>

#include "untBitmap.h"

// Scales every byte by (high - low, in 8 bits) / (largest byte - smallest
// byte) and stops at 255. destination has the size and format of source.
void ModifyHistogram(const TBitmap& source, TBitmap& destination, uint8_t low, uint8_t high);

// The clipped box mean of radius r: a new bitmap of the source's size and
// format, each byte the truncated mean of the bytes of its window that lie
// inside the picture.
TBitmap BlurBitmap(const TBitmap& source, int32_t radius);

// Digital development: (256 - low) * X / (D + high) + low, with D the box
// mean of radius fuzz (X itself when fuzz is 0). Nothing is written when
// source is null or high is 0.
void ApplyDDP(const TBitmap* source, TBitmap& destination, int32_t fuzz, int32_t low, int32_t high);

// Subtracts intensity percent of the box mean of radius aperture, then lifts
// the whole result so that the first brightest byte keeps its value. Nothing
// is written when source is null or intensity is 0.
void ApplyUnsharpMask(const TBitmap* source, TBitmap& destination, int32_t aperture, int32_t intensity);
