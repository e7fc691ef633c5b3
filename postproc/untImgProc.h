// The post-processing kernels. They work on the toolkit's bitmaps, 8-bit or
// 24-bit, row by row; colour channels are independent bytes throughout.
// Every byte is what the plain per-pixel rule gives in double precision; the
// kernels only reach it faster (tables of the rule's own results, running
// sums, several threads). The destination must have the source's size and
// pixel format (EBitmapError otherwise); it may be the source itself.
// threads: how many threads a picture may be shared among, 0 for one per
// core; pictures under a quarter of a megabyte stay on the calling thread.
// The bytes are the same whatever the count.
#pragma once

#include <cstdint>

#include "untBitmap.h"

// Scales every byte by (high - low, in 8 bits) / (largest byte - smallest
// byte), truncating and stopping at 255. A range or span of 0 counts as 1,
// and low 200 with high 100 is a span of 156. Nothing is subtracted: the
// scaling is about zero.
void ModifyHistogram(const TBitmap& source, TBitmap& destination, uint8_t low, uint8_t high, unsigned threads = 0);

// The clipped box mean of radius r: a new bitmap of the source's size, format
// and palette, each byte the sum of the bytes of its (2r + 1)^2 window that
// lie inside the picture divided by how many do, rounded down. Borders are
// clipped, never padded (a corner at r = 1 is the mean of 4). Radius 0 (or
// less) copies the picture.
TBitmap BlurBitmap(const TBitmap& source, int32_t radius, unsigned threads = 0);

// Digital development: (256 - low) * (X / (D + high)) + low, with D the box
// mean of radius fuzz (X itself when fuzz is 0); above 254 is written as 255,
// anything else truncated (and below 0, which the dialog's ranges never
// reach, as 0). Nothing is written when source is null or high is 0.
void ApplyDDP(const TBitmap* source, TBitmap& destination, int32_t fuzz, int32_t low, int32_t high,
              unsigned threads = 0);

// First S - D * intensity * 0.01 with D the box mean of radius aperture,
// below 0 written as 0, + 0.5 truncated; then every byte is lifted by the
// sharpened loss at the first brightest byte of the source in row order, and
// above 254 is written as 255, + 0.5 truncated. Nothing is written when
// source is null or intensity is 0.
void ApplyUnsharpMask(const TBitmap* source, TBitmap& destination, int32_t aperture, int32_t intensity,
                      unsigned threads = 0);
