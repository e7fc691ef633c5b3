#include "untCombine.h"

#include <algorithm>
#include <cmath>

#include "untMedianKernel.h"
#include "untParallelRows.h"
#include "untSimdClones.h"

namespace {

// Below about a megabyte of frames the threads cost more than they save.
constexpr uint64_t kSerialStackBytes = uint64_t{1} << 20;
// Pixels whose sums are gathered at once, over every frame in turn. Shorter
// runs of each frame row make 32 frames read side by side markedly slower.
constexpr size_t kBlock = 512;
// LowerMedianRow's vector block; the rest of a row it does one pixel at a time.
constexpr size_t kMedianBlock = 128;
// Pixels of a segment expanded at a time when 8-bit frames join a 24-bit one.
constexpr int kChunk = 64;

bool Wide(const aligndata& f) { return f.pixelFormat == pf24bit; }
int PixelBytes(const aligndata& f) { return Wide(f) ? 3 : 1; }
// The one component an 8-bit frame's channel feeds (R and C red, G and M
// green, B and Y blue), or -1 for all three.
int Lane(const aligndata& f) { return f.channel >= 1 && f.channel <= 6 ? (f.channel - 1) % 3 : -1; }
int RowWidth(const TStackRowBuffers& buffers) { return static_cast<int>(buffers.sum.size() / 3); }

// Exact unsigned division of any value below 2^16 by a fixed divisor, by one
// multiplication: with m = ceil(2^32 / d) the error of s * m / 2^32 stays
// below 1 / d, so the floor is that of s / d. Every sum of the rules is below
// 2^16: at most kMaxFrames samples of 255.
class TDivider {
public:
    explicit TDivider(uint64_t d = 1) : m_(d == 0 || d > 0xFFFF ? 0 : ((uint64_t{1} << 32) + d - 1) / d) {}
    uint32_t operator()(uint32_t s) const { return static_cast<uint32_t>((s * m_) >> 32); }

private:
    uint64_t m_;
};

uint32_t Limit255(uint32_t v) { return std::min(v, 255u); }

uint32_t ScaleOf(const TStackParms& parms) { return static_cast<uint32_t>(std::max(parms.ScaleFactor, 1)); }

// A canvas row cut where any frame starts or ends: between two cuts the
// frames over the row are the same, so a rule runs over a whole segment with
// one row pointer a frame.
class TRowSegments {
public:
    TRowSegments(const aligndata* frames, int count, int y, int width) {
        cuts_ = {0, width};
        for (int i = 0; i < count; ++i) {
            const aligndata& f = frames[i];
            const int x0 = std::max(f.originX, 0), x1 = std::min(f.endX, width);
            if (y < f.originY || y >= f.endY || x0 >= x1 || !f.bitmap) continue;
            over_.push_back(&f);
            lines_.push_back(f.bitmap->ScanLine(y - f.originY));
            cuts_.push_back(x0);
            cuts_.push_back(x1);
        }
        std::sort(cuts_.begin(), cuts_.end());
        cuts_.erase(std::unique(cuts_.begin(), cuts_.end()), cuts_.end());
    }

    const std::vector<const aligndata*>& Frames() const { return over_; }
    const std::vector<const uint8_t*>& Lines() const { return lines_; }

    // f(x0, x1, frames, rows): rows[i] is frames[i]'s pixel at canvas column x0.
    template <class F>
    void ForEach(F&& f) {
        std::vector<const aligndata*> cover;
        std::vector<const uint8_t*> rows;
        for (size_t s = 0; s + 1 < cuts_.size(); ++s) {
            const int x0 = cuts_[s], x1 = cuts_[s + 1];
            cover.clear();
            rows.clear();
            for (size_t i = 0; i < over_.size(); ++i) {
                if (over_[i]->originX > x0 || over_[i]->endX < x1) continue;
                cover.push_back(over_[i]);
                rows.push_back(lines_[i] + (x0 - over_[i]->originX) * PixelBytes(*over_[i]));
            }
            f(x0, x1, cover, rows);
        }
    }

private:
    std::vector<const aligndata*> over_;  // the frames over the row
    std::vector<const uint8_t*> lines_;   // and their rows
    std::vector<int> cuts_;
};

// --- the mean rules ----------------------------------------------------------

class TMeanRule {
public:
    explicit TMeanRule(const TStackParms& parms)
        : sum_(parms.StackMode == smSum), wcmy_(parms.WcmyMode == 1), scale_(ScaleOf(parms)) {
        for (int i = 0; i < 256; ++i) {
            level_[i] = parms.palette[i].rgbRed;
            identity_ = identity_ && level_[i] == i;
        }
    }

