// Brightness kernels of the "Prescale" menu. They treat a record's pixel
// buffer as one flat run of bytes: the blue, green and red bytes of a 24-bit
// pixel are scaled and stretched alike, and nothing else of the record (its
// headers, its palette) changes.
//
// Arithmetic is double precision exactly as written below, and a byte is
// stored by truncation toward zero after the stated rounding and clamping;
// no tolerance is added anywhere, so a product that falls a hair short of a
// whole number (127.99999999999999) stores the lower byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "untBmpUtil.h"

// For every byte p of width x height x bytes-per-pixel:
//   v = p * factor + 0.5;  v > 254.5 gives 255;  byte = trunc(v).
// Factor 2.0: 127 -> 254, 128 -> 255. Factor 1.5: 3 -> 5 (the tie rounds up).
// A v that is below 0 or not a number (only a negative or infinite factor
// makes one; 0 x infinity) stores 0.
// Returns BMP_BAD_POINTER, and changes nothing, when the record, its info
// header or its pixels are missing; BMP_NO_ERROR otherwise.
[[nodiscard]] uint32_t ScaleBmpRecord(BmpRecord* record, double factor);

// Linear stretch from the background level up to the brightest byte, over
// the count of bytes in biSizeImage (as ReadBmpFile leaves it; never more
// than the buffer holds):
//   highest = largest byte;  mean = sum / count;  m = trunc(mean);
//   background = trunc(mean of the bytes below m), and 0 becomes 4;
//   range = highest - background, 0 becomes 1;  scale = 255.0 / range;
//   byte = trunc(clamp((p - background) * scale, 0, 255)).
// The brightest byte usually becomes 255, but not for every range: with a
// range of 25 the product is just short of 255.0 and it becomes 254.
// A frame with no byte below m (a uniform frame, an empty one) has no
// background, and one whose background exceeds its brightest byte has no
// range to stretch: both are left as they are. A null record, or one
// without its info header or pixels, is left alone.
void StretchWide(BmpRecord* record);

// As StretchWide, with a background two levels under the mean of the bytes
// below m, never under 2.0, then truncated: a below-m mean of 10.6 gives 8.
void StretchSmartWide(BmpRecord* record);
