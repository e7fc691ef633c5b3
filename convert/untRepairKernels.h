// Frame-record operations of the repair commands: enlargement, erosion of
// outliers, cutting off bad rows and columns, removal of a column pattern
// and lifting of dark edges.
//
// Common contract:
//  - Each returns a status code and leaves a failure code in record->status
//    as well (a null record gives BMP_BAD_POINTER and nothing else). A frame
//    that is refused is left exactly as it was.
//  - A record without its info header or pixels gives BMP_BAD_POINTER
//    (EnlargeFrame: BMP_NO_ERROR, it has nothing to enlarge); a depth other
//    than 8 or 24 bits, or a non-positive size, BMP_IMPROPER_TYPE.
//  - 8-bit frames are worked as one plane of bytes. 24-bit frames are worked
//    channel by channel: blue, green and red each as its own 8-bit plane with
//    the frame's width and height, so colours never bleed into each other.
//  - biWidth, biHeight and biSizeImage follow the new size; biSizeImage is
//    the exact pixel buffer length, as after a read (the writer derives the
//    padded sizes itself).
#pragma once

#include <cstdint>

#include "untBmpUtil.h"

// Every pixel becomes a factor x factor block. Factor 1 leaves the frame as
// it is; a factor below 1 gives BMP_IMPROPER_TYPE. A result whose width,
// height or padded pixel array would not fit 32-bit header fields (the same
// limit the reader applies), or whose buffer cannot be allocated, gives
// BMP_NO_MEMORY; this is checked before anything is allocated.
[[nodiscard]] uint32_t EnlargeFrame(BmpRecord* record, int32_t factor);

// passes rounds (none when passes <= 0). In each, every interior pixel p
// (not in the outermost rows and columns) whose neighbour mean
// m = (sum of its eight neighbours) / 8, truncated, lies more than threshold
// away (p - threshold > m or p + threshold < m) becomes m. A round reads
// only the previous round's values. A negative threshold replaces every
// interior pixel. Frames under 3 pixels in either direction are unchanged.
// BMP_NO_MEMORY (frame unchanged) when the second buffer cannot be had.
[[nodiscard]] uint32_t ErodeFrame(BmpRecord* record, int32_t passes, int32_t threshold);

// Drops the top 24 and the bottom 8 rows. Height 32 or less: BMP_IMPROPER_TYPE.
[[nodiscard]] uint32_t StripTopBottom(BmpRecord* record);

// Drops the left 20 and the right 6 columns. Width 26 or less: BMP_IMPROPER_TYPE.
[[nodiscard]] uint32_t StripSides(BmpRecord* record);

// Removes a column pattern: each column x from 9 on loses an amount A[x]
// from every pixel at least that large (never going below 0). A[x] is the
// column mean, lowered by the 7-column mean of the column sums less the
// smallest non-zero column mean when that smoothed value does not exceed
// it; the last three columns have no smoothed value and keep the plain
// mean. Columns 0 to 8 are never changed. Sums are kept in 64 bits.
[[nodiscard]] uint32_t FixVerticalBars(BmpRecord* record);

// Lifts rows and then columns whose mean lies below the dark level D (the
// mean of the values below the frame's mean) by their deficit: each pixel
// of such a line becomes trunc(p + D - line mean), at most 255. The column
// pass sees the rows already lifted. A frame with no value below its mean
// (a uniform one) is left unchanged.
[[nodiscard]] uint32_t FixFrameEdges(BmpRecord* record);
