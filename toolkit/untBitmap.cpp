#include "untBitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

int BitsPerPixel(TPixelFormat format) {
    switch (format) {
        case pf1bit: return 1;
        case pf4bit: return 4;
        case pf8bit: return 8;
        case pf24bit: return 24;
        default: return 0;
    }
}

namespace {

bool Palettised(TPixelFormat format) { return format == pf1bit || format == pf4bit || format == pf8bit; }

// A device bitmap has no depth of its own; like the screens it is named
// after, it holds 24-bit pixels as soon as it is given any.
TPixelFormat Storable(TPixelFormat format) {
    if (format == pfDevice) return pf24bit;
    if (BitsPerPixel(format) == 0)
        throw EBitmapError("unknown pixel format " + std::to_string(static_cast<int>(format)));
    return format;
}

std::unique_ptr<uint8_t[]> AllocatePixels(int width, int height, TPixelFormat format) {
    if (width < 0 || height < 0)
        throw EBitmapError("a bitmap cannot be " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
    const uint64_t bytes = BmpRowBytes(width, BitsPerPixel(format)) * static_cast<uint64_t>(height);
    if (bytes > kMaxPixelBytes)
        throw EBitmapError("a bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                           " pixels is too large");
    if (bytes == 0) return nullptr;
    try {
        // Zeroed: a new frame's contents are undefined by contract, but a
        // defined black keeps results reproducible.
        return std::make_unique<uint8_t[]>(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        throw EBitmapError("not enough memory for a bitmap of " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels");
    }
}

inline uint8_t GetIndex(const uint8_t* row, int x, int bits) {
    switch (bits) {
        case 8: return row[x];
        case 4: return (x & 1) ? (row[x >> 1] & 0x0f) : (row[x >> 1] >> 4);
        default: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

inline void PutIndex(uint8_t* row, int x, int bits, uint8_t value) {
    switch (bits) {
        case 8: row[x] = value; break;
        case 4: {
            uint8_t& b = row[x >> 1];
            b = (x & 1) ? static_cast<uint8_t>((b & 0xf0) | (value & 0x0f))
                        : static_cast<uint8_t>((b & 0x0f) | (value << 4));
            break;
        }
        default: {
            uint8_t& b = row[x >> 3];
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            b = (value & 1) ? (b | mask) : (b & ~mask);
        }
    }
}

bool SameColours(const std::vector<RGBQUAD>& a, const std::vector<RGBQUAD>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].rgbRed != b[i].rgbRed || a[i].rgbGreen != b[i].rgbGreen || a[i].rgbBlue != b[i].rgbBlue)
            return false;
    return true;
}

// Maps colours to entries of one palette: the nearest entry by squared RGB
// distance, the lowest index winning ties, so an exact match always wins and
// grey g lands on entry g of a grey ramp. A colourful frame has millions of
// distinct colours, so a search over the whole palette per colour is too
// slow. The colour cube is cut into 32 x 32 x 32 cells; each cell lists, once
// it is first needed, only the entries that can be nearest anywhere inside
// it, ordered by their least distance to the cell so the search stops as
// soon as no further entry can win. A small hash of recent answers serves
// frames of few colours (a dark sky) without searching at all. The full grey
// ramp, this program's usual palette, needs no search: the distance to grey
// v is a parabola in v with its minimum at (r + g + b) / 3, which is never
// halfway between two integers, so the nearest integer to it is the entry.
class TColourMatcher {
public:
    explicit TColourMatcher(const std::vector<RGBQUAD>& palette) : palette_(palette) {
        greyRamp_ = palette_.size() == 256;
        for (size_t i = 0; i < palette_.size() && greyRamp_; ++i)
            greyRamp_ = palette_[i].rgbRed == i && palette_[i].rgbGreen == i && palette_[i].rgbBlue == i;
        if (!greyRamp_) {
            recentKey_.assign(kRecent, 0);
            recentIndex_.assign(kRecent, 0);
        }
    }

    uint8_t Match(uint8_t r, uint8_t g, uint8_t b) {
        if (greyRamp_) return static_cast<uint8_t>((2 * (r + g + b) + 3) / 6);
        if (palette_.empty()) return 0;
        const uint32_t colour = (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
        const uint32_t slot = (colour * 0x9E3779B1u) >> (32 - kRecentBits);
        if (recentKey_[slot] == colour + 1) return recentIndex_[slot];
        const uint8_t index = Search(r, g, b);
        recentKey_[slot] = colour + 1;
        recentIndex_[slot] = index;
        return index;
    }

private:
    static constexpr int kCellShift = 3;
    static constexpr int kCellsPerAxis = 256 >> kCellShift;
    static constexpr int kRecentBits = 16;
    static constexpr size_t kRecent = size_t{1} << kRecentBits;

    struct TCandidate {
        int32_t nearest;  // least squared distance from the entry to the cell
        uint8_t r, g, b, index;
    };

    uint8_t Search(int r, int g, int b) {
        const int cell = ((r >> kCellShift) * kCellsPerAxis + (g >> kCellShift)) * kCellsPerAxis + (b >> kCellShift);
        if (cellStart_.empty()) {
            cellStart_.assign(kCellsPerAxis * kCellsPerAxis * kCellsPerAxis, UINT32_MAX);
            cellCount_.assign(cellStart_.size(), 0);
        }
        if (cellStart_[cell] == UINT32_MAX) BuildCell(r >> kCellShift, g >> kCellShift, b >> kCellShift, cell);
        const TCandidate* c = pool_.data() + cellStart_[cell];
        const TCandidate* last = c + cellCount_[cell];
        int best = c->index;
        int bestDistance = INT32_MAX;
        for (; c != last && c->nearest <= bestDistance; ++c) {
            const int dr = c->r - r, dg = c->g - g, db = c->b - b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance || (d == bestDistance && c->index < best)) {
                bestDistance = d;
                best = c->index;
            }
        }
        return static_cast<uint8_t>(best);
    }

    // An entry can be nearest somewhere in the cell only if its least
    // distance to the cell is within the greatest distance of the entry that
    // is worst-case closest; every possible winner, ties included, is kept.
    void BuildCell(int cr, int cg, int cb, int cell) {
        const int lo[3] = {cr << kCellShift, cg << kCellShift, cb << kCellShift};
        std::vector<TCandidate> all;
        all.reserve(palette_.size());
        int bound = INT32_MAX;
        for (size_t i = 0; i < palette_.size(); ++i) {
            const RGBQUAD& e = palette_[i];
            const int v[3] = {e.rgbRed, e.rgbGreen, e.rgbBlue};
            int dmin = 0, dmax = 0;
            for (int k = 0; k < 3; ++k) {
                const int hi = lo[k] + (1 << kCellShift) - 1;
                const int below = v[k] < lo[k] ? lo[k] - v[k] : (v[k] > hi ? v[k] - hi : 0);
                const int far = std::max(std::abs(v[k] - lo[k]), std::abs(v[k] - hi));
                dmin += below * below;
                dmax += far * far;
            }
            all.push_back(TCandidate{dmin, e.rgbRed, e.rgbGreen, e.rgbBlue, static_cast<uint8_t>(i)});
            bound = std::min(bound, dmax);
        }
        std::erase_if(all, [bound](const TCandidate& c) { return c.nearest > bound; });
        std::stable_sort(all.begin(), all.end(),
                         [](const TCandidate& a, const TCandidate& b) { return a.nearest < b.nearest; });
        cellStart_[cell] = static_cast<uint32_t>(pool_.size());
        cellCount_[cell] = static_cast<uint16_t>(all.size());
        pool_.insert(pool_.end(), all.begin(), all.end());
    }

    std::vector<RGBQUAD> palette_;
    bool greyRamp_ = false;
    std::vector<uint32_t> cellStart_;
    std::vector<uint16_t> cellCount_;
    std::vector<TCandidate> pool_;
    std::vector<uint32_t> recentKey_;  // colour + 1; 0 is empty
    std::vector<uint8_t> recentIndex_;
};

}  // namespace

TBitmap::TBitmap(int width, int height, TPixelFormat format) {
    format = Storable(format);
    pixels_ = AllocatePixels(width, height, format);
    width_ = width;
    height_ = height;
    format_ = format;
    if (Palettised(format)) palette_ = GreyRamp(1 << BitsPerPixel(format));
}

TBitmap::TBitmap(const TBitmap& other)
    : width_(other.width_), height_(other.height_), format_(other.format_), palette_(other.palette_) {
    const size_t bytes = other.RowBytes() * static_cast<size_t>(other.height_);
    if (other.pixels_ && bytes) {
        pixels_ = std::make_unique_for_overwrite<uint8_t[]>(bytes);
        std::memcpy(pixels_.get(), other.pixels_.get(), bytes);
    }
}

TBitmap& TBitmap::operator=(const TBitmap& other) {
    if (this != &other) {
        TBitmap copy(other);
        *this = std::move(copy);
    }
    return *this;
}

size_t TBitmap::RowBytes() const { return static_cast<size_t>(BmpRowBytes(width_, BitsPerPixel(format_))); }

uint8_t* TBitmap::ScanLine(int y) { return const_cast<uint8_t*>(static_cast<const TBitmap&>(*this).ScanLine(y)); }

const uint8_t* TBitmap::ScanLine(int y) const {
    if (!pixels_) throw EBitmapError("an empty bitmap has no scan lines");
    if (y < 0 || y >= height_)
        throw EBitmapError("scan line " + std::to_string(y) + " is outside the bitmap's " +
                           std::to_string(height_) + " rows");
    return pixels_.get() + RowBytes() * static_cast<size_t>(y);
}

void TBitmap::SetPalette(std::vector<RGBQUAD> entries) {
    if (!Palettised(format_)) {
        if (!entries.empty()) throw EBitmapError("a bitmap without a palettised pixel format has no palette");
        palette_.clear();
        return;
    }
    const size_t limit = size_t{1} << BitsPerPixel(format_);
    if (entries.size() > limit)
        throw EBitmapError("a palette of " + std::to_string(entries.size()) + " entries does not fit a bitmap of " +
                           std::to_string(BitsPerPixel(format_)) + " bits per pixel");
    palette_ = std::move(entries);
}

void TBitmap::SetSize(int width, int height) {
    if (width == width_ && height == height_ && format_ != pfDevice) return;
    const TPixelFormat format = Storable(format_);
    std::unique_ptr<uint8_t[]> pixels = AllocatePixels(width, height, format);
    if (format != format_ && Palettised(format)) palette_ = GreyRamp(1 << BitsPerPixel(format));
    pixels_ = std::move(pixels);
    width_ = width;
    height_ = height;
    format_ = format;
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    format = Storable(format);
    if (format == format_) return;
    std::vector<RGBQUAD> palette;
    if (Palettised(format)) {
        // A palette that fits the new depth is kept, so a 16-colour frame
        // made 8-bit (or back) keeps every index; otherwise colours are
        // matched against a grey ramp of the new depth.
        const size_t capacity = size_t{1} << BitsPerPixel(format);
        palette = Palettised(format_) && palette_.size() <= capacity ? palette_ : GreyRamp(static_cast<int>(capacity));
    }
    TBitmap converted;
    converted.format_ = format;
    converted.palette_ = std::move(palette);
    converted.pixels_ = AllocatePixels(width_, height_, format);
    converted.width_ = width_;
    converted.height_ = height_;
    if (!Empty()) converted.Draw(0, 0, *this);
    *this = std::move(converted);
}

// Copies the source pixels named by xmap/ymap into the clipped destination
// rectangle [x0, x0 + xmap.size()) x [y0, y0 + ymap.size()). xmap holds, for
// each destination column, the source column to read; likewise ymap for rows.
// contiguous: xmap is consecutive columns (a plain Draw), so whole runs copy.
static void Blit(TBitmap& dest, int x0, int y0, const std::vector<int>& xmap, const std::vector<int>& ymap,
                 const TBitmap& source, bool contiguous) {
    const int n = static_cast<int>(xmap.size());
    if (n == 0 || ymap.empty()) return;
    const int sbits = BitsPerPixel(source.PixelFormat());
    const int dbits = BitsPerPixel(dest.PixelFormat());
    const std::vector<RGBQUAD>& spal = source.Palette();

    if (dbits == 24) {
        if (sbits == 24) {
            for (size_t r = 0; r < ymap.size(); ++r) {
                const uint8_t* s = source.ScanLine(ymap[r]);
                uint8_t* d = dest.ScanLine(y0 + static_cast<int>(r)) + 3 * static_cast<size_t>(x0);
                if (contiguous) {
                    std::memcpy(d, s + 3 * static_cast<size_t>(xmap[0]), 3 * static_cast<size_t>(n));
                } else {
                    for (int i = 0; i < n; ++i, d += 3) std::memcpy(d, s + 3 * static_cast<size_t>(xmap[i]), 3);
                }
            }
            return;
        }
        // Indices past the end of the palette show as black.
        uint8_t bgr[256][3] = {};
        for (size_t i = 0; i < spal.size() && i < 256; ++i) {
            bgr[i][0] = spal[i].rgbBlue;
            bgr[i][1] = spal[i].rgbGreen;
            bgr[i][2] = spal[i].rgbRed;
        }
        for (size_t r = 0; r < ymap.size(); ++r) {
            const uint8_t* s = source.ScanLine(ymap[r]);
            uint8_t* d = dest.ScanLine(y0 + static_cast<int>(r)) + 3 * static_cast<size_t>(x0);
            for (int i = 0; i < n; ++i, d += 3) std::memcpy(d, bgr[GetIndex(s, xmap[i], sbits)], 3);
        }
        return;
    }

    TColourMatcher matcher(dest.Palette());
    if (sbits == 24) {
        for (size_t r = 0; r < ymap.size(); ++r) {
            const uint8_t* s = source.ScanLine(ymap[r]);
            uint8_t* d = dest.ScanLine(y0 + static_cast<int>(r));
            for (int i = 0; i < n; ++i) {
                const uint8_t* p = s + 3 * static_cast<size_t>(xmap[i]);
                const uint8_t index = matcher.Match(p[2], p[1], p[0]);
                if (dbits == 8) d[x0 + i] = index;
                else PutIndex(d, x0 + i, dbits, index);
            }
        }
        return;
    }

    // Palettised into palettised: one lookup per possible index. With the
    // same colours on both sides the indices are the picture and are copied
    // as they are, even those the palette does not cover.
    const bool samePalette = SameColours(spal, dest.Palette());
    const int destCapacity = 1 << dbits;
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) {
        if (samePalette && i < destCapacity) {
            table[i] = static_cast<uint8_t>(i);
        } else {
            const RGBQUAD c = i < static_cast<int>(spal.size()) ? spal[i] : RGBQUAD{0, 0, 0, 0};
            table[i] = matcher.Match(c.rgbRed, c.rgbGreen, c.rgbBlue);
        }
    }
    const bool copyRows = samePalette && sbits == 8 && dbits == 8 && contiguous;
    for (size_t r = 0; r < ymap.size(); ++r) {
        const uint8_t* s = source.ScanLine(ymap[r]);
        uint8_t* d = dest.ScanLine(y0 + static_cast<int>(r));
        if (copyRows) {
            std::memcpy(d + x0, s + xmap[0], static_cast<size_t>(n));
        } else if (dbits == 8) {
            for (int i = 0; i < n; ++i) d[x0 + i] = table[GetIndex(s, xmap[i], sbits)];
        } else {
            for (int i = 0; i < n; ++i) PutIndex(d, x0 + i, dbits, table[GetIndex(s, xmap[i], sbits)]);
        }
    }
}

void TBitmap::Draw(int x, int y, const TBitmap& source) {
    if (&source == this) {  // overlapping rows would read what was just written
        const TBitmap copy(source);
        Draw(x, y, copy);
        return;
    }
    if (Empty() || source.Empty()) return;
    const int64_t x0 = std::max<int64_t>(0, x), x1 = std::min<int64_t>(width_, int64_t{x} + source.width_);
    const int64_t y0 = std::max<int64_t>(0, y), y1 = std::min<int64_t>(height_, int64_t{y} + source.height_);
    if (x0 >= x1 || y0 >= y1) return;
    std::vector<int> xmap(static_cast<size_t>(x1 - x0)), ymap(static_cast<size_t>(y1 - y0));
    for (size_t i = 0; i < xmap.size(); ++i) xmap[i] = static_cast<int>(x0 - x + static_cast<int64_t>(i));
    for (size_t i = 0; i < ymap.size(); ++i) ymap[i] = static_cast<int>(y0 - y + static_cast<int64_t>(i));
    Blit(*this, static_cast<int>(x0), static_cast<int>(y0), xmap, ymap, source, true);
}

void TBitmap::StretchDraw(const TRect& dest, const TBitmap& source) {
    if (&source == this) {
        const TBitmap copy(source);
        StretchDraw(dest, copy);
        return;
    }
    const int64_t destW = int64_t{dest.Right} - dest.Left, destH = int64_t{dest.Bottom} - dest.Top;
    if (Empty() || source.Empty() || destW <= 0 || destH <= 0) return;
    const int64_t x0 = std::max<int64_t>(0, dest.Left), x1 = std::min<int64_t>(width_, dest.Right);
    const int64_t y0 = std::max<int64_t>(0, dest.Top), y1 = std::min<int64_t>(height_, dest.Bottom);
    if (x0 >= x1 || y0 >= y1) return;
    std::vector<int> xmap(static_cast<size_t>(x1 - x0)), ymap(static_cast<size_t>(y1 - y0));
    for (size_t i = 0; i < xmap.size(); ++i)
        xmap[i] = static_cast<int>((x0 + static_cast<int64_t>(i) - dest.Left) * source.width_ / destW);
    for (size_t i = 0; i < ymap.size(); ++i)
        ymap[i] = static_cast<int>((y0 + static_cast<int64_t>(i) - dest.Top) * source.height_ / destH);
    Blit(*this, static_cast<int>(x0), static_cast<int>(y0), xmap, ymap, source, destW == source.width_);
}
