#include "untImgProc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "untParallelRows.h"

// Speed without changing a byte. Every kernel output is a function of one or
// two source bytes and the parameters, so each kernel first works out the
// rule's own double-precision results for every possible byte (or pair of
// bytes) into a table, and the picture pass only looks them up. The box mean
// is a sum of bytes, which integers hold exactly, so running sums give the
// very sums the (2r + 1)^2 window would; the division by the window's count
// is done by multiplying with a rounded-up reciprocal, exact for every sum a
// window of that count can hold (see TDivider). Rows are independent, so
// bands of rows go to several threads and every byte stays what one thread
// would give.

namespace {

int BytesPerPixel(const TBitmap& b) {
    if (b.PixelFormat() == pf24bit) return 3;
    if (b.PixelFormat() == pf8bit) return 1;
    throw EBitmapError("post-processing works on 8-bit and 24-bit pictures only");
}

void CheckPair(const TBitmap& source, const TBitmap& destination) {
    BytesPerPixel(source);
    if (destination.Width() != source.Width() || destination.Height() != source.Height() ||
        destination.PixelFormat() != source.PixelFormat())
        throw EBitmapError("the result bitmap must have the picture's size and pixel format");
}

size_t RowLength(const TBitmap& b) { return static_cast<size_t>(b.Width()) * static_cast<size_t>(BytesPerPixel(b)); }

// Below this a picture stays on one thread: starting threads would cost
// more than they save.
constexpr uint64_t kSerialPictureBytes = uint64_t{1} << 18;

// How many row bands a picture is cut into: one per thread.
unsigned BandsFor(const TBitmap& b, unsigned threads) {
    return ParallelThreads(threads, b.Height(), RowLength(b) * static_cast<uint64_t>(b.Height()), kSerialPictureBytes);
}

// Exact floor(n / d) by a multiplication: with m = ceil(2^32 / d),
// n * m / 2^32 = n / d + n * (m d - 2^32) / (d 2^32), and the error term is
// below 1 / d whenever n * d < 2^32, too little to cross the next whole
// number. A window of count d sums at most 255 d, so counts up to 4096
// qualify; larger windows (a radius above 31) divide plainly.
struct TDivider {
    explicit TDivider(uint64_t maxCount) : fast(maxCount <= 4096) {
        if (fast) {
            reciprocal.resize(maxCount + 1);
            for (uint64_t d = 1; d <= maxCount; ++d) reciprocal[d] = ((uint64_t{1} << 32) + d - 1) / d;
        }
    }
    bool fast;
    std::vector<uint64_t> reciprocal;
};

// The clipped window's count along one axis at position p of n, radius r.
inline int64_t Span(int64_t p, int64_t n, int64_t r) { return std::min(p + r, n - 1) - std::max<int64_t>(p - r, 0) + 1; }

// The box mean of one picture, produced row by row. Columns first: a row of
// vertical sums slides down the band (one whole-row add and subtract per
// row, which the compiler turns into vector code), then one running sum
// along that row per channel, kept in registers, gives each window's sum,
// which is divided at once. VSum holds a column's sum, HSum a window's.
template <class VSum, class HSum, int Step>
class TBoxMean {
public:
    TBoxMean(const TBitmap& source, int64_t r, uint64_t maxCount)
        : src_(source), width_(source.Width()), height_(source.Height()),
          rowBytes_(static_cast<size_t>(width_) * Step), r_(r), divider_(maxCount) {}

    // Memory one band works in; made before the threads start, since a
    // thread cannot report a failed allocation.
    struct TSpace {
        // The column sums between zeros, (r + 1) pixels of them on the left
        // and r on the right, so that the running sum needs no border cases.
        std::vector<VSum> padded;
        std::vector<uint8_t> out;
    };
    TSpace MakeSpace() const {
        TSpace s;
        s.padded.assign(rowBytes_ + static_cast<size_t>(2 * r_ + 1) * Step, VSum{0});
        s.out.resize(rowBytes_);
        return s;
    }

