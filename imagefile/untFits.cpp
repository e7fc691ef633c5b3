#include "untFits.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "untSafeFile.h"

namespace {

constexpr size_t kCardBytes = 80;

// Writes one card into its 80-byte slot. The block is blank everywhere a
// card leaves no text, so snprintf's terminator is the only byte to undo.
void PutCard(char* block, int index, const char* text) {
    char card[kCardBytes + 1];
    const int n = std::snprintf(card, sizeof card, "%s", text);
    const size_t used = n < 0 ? 0 : std::min(static_cast<size_t>(n), kCardBytes);
    std::memcpy(block + static_cast<size_t>(index) * kCardBytes, card, used);
}

// Keyword in columns 1-8, "= " in 9-10, the value right-justified to end in column 30.
void PutValueCard(char* block, int index, const char* keyword, long value) {
    char card[kCardBytes + 1];
    std::snprintf(card, sizeof card, "%-8.8s= %20ld", keyword, value);
    PutCard(block, index, card);
}

}  // namespace

std::string FitsFileName(const std::string& bmpPath) {
    const size_t slash = bmpPath.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = bmpPath.find('.', nameStart);
    return (dot == std::string::npos ? bmpPath : bmpPath.substr(0, dot)) + ".fts";
}

uint32_t PrepareFits(BmpRecord* bmp, FitsRecord* fits) {
    if (!fits) return BMP_BAD_POINTER;
    FreeFitsRecord(fits);
    if (!bmp) return BMP_BAD_POINTER;
    auto fail = [bmp](uint32_t code) {
        bmp->status = code;
        return code;
    };
    if (!bmp->infoHeader || !bmp->pixels) return fail(BMP_BAD_POINTER);
    const BITMAPINFOHEADER& ih = *bmp->infoHeader;
    if (ih.biBitCount != 8 || ih.biWidth <= 0 || ih.biHeight <= 0) return fail(BMP_IMPROPER_TYPE);

    const auto width = static_cast<size_t>(ih.biWidth);
    const auto height = static_cast<size_t>(ih.biHeight);
    const uint64_t samples = static_cast<uint64_t>(width) * height;
    if (samples > UINT32_MAX / 2) return fail(BMP_NO_MEMORY);
    fits->data = new (std::nothrow) uint8_t[samples * 2];
    if (!fits->data) return fail(BMP_NO_MEMORY);
    fits->fileName = FitsFileName(bmp->fileName);
    fits->bitsPerSample = 16;
    fits->sampleCount = static_cast<uint32_t>(samples);

    // FITS readers put the first row of the data unit at the bottom: the
    // record's last row goes first. Each sample is a zero high byte and the pixel.
    uint8_t* out = fits->data;
    for (size_t y = height; y-- > 0;) {
        const uint8_t* row = bmp->pixels + y * width;
        for (size_t x = 0; x < width; ++x) {
            *out++ = 0;
            *out++ = row[x];
        }
    }

    char* block = fits->headerBlock;
    std::memset(block, ' ', kFitsBlockBytes);
    PutCard(block, 0, "SIMPLE  =                    T");
    PutValueCard(block, 1, "BITPIX", 16);
    PutValueCard(block, 2, "NAXIS", 2);
    PutValueCard(block, 3, "NAXIS1", ih.biWidth);
    PutValueCard(block, 4, "NAXIS2", ih.biHeight);
    PutCard(block, 5, "COMMENT");
    PutCard(block, 6, "END");
    return BMP_NO_ERROR;
}

uint32_t WriteFits(FitsRecord* fits) {
    if (!fits || (!fits->data && fits->sampleCount > 0)) return BMP_BAD_POINTER;
    const int32_t bits = fits->bitsPerSample < 0 ? -fits->bitsPerSample : fits->bitsPerSample;
    const uint64_t dataBytes = static_cast<uint64_t>(fits->sampleCount) * static_cast<uint64_t>(bits / 8);
    const uint64_t padding = (kFitsBlockBytes - dataBytes % kFitsBlockBytes) % kFitsBlockBytes;
    static const char kZeros[kFitsBlockBytes] = {};

    TSafeFileWriter writer;
    const bool written = writer.Open(fits->fileName) && writer.Write(fits->headerBlock, kFitsBlockBytes) &&
                         writer.Write(fits->data, static_cast<size_t>(dataBytes)) &&
                         writer.Write(kZeros, static_cast<size_t>(padding)) && writer.Commit();
    fits->systemError = writer.ErrorNumber();
    return written ? BMP_NO_ERROR : BMP_FILE_ERROR;
}

void FreeFitsRecord(FitsRecord* fits) {
    if (!fits) return;
    delete[] fits->data;
    fits->data = nullptr;
}
