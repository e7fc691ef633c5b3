#include "untConvertKernels.h"

#include <cstddef>

#include "untBmpFormat.h"

uint32_t ConvertToGrayscale(BmpRecord* record) {
    if (!record) return BMP_BAD_POINTER;
    record->status = BMP_NO_ERROR;
    if (!record->infoHeader || !record->palette || !record->pixels) return record->status = BMP_BAD_POINTER;
    BITMAPINFOHEADER& ih = *record->infoHeader;
    if (ih.biBitCount != 8 && ih.biBitCount != 24) return record->status = BMP_IMPROPER_TYPE;

    const size_t count = BmpPixelBytes(*record) / static_cast<size_t>(BmpBytesPerPixel(*record));
    uint8_t* px = record->pixels;
    if (ih.biBitCount == 8) {
        for (size_t i = 0; i < count; ++i) px[i] = record->palette[px[i]].rgbRed;
    } else {
        // In place, front to back: byte i is written only after pixel i (at 3i) was read.
        for (size_t i = 0; i < count; ++i) px[i] = px[3 * i];
        ih.biBitCount = 8;
        ih.biSizeImage = static_cast<uint32_t>(count);
    }
    ih.biClrUsed = 0;
    FillGreyRamp(record->palette);
    return BMP_NO_ERROR;
}