    // emit(y, row) for y0 <= y < y1 in order, row the mean's bytes of row y.
    template <class Emit>
    void Band(TSpace& s, int y0, int y1, const Emit& emit) const {
        if (y0 >= y1) return;
        const int64_t r = r_;
        VSum* v = s.padded.data() + static_cast<size_t>(r + 1) * Step;
        for (int64_t y = std::max<int64_t>(y0 - r, 0); y <= std::min<int64_t>(y0 + r, height_ - 1); ++y) {
            const uint8_t* row = src_.ScanLine(static_cast<int>(y));
            for (size_t i = 0; i < rowBytes_; ++i) v[i] += row[i];
        }
        for (int64_t y = y0;; ++y) {
            Horizontal(v, static_cast<uint64_t>(Span(y, height_, r)), s.out.data());
            emit(static_cast<int>(y), s.out.data());
            if (y + 1 >= y1) break;
            const int64_t enter = y + r + 1, leave = y - r;
            if (enter < height_ && leave >= 0) {
                const uint8_t* in = src_.ScanLine(static_cast<int>(enter));
                const uint8_t* out = src_.ScanLine(static_cast<int>(leave));
                for (size_t i = 0; i < rowBytes_; ++i) v[i] = static_cast<VSum>(v[i] + in[i] - out[i]);
            } else if (enter < height_) {
                const uint8_t* in = src_.ScanLine(static_cast<int>(enter));
                for (size_t i = 0; i < rowBytes_; ++i) v[i] += in[i];
            } else if (leave >= 0) {
                const uint8_t* out = src_.ScanLine(static_cast<int>(leave));
                for (size_t i = 0; i < rowBytes_; ++i) v[i] -= out[i];
            }
        }
    }

private:
    // out[i] := (sum of the column sums of the same channel within r pixels
    // of byte i) / (their count), the zeros beyond the borders adding nothing.
    void Horizontal(const VSum* v, uint64_t countY, uint8_t* out) const {
        const int64_t r = r_, w = width_;
        const ptrdiff_t ahead = static_cast<ptrdiff_t>(r) * Step, behind = static_cast<ptrdiff_t>(r + 1) * Step;
        HSum sum[Step];
        for (int c = 0; c < Step; ++c) {
            sum[c] = 0;
            for (int64_t k = 0; k <= r; ++k) sum[c] += v[c + k * Step];
        }
        // The sums hold pixel 0's window; each later pixel's window is the
        // one before with a column entering and a column leaving.
        auto run = [&](int64_t from, int64_t to, auto divide) {
            if (from == 0 && to > 0) {
                for (int c = 0; c < Step; ++c) out[c] = divide(0, sum[c]);
                from = 1;
            }
            const VSum* p = v + from * Step;
            uint8_t* o = out + from * Step;
            for (int64_t x = from; x < to; ++x, p += Step, o += Step) {
                for (int c = 0; c < Step; ++c) {
                    sum[c] += static_cast<HSum>(p[c + ahead]) - static_cast<HSum>(p[c - behind]);
                    o[c] = divide(x, sum[c]);
                }
            }
        };
        // Whole windows between the edges share one count.
        const int64_t innerFrom = std::min(r, w), innerTo = std::max(innerFrom, w - r);
        const uint64_t inner = static_cast<uint64_t>(2 * r + 1) * countY;
        if (divider_.fast) {
            const uint64_t* rec = divider_.reciprocal.data();
            auto edge = [&](int64_t x, HSum n) {
                return static_cast<uint8_t>((n * rec[static_cast<uint64_t>(Span(x, w, r)) * countY]) >> 32);
            };
            run(0, innerFrom, edge);
            if (innerFrom < innerTo) {
                const uint64_t m = rec[inner];
                run(innerFrom, innerTo, [m](int64_t, HSum n) { return static_cast<uint8_t>((n * m) >> 32); });
            }
            run(innerTo, w, edge);
        } else {
            run(0, w, [&](int64_t x, HSum n) {
                return static_cast<uint8_t>(n / (static_cast<uint64_t>(Span(x, w, r)) * countY));
            });
        }
    }

