// The toolkit's in-memory bitmap: what the series commands, the align window
// and post-processing hold frames in. Rows are unpadded and top row first;
// 24-bit rows are blue, green, red. It loads and saves through our own bitmap
// codec (untBmpCodec), which keeps pixel format, palette and every value.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "untBmpFormat.h"  // RGBQUAD, GreyRamp

// The numbers are those the program has always reported for each format.
enum TPixelFormat : int {
    pfDevice = 0,
    pf1bit = 1,
    pf4bit = 2,
    pf8bit = 3,
    pf24bit = 6,
};

// What the toolkit throws when it cannot load or save a bitmap (a command
// ends and the default error display shows what()).
class EBitmapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

class TBitmap {
public:
    TBitmap() = default;
    // An 8-bit (or 1/4-bit) bitmap starts with a grey ramp of 2^bits entries.
    TBitmap(int width, int height, TPixelFormat format);
    TBitmap(const TBitmap& other);
    TBitmap& operator=(const TBitmap& other);
    TBitmap(TBitmap&&) noexcept = default;
    TBitmap& operator=(TBitmap&&) noexcept = default;
    ~TBitmap() = default;

    int Width() const { return width_; }
    int Height() const { return height_; }
    TPixelFormat PixelFormat() const { return format_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    // Unpadded bytes of one row in the current format.
    size_t RowBytes() const;
    uint8_t* ScanLine(int y);
    const uint8_t* ScanLine(int y) const;

    // Palette entries, as many as the bitmap holds (empty for 24-bit).
    const std::vector<RGBQUAD>& Palette() const { return palette_; }
    void SetPalette(std::vector<RGBQUAD> entries);  // at most 256 entries

    // Resizes (contents undefined) or changes format (pixels converted:
    // palettised to 24-bit through the palette, 24-bit to 8-bit by palette
    // matching against a grey ramp; between palettised depths the palette is
    // kept when it fits, otherwise colours are matched to a grey ramp of the
    // new depth). A pfDevice bitmap given pixels becomes 24-bit.
    void SetSize(int width, int height);
    void SetPixelFormat(TPixelFormat format);

    // Full copy: size, format, palette and pixels.
    void Assign(const TBitmap& source) { *this = source; }

    // Copies source with its top-left corner at (x, y), clipped to this
    // bitmap, converting colours: palettised sources through their palette
    // (an index the palette lacks is black); into an 8-bit bitmap each colour
    // goes to its palette entry (grey g to entry g of a grey ramp, otherwise
    // the nearest palette colour by squared RGB distance, the first entry
    // winning ties). 1- and 4-bit bitmaps are drawn into the same way. Between
    // bitmaps whose palettes hold the same colours the indices are copied.
    void Draw(int x, int y, const TBitmap& source);
    // The same, scaling source to fill dest by nearest-neighbour sampling:
    // destination column dx shows source column (dx - dest.Left) * source
    // width / dest width, rounded down; rows likewise.
    void StretchDraw(const TRect& dest, const TBitmap& source);

    void LoadFromFile(const std::string& path);      // throws EBitmapError
    void SaveToFile(const std::string& path) const;  // throws EBitmapError

private:
    friend class TBmpCodec;
    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = pfDevice;
    std::vector<RGBQUAD> palette_;
    std::unique_ptr<uint8_t[]> pixels_;
};

// Bits a pixel of the format holds: 1, 4, 8 or 24; 0 for pfDevice.
int BitsPerPixel(TPixelFormat format);