    bool Identity() const { return identity_; }
    const uint8_t* Levels() const { return level_; }

    // The finished pixel, red, green, blue, from its sums and counts; divide[c]
    // divides by count[c].
    void Finish(uint32_t* px, const uint32_t* count, const TDivider* divide) const {
        if (sum_) {
            for (int c = 0; c < 3; ++c) px[c] = Limit255(scale_(px[c]));
        } else if (!wcmy_) {
            const uint32_t g = count[0] ? divide[0](px[0]) : 0;
            px[0] = px[1] = px[2] = g;
        } else if (!count[0] || !count[1] || !count[2]) {
            px[0] = px[1] = px[2] = 0;
        } else {
            const int a = static_cast<int>(divide[0](px[0])), b = static_cast<int>(divide[1](px[1])),
                      c = static_cast<int>(divide[2](px[2]));
            px[0] = static_cast<uint32_t>(std::clamp((b + c - a) / 2, 0, 255));
            px[1] = static_cast<uint32_t>(std::clamp((c + a - b) / 2, 0, 255));
            px[2] = static_cast<uint32_t>(std::clamp((a + b - c) / 2, 0, 255));
        }
    }

private:
    bool sum_, wcmy_;
    TDivider scale_;
    uint8_t level_[256];
    bool identity_ = true;
};

// acc[p] = the sum over the rows of row[off + p].
VELMORA_WIDE_CLONES
void AddRows(const uint8_t* const* rows, size_t n, size_t off, uint16_t* acc, size_t count) {
    std::fill_n(acc, count, uint16_t{0});
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* r = rows[i] + off;
        for (size_t p = 0; p < count; ++p) acc[p] = static_cast<uint16_t>(acc[p] + r[p]);
    }
}

void AddLevels(const uint8_t* const* rows, size_t n, size_t off, const uint8_t* level, uint16_t* acc, size_t count) {
    std::fill_n(acc, count, uint16_t{0});
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* r = rows[i] + off;
        for (size_t p = 0; p < count; ++p) acc[p] = static_cast<uint16_t>(acc[p] + level[r[p]]);
    }
}

// Finished red, green, blue values to a pixel's blue, green, red bytes.
void PutPixel(const uint32_t* rgb, uint8_t* bgr) {
    bgr[0] = static_cast<uint8_t>(rgb[2]);
    bgr[1] = static_cast<uint8_t>(rgb[1]);
    bgr[2] = static_cast<uint8_t>(rgb[0]);
}

// 8-bit frames of channel 0 only: the three sums and counts are equal, so
// one is gathered and finished for all three.
void MeanOneLane(const TMeanRule& rule, const std::vector<const uint8_t*>& rows, uint8_t* bgr, size_t len) {
    const size_t n = rows.size();
    const uint32_t count[3] = {uint32_t(n), uint32_t(n), uint32_t(n)};
    const TDivider divide[3] = {TDivider(n), TDivider(n), TDivider(n)};
    uint16_t acc[kBlock];
    ForEachBlock<kBlock>(len, [&](size_t x, size_t m) {
        if (rule.Identity())
            AddRows(rows.data(), n, x, acc, m);
        else
            AddLevels(rows.data(), n, x, rule.Levels(), acc, m);
        for (size_t p = 0; p < m; ++p) {
            uint32_t px[3] = {acc[p], acc[p], acc[p]};
            rule.Finish(px, count, divide);
            PutPixel(px, bgr + 3 * (x + p));
        }
    });
}

