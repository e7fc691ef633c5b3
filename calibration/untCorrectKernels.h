// The per-byte maps with which "New Normal", "New Map" and "Flat Field"
// correct light frames, and the kernels that build and apply them.
//
// Every kernel walks a record's pixel buffer as plain bytes, whatever the
// depth: byte i and its previous byte i - 1 (for 8-bit frames the left
// neighbour, or the last pixel of the row above at the start of a row).
// The byte count n of a record is RecordByteCount (untBmpUtil). A map holds one double
// per byte of the reference it was made from; callers apply it only to
// records of the reference's width, height and depth.
// A stored byte is the double truncated toward zero, after the clamping
// each kernel states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "untBmpUtil.h"

// The reference's mean level: the sum of all bytes divided by the byte
// count in unsigned integer arithmetic, truncated; 0 for an empty record.
uint32_t RecordMeanLevel(const BmpRecord& record);

// m[i] = dark byte i - mean level. Null for an empty record or when the
// map cannot be allocated.
std::unique_ptr<double[]> DeviationMap(const BmpRecord& dark);

// Corrects light in place by the deviation map m (n elements):
//   maxDev = the largest m[i], at least 0.0; avgDev = (sum of m[i]) / n;
//   threshold = (maxDev - avgDev) * 0.66 + avgDev.
// Then from the first byte to the last, with p the light byte:
//   m > 0 and m >= threshold (hot pixel): the previous byte's value as
//     already corrected;
//   0 < m < threshold: p - m when that is above 0, else the previous byte;
//   m == 0: unchanged;
//   m < 0: 255 when p - m >= 255.4, else p - m.
// Where byte 0 would take the previous byte it keeps its own value.
void ApplyDeviationMap(BmpRecord& light, const double* map);

// ApplyDeviationMap with a private copy of the map (the caller's stays as
// it is) in which hot pixels of bright areas are measured against their
// surroundings instead of the dark. With w and h the light's width and
// height the buffer is taken as w bytes a row whatever the depth; the local
// mean is BoxMean of radius 3 where that reaches and the light byte itself
// elsewhere (rows and columns 3 among them). The copy's threshold is
//   (maxDev - avgDev) * 0.5 + avgDev over the whole map, as above,
// and for 3 <= y <= h - 5, 3 <= x <= w - 5, where map > threshold and the
// local mean is above 248, copy[y * w + x] = light byte - local mean.
// BMP_NO_MEMORY, with light untouched, when the scratch frame or the copy
// cannot be allocated; BMP_NO_ERROR otherwise.
[[nodiscard]] uint32_t ApplyMapWithLocalMean(BmpRecord& light, const double* map);

// For r + 1 <= y <= height - r - 2 and r + 1 <= x <= width - r - 2:
// destination[y * width + x] = (sum of source over the (2r + 1) x (2r + 1)
// square centred there) / (2r + 1)^2, integer division. Nothing else is
// written. Width and height are the destination's, rows width bytes long
// whatever the depth; source holds at least width * height bytes. r >= 0.
void BoxMean(BmpRecord& destination, const BmpRecord& source, int r);

// False for a flat whose mean level truncates to 0 while some byte is above
// 0: its gain would be infinite. FlatGainMap needs a usable flat.
bool FlatGainUsable(const BmpRecord& flat);

// g[i] = flat byte i / mean level where the byte is above 0, else 1.0.
// Null for an empty record or when the map cannot be allocated.
std::unique_ptr<double[]> FlatGainMap(const BmpRecord& flat);

// Byte i = p / g[i] for each light byte p, clamped to 255.0.
void DivideByGainMap(BmpRecord& light, const double* gain);