    const TBitmap& src_;
    int width_, height_;
    size_t rowBytes_;
    int64_t r_;
    TDivider divider_;
};

// emit(band, y, meanRow) for every row of the picture, with the mean of
// radius r (r >= 1), over the picture's bands; emit must not throw.
template <class VSum, class HSum, int Step, class Emit>
void ForEachMeanRowT(const TBitmap& source, int64_t r, uint64_t maxCount, unsigned bands, const Emit& emit) {
    TBoxMean<VSum, HSum, Step> mean(source, r, maxCount);
    std::vector<typename TBoxMean<VSum, HSum, Step>::TSpace> spaces;
    spaces.reserve(bands);
    for (unsigned b = 0; b < bands; ++b) spaces.push_back(mean.MakeSpace());
    ParallelBands(source.Height(), bands, [&](unsigned band, int y0, int y1) {
        mean.Band(spaces[band], y0, y1, [&](int y, const uint8_t* row) { emit(band, y, row); });
    });
}

template <int Step, class Emit>
void ForEachMeanRowStep(const TBitmap& source, int32_t radius, unsigned bands, const Emit& emit) {
    // A window reaching past every edge adds nothing more.
    const int64_t r = std::min<int64_t>(radius, std::max(source.Width(), source.Height()));
    const uint64_t tall = static_cast<uint64_t>(std::min<int64_t>(2 * r + 1, source.Height()));
    const uint64_t maxCount = static_cast<uint64_t>(std::min<int64_t>(2 * r + 1, source.Width())) * tall;
    // The dialogs' radii (up to 5) take the first, narrowest sums.
    if (tall * 255 <= UINT16_MAX && maxCount * 255 <= UINT32_MAX)
        ForEachMeanRowT<uint16_t, uint64_t, Step>(source, r, maxCount, bands, emit);
    else
        ForEachMeanRowT<uint64_t, uint64_t, Step>(source, r, maxCount, bands, emit);
}

// emit(band, y, meanRow) over the mean of radius r, or over the source's own
// rows when r is 0 or less (the mean is then the picture itself).
template <class Emit>
void ForEachMeanRow(const TBitmap& source, int32_t radius, unsigned bands, const Emit& emit) {
    if (source.Empty()) return;
    if (radius <= 0) {
        ParallelBands(source.Height(), bands, [&](unsigned band, int y0, int y1) {
            for (int y = y0; y < y1; ++y) emit(band, y, source.ScanLine(y));
        });
        return;
    }
    if (BytesPerPixel(source) == 3)
        ForEachMeanRowStep<3>(source, radius, bands, emit);
    else
        ForEachMeanRowStep<1>(source, radius, bands, emit);
}

// A byte of a table indexed by (X << 8) | D.
using TPairTable = std::vector<uint8_t>;

}  // namespace

void ModifyHistogram(const TBitmap& source, TBitmap& destination, uint8_t low, uint8_t high, unsigned threads) {
    CheckPair(source, destination);
    if (source.Empty()) return;
    const size_t n = RowLength(source);
    const unsigned bands = BandsFor(source, threads);
    std::vector<std::array<uint8_t, 2>> extremes(bands, {255, 0});
    ParallelBands(source.Height(), bands, [&](unsigned band, int y0, int y1) {
        uint8_t lo = 255, hi = 0;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = source.ScanLine(y);
            for (size_t i = 0; i < n; ++i) {
                lo = std::min(lo, s[i]);
                hi = std::max(hi, s[i]);
            }
        }
        extremes[band] = {lo, hi};
    });
    uint8_t minimum = 255, maximum = 0;
    for (const auto& e : extremes) {
        minimum = std::min(minimum, e[0]);
        maximum = std::max(maximum, e[1]);
    }
    int range = maximum - minimum;
    int span = static_cast<uint8_t>(high - low);
    if (range == 0) range = 1;
    if (span == 0) span = 1;
    const double factor = static_cast<double>(span) / range;
    uint8_t table[256];
    for (int x = 0; x < 256; ++x) {
        const double value = x * factor;
        table[x] = value >= 255.0 ? 255 : static_cast<uint8_t>(value);
    }
    ParallelBands(source.Height(), bands, [&](unsigned, int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = source.ScanLine(y);
            uint8_t* d = destination.ScanLine(y);
            for (size_t i = 0; i < n; ++i) d[i] = table[s[i]];
        }
    });
}

TBitmap BlurBitmap(const TBitmap& source, int32_t radius, unsigned threads) {
    if (source.Empty() || radius <= 0) return source;
    BytesPerPixel(source);
    TBitmap blurred(source.Width(), source.Height(), source.PixelFormat());
    blurred.SetPalette(source.Palette());
    const size_t n = RowLength(source);
    // Each band writes its own rows of the new bitmap; nothing else touches them.
    std::vector<uint8_t*> rows(static_cast<size_t>(source.Height()));
    for (int y = 0; y < source.Height(); ++y) rows[static_cast<size_t>(y)] = blurred.ScanLine(y);
    ForEachMeanRow(source, radius, BandsFor(source, threads),
                   [&](unsigned, int y, const uint8_t* mean) { std::memcpy(rows[static_cast<size_t>(y)], mean, n); });
    return blurred;
}