// Any mix of channels and pixel formats, each frame in its own layout;
// sums holds 3 * len red, green, blue sums while they are gathered.
void MeanAnyLanes(const TMeanRule& rule, const std::vector<const aligndata*>& cover,
                  const std::vector<const uint8_t*>& rows, uint32_t* sums, uint8_t* bgr, size_t len) {
    std::fill_n(sums, 3 * len, 0u);
    uint32_t count[3] = {0, 0, 0};
    for (size_t i = 0; i < cover.size(); ++i) {
        const uint8_t* r = rows[i];
        if (Wide(*cover[i])) {
            for (size_t p = 0; p < len; ++p) {
                sums[3 * p] += r[3 * p + 2];
                sums[3 * p + 1] += r[3 * p + 1];
                sums[3 * p + 2] += r[3 * p];
            }
            for (uint32_t& c : count) ++c;
            continue;
        }
        const uint8_t* level = rule.Levels();
        const int c = Lane(*cover[i]);
        if (c < 0) {
            for (size_t p = 0; p < len; ++p)
                for (int k = 0; k < 3; ++k) sums[3 * p + k] += level[r[p]];
            for (uint32_t& k : count) ++k;
        } else {
            for (size_t p = 0; p < len; ++p) sums[3 * p + c] += level[r[p]];
            ++count[c];
        }
    }
    const TDivider divide[3] = {TDivider(count[0]), TDivider(count[1]), TDivider(count[2])};
    for (size_t p = 0; p < len; ++p) {
        rule.Finish(sums + 3 * p, count, divide);
        PutPixel(sums + 3 * p, bgr + 3 * p);
    }
}

// --- the median rules --------------------------------------------------------

// Median Average and Median Sum on len bytes: each position's samples summed
// without their two largest when there are four or more.
VELMORA_WIDE_CLONES
void TopTwoBlock(const uint8_t* const* rows, size_t n, size_t off, uint16_t* sum, uint8_t* first, uint8_t* second,
                 size_t count) {
    std::fill_n(sum, count, uint16_t{0});
    std::fill_n(first, count, uint8_t{0});
    std::fill_n(second, count, uint8_t{0});
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* r = rows[i] + off;
        for (size_t p = 0; p < count; ++p) {
            const uint8_t v = r[p];
            sum[p] = static_cast<uint16_t>(sum[p] + v);
            second[p] = std::max(second[p], std::min(first[p], v));
            first[p] = std::max(first[p], v);
        }
    }
}

void TrimmedRow(const uint8_t* const* rows, size_t n, uint8_t* out, size_t len, bool average, uint32_t scale) {
    const bool trim = n >= 4;
    const TDivider divide(average ? (trim ? n - 2 : n) : scale);
    uint16_t sum[kBlock];
    uint8_t first[kBlock], second[kBlock];
    ForEachBlock<kBlock>(len, [&](size_t x, size_t m) {
        TopTwoBlock(rows, n, x, sum, first, second, m);
        for (size_t p = 0; p < m; ++p) {
            const uint32_t kept = trim ? uint32_t(sum[p]) - first[p] - second[p] : sum[p];
            out[x + p] = static_cast<uint8_t>(Limit255(divide(kept)));
        }
    });
}

// The parts of a row buffer's samples a median row works in, behind the
// row's own finished bytes.
struct TMedianScratch {
    uint8_t* values;  // one byte a pixel of a segment
    uint8_t* spread;  // 8-bit rows spread to three bytes a pixel, kChunk pixels a frame
    uint8_t* padded;  // a short segment's rows copied into whole vector blocks
};

TMedianScratch MedianScratch(TStackRowBuffers& buffers) {
    uint8_t* values = buffers.samples.data() + buffers.sum.size();
    uint8_t* spread = values + RowWidth(buffers);
    return {values, spread, spread + 3 * kChunk * kMaxFrames};
}

size_t SamplesBytes(int width) {
    return 4 * size_t(width) + 3 * size_t{kChunk} * kMaxFrames + kMedianBlock * kMaxFrames;
}

