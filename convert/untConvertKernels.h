// Frame-record operations of the batch conversions.
#pragma once

#include <cstdint>

#include "untBmpUtil.h"

// Turns an 8-bit or 24-bit record read by ReadBmpFile into an 8-bit frame
// over a grey-ramp palette (entry i = grey i, biClrUsed 0):
//  - 8-bit: every pixel becomes the red byte of its palette entry, so a grey
//    frame keeps its values and a colour palette keeps only its red;
//  - 24-bit: every pixel becomes its blue byte, packed one byte a pixel at
//    the front of the same buffer; biBitCount becomes 8 and biSizeImage the
//    new pixel count.
// A null record gives BMP_BAD_POINTER; a record without its headers, palette
// or pixels BMP_BAD_POINTER, any other depth BMP_IMPROPER_TYPE, with nothing
// changed. The result is also stored in status.
[[nodiscard]] uint32_t ConvertToGrayscale(BmpRecord* record);