void ApplyDDP(const TBitmap* source, TBitmap& destination, int32_t fuzz, int32_t low, int32_t high,
              unsigned threads) {
    if (source == nullptr || high == 0) return;
    CheckPair(*source, destination);
    if (source->Empty()) return;
    // Ranges of int64 keep 256 - low and D + high clear of overflow for any
    // arguments; within the dialog's ranges they are the plain sums.
    const double gain = static_cast<double>(256 - int64_t{low});
    auto rule = [&](int x, int d) {
        const double value = gain * (x / static_cast<double>(d + int64_t{high})) + low;
        if (value > 254) return uint8_t{255};
        if (!(value > 0)) return uint8_t{0};  // also a 0 / 0 of a high below 0
        return static_cast<uint8_t>(value);
    };
    TPairTable table(256 * 256);
    for (int x = 0; x < 256; ++x)
        for (int d = 0; d < 256; ++d) table[static_cast<size_t>(x << 8 | d)] = rule(x, d);

    const size_t n = RowLength(*source);
    std::vector<uint8_t*> out(static_cast<size_t>(source->Height()));
    for (int y = 0; y < source->Height(); ++y) out[static_cast<size_t>(y)] = destination.ScanLine(y);
    const uint8_t* t = table.data();
    // Written in place, one band would overwrite rows that the next band's
    // mean still reads: the picture is read from a copy then.
    const TBitmap* from = source;
    TBitmap copy;
    if (source == &destination) {
        copy = *source;
        from = &copy;
    }
    ForEachMeanRow(*from, fuzz, BandsFor(*from, threads), [&](unsigned, int y, const uint8_t* mean) {
        const uint8_t* s = from->ScanLine(y);
        uint8_t* d = out[static_cast<size_t>(y)];
        for (size_t i = 0; i < n; ++i) d[i] = t[static_cast<size_t>(s[i]) << 8 | mean[i]];
    });
}

void ApplyUnsharpMask(const TBitmap* source, TBitmap& destination, int32_t aperture, int32_t intensity,
                      unsigned threads) {
    if (source == nullptr || intensity == 0) return;
    CheckPair(*source, destination);
    if (source->Empty()) return;
    auto sharpened = [&](int s, int d) { return s - static_cast<double>(int64_t{d} * intensity) * 0.01; };
    TPairTable first(256 * 256);
    for (int s = 0; s < 256; ++s)
        for (int d = 0; d < 256; ++d) {
            double value = sharpened(s, d);
            if (value < 0) value = 0;
            value += 0.5;
            // Only an intensity below 0, which the dialog never gives, goes past 255.
            first[static_cast<size_t>(s << 8 | d)] = value >= 255.0 ? 255 : static_cast<uint8_t>(value);
        }

    const size_t n = RowLength(*source);
    const unsigned bands = BandsFor(*source, threads);
    std::vector<uint8_t*> out(static_cast<size_t>(source->Height()));
    for (int y = 0; y < source->Height(); ++y) out[static_cast<size_t>(y)] = destination.ScanLine(y);
    const TBitmap* from = source;
    TBitmap copy;
    if (source == &destination) {
        copy = *source;
        from = &copy;
    }
    // Each band keeps its brightest byte and the mean there at its first
    // occurrence; the bands, taken in order with a strictly greater test,
    // give the first brightest byte of the whole picture.
    struct TBrightest {
        int s = 0, d = 0;
    };
    std::vector<TBrightest> brightest(bands);
    const uint8_t* t = first.data();
    ForEachMeanRow(*from, aperture, bands, [&](unsigned band, int y, const uint8_t* mean) {
        const uint8_t* s = from->ScanLine(y);
        uint8_t* d = out[static_cast<size_t>(y)];
        const uint8_t rowMax = *std::max_element(s, s + n);
        TBrightest& b = brightest[band];
        if (rowMax > b.s) {
            const size_t at = static_cast<size_t>(std::find(s, s + n, rowMax) - s);
            b = {rowMax, mean[at]};
        }
        for (size_t i = 0; i < n; ++i) d[i] = t[static_cast<size_t>(s[i]) << 8 | mean[i]];
    });
    double m = 0, nAtM = 0;
    for (const TBrightest& b : brightest)
        if (b.s > m) {
            m = b.s;
            nAtM = sharpened(b.s, b.d);
        }
    const double offset = m - nAtM;

    uint8_t second[256];
    for (int v = 0; v < 256; ++v) {
        double value = v + offset;
        if (value > 254) value = 255;
        value += 0.5;
        second[v] = !(value >= 0) ? 0 : static_cast<uint8_t>(value);  // below 0 only for an intensity below 0
    }
    ParallelBands(source->Height(), bands, [&](unsigned, int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t* d = out[static_cast<size_t>(y)];
            for (size_t i = 0; i < n; ++i) d[i] = second[d[i]];
        }
    });
}