// The rule over len bytes of n rows (n >= 1); bytes of a 24-bit row are
// components, each on its own.
void MedianRuleBytes(const TStackParms& parms, const uint8_t* const* rows, size_t n, uint8_t* out, size_t len,
                     uint8_t* padded) {
    if (parms.StackMode != smMedian)
        return TrimmedRow(rows, n, out, len, parms.StackMode == smMedianAverage, ScaleOf(parms));
    std::vector<const uint8_t*> block(rows, rows + n);
    if (len < kMedianBlock) {
        // Each row copied into a whole block: one block of vector passes costs
        // less than these pixels one at a time.
        for (size_t i = 0; i < n; ++i) block[i] = std::copy_n(rows[i], len, padded + kMedianBlock * i) - len;
        uint8_t whole[kMedianBlock];
        LowerMedianRow(block.data(), n, whole, kMedianBlock);
        std::copy_n(whole, len, out);
        return;
    }
    const size_t tail = len % kMedianBlock;
    LowerMedianRow(rows, n, out, len - tail);
    if (tail == 0) return;
    // The last part block is redone as the whole block that ends the segment.
    for (const uint8_t*& r : block) r += len - kMedianBlock;
    LowerMedianRow(block.data(), n, out + len - kMedianBlock, kMedianBlock);
}

// Each value to all three bytes of its pixel.
VELMORA_WIDE_CLONES
void Triple(const uint8_t* values, uint8_t* bgr, size_t len) {
    for (size_t p = 0; p < len; ++p) {
        const uint8_t v = values[p];
        bgr[3 * p] = v;
        bgr[3 * p + 1] = v;
        bgr[3 * p + 2] = v;
    }
}

// One segment of a median rule to its blue, green, red bytes.
void MedianSegment(const TStackParms& parms, const std::vector<const aligndata*>& cover,
                   const std::vector<const uint8_t*>& rows, size_t len, uint8_t* bgr, const TMedianScratch& scratch) {
    const size_t n = cover.size();
    if (n == 0) {
        std::fill_n(bgr, 3 * len, uint8_t{0});
        return;
    }
    const auto wide = static_cast<size_t>(std::count_if(cover.begin(), cover.end(), [](auto f) { return Wide(*f); }));
    if (wide == n) return MedianRuleBytes(parms, rows.data(), n, bgr, 3 * len, scratch.padded);
    if (wide == 0) {
        MedianRuleBytes(parms, rows.data(), n, scratch.values, len, scratch.padded);
        Triple(scratch.values, bgr, len);
        return;
    }
    // 8-bit frames among 24-bit ones: their byte stands for all three components.
    std::vector<const uint8_t*> chunkRows(n);
    for (size_t c0 = 0; c0 < len; c0 += kChunk) {
        const size_t m = std::min<size_t>(kChunk, len - c0);
        for (size_t i = 0; i < n; ++i) {
            uint8_t* spread = scratch.spread + 3 * kChunk * i;
            chunkRows[i] = Wide(*cover[i]) ? rows[i] + 3 * c0 : spread;
            if (!Wide(*cover[i])) Triple(rows[i] + c0, spread, m);
        }
        MedianRuleBytes(parms, chunkRows.data(), n, bgr + 3 * c0, 3 * m, scratch.padded);
    }
}

// A canvas row's blue, green, red bytes by a mean or a median rule.
void MeanRow(const aligndata* frames, int count, const TStackParms& parms, int y, TStackRowBuffers& buffers,
             uint8_t* bgr) {
    const TMeanRule rule(parms);
    TRowSegments(frames, std::min(count, kMaxFrames), y, RowWidth(buffers))
        .ForEach([&](int x0, int x1, const std::vector<const aligndata*>& cover,
                     const std::vector<const uint8_t*>& rows) {
            const size_t len = static_cast<size_t>(x1 - x0);
            const bool oneLane =
                std::all_of(cover.begin(), cover.end(), [](const aligndata* f) { return !Wide(*f) && Lane(*f) < 0; });
            if (cover.empty())
                std::fill_n(bgr + 3 * x0, 3 * len, uint8_t{0});
            else if (oneLane)
                MeanOneLane(rule, rows, bgr + 3 * x0, len);
            else
                MeanAnyLanes(rule, cover, rows, buffers.sum.data() + 3 * x0, bgr + 3 * x0, len);
        });
}

