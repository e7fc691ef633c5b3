// Our own general bitmap codec behind TBitmap. Reads 1, 4, 8 and 24 bits per
// pixel, bottom-up and top-down, info headers of 12 to 124 bytes and palettes
// of any size up to 256 entries; refuses compressed, truncated and
// inconsistent files with a reason, before allocating pixel memory. Saves
// 8-bit bitmaps as 8-bit files with their own palette and 24-bit as 24-bit.
//
// Reading: the palette has biClrUsed entries (at most 256 are taken); with no
// count it is full, unless the pixel offset leaves room for fewer, as some old
// writers do. A stated palette that runs past the pixel offset is refused.
// The pixel array is found through bfOffBits; the file size, image size,
// resolution and reserved fields are not relied on. Only the pad after the
// last stored row may be missing. Indices beyond the palette are kept.
// Writing: 40-byte header, bottom-up, zero padding, 2835 pixels per metre
// (72 dpi), biClrUsed = the palette's size or 0 when it is full; 1- and
// 4-bit bitmaps keep their depth; a palettised bitmap without entries is
// written with a grey ramp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "untBitmap.h"

class TBmpCodec {
public:
    // Decodes a whole file held in memory into bitmap. On failure returns
    // false, sets *reason to a plain-language sentence and leaves bitmap
    // untouched.
    [[nodiscard]] static bool Decode(const uint8_t* data, size_t size, TBitmap& bitmap, std::string* reason);
    // The complete file image of bitmap; throws EBitmapError for an empty one.
    static std::vector<uint8_t> Encode(const TBitmap& bitmap);
};
