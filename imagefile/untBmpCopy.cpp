#include "untBmpCopy.h"

#include <cstring>

uint32_t CopyBmpRecord(BmpRecord& destination, const BmpRecord& source) {
    if (!source.fileHeader || !source.infoHeader || !source.pixels || !destination.fileHeader ||
        !destination.infoHeader || !destination.pixels)
        return BMP_BAD_POINTER;
    if (&destination == &source) return BMP_NO_ERROR;
    const size_t count = RecordByteCount(source);
    // The destination's room is what its own headers describe, checked
    // before they are overwritten with the source's.
    if (count > BmpPixelBytes(destination)) return BMP_IMPROPER_TYPE;
    std::memcpy(destination.fileHeader, source.fileHeader, sizeof(BITMAPFILEHEADER));
    std::memcpy(destination.infoHeader, source.infoHeader, sizeof(BITMAPINFOHEADER));
    std::memcpy(destination.pixels, source.pixels, count);
    destination.fileName = source.fileName;
    return BMP_NO_ERROR;
}