// The Median at scattered pixels of a row, a vector block at a time. Each
// frame over the row gives a sample at every pixel: its own where it covers
// the pixel, elsewhere first as many zeros and then 255s as keep the lower
// median of all the row's frames that of the covering ones. Segments too
// short for a block of their own go this way together.
template <size_t Bpp>
void MedianOfPixels(const TRowSegments& row, const std::vector<int>& xs, uint8_t* padded, uint8_t* bgr) {
    const std::vector<const aligndata*>& frames = row.Frames();
    const size_t n = frames.size(), perBlock = kMedianBlock / Bpp;
    std::vector<const uint8_t*> block(n);
    for (size_t i = 0; i < n; ++i) block[i] = padded + kMedianBlock * i;
    uint8_t whole[kMedianBlock];
    size_t zeros[kMedianBlock];
    for (size_t b = 0; b < xs.size(); b += perBlock) {
        const size_t m = std::min(perBlock, xs.size() - b);
        const int* x = xs.data() + b;
        for (size_t p = 0; p < m; ++p) {
            size_t covering = 0;
            for (const aligndata* f : frames) covering += f->originX <= x[p] && x[p] < f->endX;
            zeros[p] = (n + 1) / 2 - (covering + 1) / 2;
        }
        for (size_t i = 0; i < n; ++i) {
            const int ox = frames[i]->originX, ex = frames[i]->endX;
            const uint8_t* line = row.Lines()[i];
            uint8_t* sample = padded + kMedianBlock * i;
            for (size_t p = 0; p < m; ++p) {
                const bool covers = ox <= x[p] && x[p] < ex;
                for (size_t k = 0; k < Bpp; ++k)
                    sample[Bpp * p + k] = covers ? line[Bpp * size_t(x[p] - ox) + k] : zeros[p] ? 0 : 255;
                zeros[p] -= !covers && zeros[p] > 0;
            }
        }
        LowerMedianRow(block.data(), n, whole, kMedianBlock);
        for (size_t p = 0; p < m; ++p)
            for (size_t k = 0; k < 3; ++k) bgr[3 * x[p] + k] = whole[Bpp * p + k % Bpp];
    }
}

void MedianRow(const aligndata* frames, int count, const TStackParms& parms, int y, TStackRowBuffers& buffers,
               uint8_t* bgr) {
    const TMedianScratch scratch = MedianScratch(buffers);
    TRowSegments row(frames, std::min(count, kMaxFrames), y, RowWidth(buffers));
    const std::vector<const aligndata*>& over = row.Frames();
    const auto wide = static_cast<size_t>(std::count_if(over.begin(), over.end(), [](auto f) { return Wide(*f); }));
    const size_t bpp = wide ? 3 : 1;
    const bool gather = parms.StackMode == smMedian && (wide == 0 || wide == over.size());
    std::vector<int> xs;
    row.ForEach(
        [&](int x0, int x1, const std::vector<const aligndata*>& cover, const std::vector<const uint8_t*>& rows) {
            const auto len = static_cast<size_t>(x1 - x0);
            if (gather && !cover.empty() && bpp * len < kMedianBlock) {
                for (int x = x0; x < x1; ++x) xs.push_back(x);
            } else {
                MedianSegment(parms, cover, rows, len, bgr + 3 * x0, scratch);
            }
        });
    if (xs.empty()) return;
    if (wide)
        MedianOfPixels<3>(row, xs, scratch.padded, bgr);
    else
        MedianOfPixels<1>(row, xs, scratch.padded, bgr);
}

// The finished bytes into the sum buffer, red, green, blue.
void ToSums(const uint8_t* bgr, TStackRowBuffers& buffers) {
    for (size_t i = 0; i < buffers.sum.size(); i += 3) {
        buffers.sum[i] = bgr[i + 2];
        buffers.sum[i + 1] = bgr[i + 1];
        buffers.sum[i + 2] = bgr[i];
    }
}

}  // namespace

