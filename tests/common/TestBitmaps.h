// Toolkit bitmaps for the tests: made from bytes, read back as bytes, filled
// at random.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "untBitmap.h"

namespace vt {

// A w x h bitmap holding `bytes` row after row, top row first, RowBytes() a
// row (3 bytes a pixel, blue first, for 24-bit).
inline TBitmap MakeBitmap(int w, int h, TPixelFormat format, const std::vector<uint8_t>& bytes) {
    TBitmap b(w, h, format);
    const auto n = static_cast<long>(b.RowBytes());
    for (int y = 0; y < h; ++y) std::copy_n(bytes.begin() + n * y, n, b.ScanLine(y));
    return b;
}

// Every row's bytes, top row first.
inline std::vector<uint8_t> BitmapBytes(const TBitmap& b) {
    std::vector<uint8_t> v;
    for (int y = 0; y < b.Height(); ++y) v.insert(v.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
    return v;
}

// Random bytes; an 8-bit bitmap gets a random palette (reserved bytes too)
// of `entries` colours and random indices into it.
inline TBitmap RandomBitmap(int w, int h, TPixelFormat format, std::mt19937& rng, size_t entries = 256) {
    TBitmap b(w, h, format);
    if (format == pf8bit) {
        std::vector<RGBQUAD> palette(entries);
        for (RGBQUAD& e : palette) e = RGBQUAD{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
        b.SetPalette(palette);
    }
    for (int y = 0; y < h; ++y)
        for (size_t i = 0; i < b.RowBytes(); ++i)
            b.ScanLine(y)[i] = uint8_t(format == pf8bit ? rng() % entries : rng());
    return b;
}

// The toolkit's error message from f, or "" when there was none.
inline std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EBitmapError& e) {
        return e.what();
    }
    return "";
}

}  // namespace vt