std::array<RGBQUAD, 256> RunPalette(const TBitmap& first) {
    std::array<RGBQUAD, 256> palette{};
    for (int i = 0; i < 256; ++i) palette[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    const std::vector<RGBQUAD>& own = first.Palette();
    std::copy_n(own.begin(), std::min<size_t>(own.size(), palette.size()), palette.begin());
    return palette;
}

TStackRowBuffers::TStackRowBuffers(int canvasWidth)
    : sum(3 * static_cast<size_t>(std::max(canvasWidth, 0))),
      count(sum.size()),
      samples(SamplesBytes(std::max(canvasWidth, 0))) {}

void TStackRowBuffers::Clear() {
    std::fill(sum.begin(), sum.end(), 0u);
    std::fill(count.begin(), count.end(), 0u);
}

void StackRowMean(const aligndata* frames, int count, const TStackParms& parms, int y, TStackRowBuffers& buffers) {
    MeanRow(frames, count, parms, y, buffers, buffers.samples.data());
    ToSums(buffers.samples.data(), buffers);
}

void StackRowMedian(const aligndata* frames, int count, const TStackParms& parms, int y, TStackRowBuffers& buffers) {
    MedianRow(frames, count, parms, y, buffers, buffers.samples.data());
    ToSums(buffers.samples.data(), buffers);
}

void CombineFrames(const aligndata* frames, int count, const TStackParms& parms, TBitmap& canvas, unsigned threads,
                   const std::function<bool(int y)>& rowDone) {
    const int width = canvas.Width(), height = canvas.Height();
    if (width <= 0 || height <= 0) return;
    if (canvas.PixelFormat() != pf24bit) canvas.SetPixelFormat(pf24bit);  // rows are written three bytes a pixel
    const bool median =
        parms.StackMode == smMedian || parms.StackMode == smMedianAverage || parms.StackMode == smMedianSum;
    const bool mean = parms.StackMode == smAverage || parms.StackMode == smSum;
    uint64_t bytes = 0;
    for (int i = 0; i < count; ++i)
        bytes += uint64_t(std::max(frames[i].width, 0)) * uint64_t(std::max(frames[i].height, 0)) *
                 uint64_t(PixelBytes(frames[i]));
    threads = ParallelThreads(threads, height, bytes, kSerialStackBytes);
    std::vector<TStackRowBuffers> buffers;
    buffers.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) buffers.emplace_back(width);

    ParallelRows(
        height, threads,
        [&](int y, unsigned worker) {
            uint8_t* row = canvas.ScanLine(y);
            if (median)
                MedianRow(frames, count, parms, y, buffers[worker], row);
            else if (mean)
                MeanRow(frames, count, parms, y, buffers[worker], row);
            else
                std::fill_n(row, 3 * size_t(width), uint8_t{0});
        },
        rowDone);
}

// --- fp Average ----------------------------------------------------------------

TSubpixelSums::TSubpixelSums(int w, int h)
    : width(std::max(w, 0)), height(std::max(h, 0)), sum(size_t(width) * size_t(height)), weight(sum.size()) {}

namespace {

// The values a frame row adds: the stored byte, or for 24-bit the mean of
// the pixel's three bytes, rounded down.
void FrameValues(const aligndata& frame, int r, double* v) {
    const uint8_t* row = frame.bitmap->ScanLine(r);
    if (Wide(frame)) {
        for (int c = 0; c < frame.width; ++c) v[c] = (row[3 * c] + row[3 * c + 1] + row[3 * c + 2]) / 3;
    } else {
        for (int c = 0; c < frame.width; ++c) v[c] = row[c];
    }
}

void AddPart(double& s, double& w, double v, double weight) {
    s += v * weight;
    w += weight;
}

// s[x] and w[x] take v[x] with weight a, then v[x + 1] with weight b.
VELMORA_WIDE_CLONES
void AddTwoParts(double* s, double* w, const double* v, double a, double b, size_t count) {
    for (size_t x = 0; x < count; ++x) {
        AddPart(s[x], w[x], v[x], a);
        AddPart(s[x], w[x], v[x + 1], b);
    }
}

// The same with a second row u and its weights c, d after those of v.
VELMORA_WIDE_CLONES
void AddFourParts(double* s, double* w, const double* v, const double* u, double a, double b, double c, double d,
                  size_t count) {
    for (size_t x = 0; x < count; ++x) {
        AddPart(s[x], w[x], v[x], a);
        AddPart(s[x], w[x], v[x + 1], b);
        AddPart(s[x], w[x], u[x], c);
        AddPart(s[x], w[x], u[x + 1], d);
    }
}

}  // namespace

void AccumulateSubpixel(const aligndata& frame, TSubpixelSums& sums, unsigned threads) {
    const int W = sums.width, H = sums.height;
    const int used = frame.height - 1;  // the frame's last row is left out
    if (!frame.bitmap || frame.width <= 0 || used <= 0 || W <= 0) return;
    // A lock that found no centre leaves -1: no fraction to shift by, where
    // the weights would otherwise turn negative and push the frame a pixel.
    auto fraction = [](double f) { return f >= 0 && f < 1 ? f : 0.0; };
    const double fx = fraction(frame.lock.fracX), fy = fraction(frame.lock.fracY);
    const double w00 = (1 - fy) * (1 - fx), w01 = (1 - fy) * fx, w10 = (1 - fx) * fy, w11 = fx * fy;

    // A frame pixel lands on its own place and shares itself with the places
    // left of and above it, so canvas row Y takes frame rows Y and Y + 1 (in
    // frame terms) and canvas column X frame columns X and X + 1.
    const int y0 = std::max(frame.originY - 1, 0), y1 = std::min(frame.originY + used, H);
    const int x0 = std::max(frame.originX - 1, 0), x1 = std::min(frame.originX + frame.width, W);
    if (y0 >= y1 || x0 >= x1) return;
    const unsigned workers =
        ParallelThreads(threads, y1 - y0, uint64_t(y1 - y0) * uint64_t(frame.width) * 16, kSerialStackBytes);
    std::vector<std::vector<double>> scratch(workers, std::vector<double>(2 * size_t(frame.width)));
    const int ox = frame.originX, right = ox + frame.width - 1;  // the frame's last column on the canvas
    ParallelRows(y1 - y0, workers, [&](int i, unsigned worker) {
        const int Y = y0 + i;
        const int r0 = Y - frame.originY, r1 = r0 + 1;
        double* v[2] = {scratch[worker].data(), scratch[worker].data() + frame.width};
        const bool has[2] = {r0 >= 0 && r0 < used, r1 >= 0 && r1 < used};
        const double own[2] = {w00, w10}, left[2] = {w01, w11};
        double* s = sums.sum.data() + size_t(Y) * W;
        double* w = sums.weight.data() + size_t(Y) * W;
        // In one pass over the frame a canvas pixel gets its part from row r0
        // before the one from row r0 + 1, and in each row its own column's part
        // before its right neighbour's: the same order here.
        for (int k = 0; k < 2; ++k)
            if (has[k]) FrameValues(frame, r0 + k, v[k]);
        if (ox - 1 >= 0 && ox - 1 < W) {  // takes only its right neighbour's part
            for (int k = 0; k < 2; ++k)
                if (has[k]) AddPart(s[ox - 1], w[ox - 1], v[k][0], left[k]);
        }
        const int from = std::max(ox, 0), to = std::min(right, W);
        if (from < to) {
            const size_t n = size_t(to - from), c = size_t(from - ox);
            if (has[0] && has[1])
                AddFourParts(s + from, w + from, v[0] + c, v[1] + c, w00, w01, w10, w11, n);
            else if (has[0])
                AddTwoParts(s + from, w + from, v[0] + c, w00, w01, n);
            else if (has[1])
                AddTwoParts(s + from, w + from, v[1] + c, w10, w11, n);
        }
        if (right >= 0 && right < W) {  // has no right neighbour
            for (int k = 0; k < 2; ++k)
                if (has[k]) AddPart(s[right], w[right], v[k][frame.width - 1], own[k]);
        }
    });
}

void FinishSubpixel(TSubpixelSums& sums, TBitmap& canvas) {
    const size_t n = sums.sum.size();
    double maximum = 0;
    for (size_t p = 0; p < n; ++p) {
        sums.sum[p] = sums.weight[p] > 0 ? sums.sum[p] / sums.weight[p] : 0;
        maximum = std::max(maximum, sums.sum[p]);
    }
    const double factor = maximum > 0 ? 254.0 / maximum : 0;
    for (double& v : sums.sum) v *= factor;
    if (canvas.PixelFormat() != pf24bit) canvas.SetPixelFormat(pf24bit);
    const int width = std::min(sums.width, canvas.Width()), height = std::min(sums.height, canvas.Height());
    for (int y = 0; y < height; ++y) {
        uint8_t* row = canvas.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const double v = std::trunc(sums.sum[size_t(y) * sums.width + x]);
            // Low 8 bits of the truncated value; fmod keeps that defined for
            // any finite value, however odd the weights made it.
            double low = v >= 0 && v < 256 ? v : std::isfinite(v) ? std::fmod(v, 256.0) : 0;
            if (low < 0) low += 256;
            std::fill_n(row + 3 * x, 3, static_cast<uint8_t>(low));
        }
    }
}
