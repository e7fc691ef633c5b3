// The post-processing kernels on frames worked out by hand, the fast box mean
// against the plain per-pixel window, one thread against many, and one
// operation as "Calculate" then "Ok" run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestBitmaps.h"
#include "untImgProc.h"
#include "untPostOps.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vt::BitmapBytes;

TBitmap Make(int w, int h, const Bytes& bytes, TPixelFormat f = pf8bit) { return vt::MakeBitmap(w, h, f, bytes); }

// The box mean as written: every pixel's clipped (2r + 1)^2 window read directly.
Bytes DirectMean(const TBitmap& s, int r) {
    const int bpp = s.PixelFormat() == pf24bit ? 3 : 1, w = s.Width(), h = s.Height();
    Bytes out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bpp; ++c) {
                int sum = 0, count = 0;
                for (int dy = -r; dy <= r; ++dy)
                    for (int dx = -r; dx <= r; ++dx)
                        if (x + dx >= 0 && x + dx < w && y + dy >= 0 && y + dy < h) {
                            sum += s.ScanLine(y + dy)[(x + dx) * bpp + c];
                            ++count;
                        }
                out.push_back(static_cast<uint8_t>(sum / count));
            }
    return out;
}

}  // namespace

TEST(ModifyHistogram, ScalesAboutZeroByTheSpanOverTheRange) {
    auto run = [](const TBitmap& s, uint8_t low, uint8_t high) {
        TBitmap d(s.Width(), s.Height(), s.PixelFormat());
        ModifyHistogram(s, d, low, high);
        return BitmapBytes(d);
    };
    // Factor 255 / 100, and 100 * (255 / 100) is just below 255 in doubles.
    EXPECT_EQ(run(Make(4, 1, {10, 100, 110, 50}), 0, 255), (Bytes{25, 254, 255, 127}));
    // One grey level: the range counts as 1.
    EXPECT_EQ(run(Make(3, 1, {7, 7, 0}), 0, 255), (Bytes{255, 255, 0}));
    // Low 200, high 100: a span of 156 in 8 bits. Low equal to high: span 1.
    EXPECT_EQ(run(Make(2, 1, {0, 10}), 200, 100), (Bytes{0, 156}));
    EXPECT_EQ(run(Make(3, 1, {0, 100, 200}), 9, 9), (Bytes{0, 0, 1}));
    // Colour: the extremes over all three channels, one factor for each.
    EXPECT_EQ(run(Make(1, 1, {10, 60, 110}, pf24bit), 0, 255), (Bytes{25, 153, 255}));
}

TEST(BlurBitmap, ClippedWindowsAndTheDirectWindowOnRandomPictures) {
    std::mt19937 rng(7);
    for (TPixelFormat f : {pf8bit, pf24bit})
        for (auto [w, h] : {std::pair{3, 7}, {7, 3}, {13, 11}, {40, 9}, {1, 12}, {1, 1}})
            for (int r = 0; r <= 5; ++r) {
                const TBitmap p = vt::RandomBitmap(w, h, f, rng);
                EXPECT_EQ(BitmapBytes(BlurBitmap(p, r)), DirectMean(p, r)) << w << "x" << h << " r " << r << " " << f;
            }
    // Windows too large for the narrow sums or for the reciprocal division,
    // and a picture large enough to be cut into bands (on one thread; many
    // give the same bytes, below).
    for (auto [w, h, r, f] : {std::tuple{65, 65, 33, pf8bit}, {2, 300, 150, pf8bit}, {300, 300, 5, pf24bit}}) {
        const TBitmap p = vt::RandomBitmap(w, h, f, rng);
        EXPECT_EQ(BitmapBytes(BlurBitmap(p, r, 1)), DirectMean(p, r)) << w << "x" << h << " r " << r;
    }
}

TEST(ApplyDDP, WorkedValues) {
    auto run = [](const TBitmap& s, int fuzz, int low, int high) {
        TBitmap d = Make(s.Width(), s.Height(), Bytes(s.RowBytes() * s.Height(), 7), s.PixelFormat());
        ApplyDDP(&s, d, fuzz, low, high);
        return BitmapBytes(d);
    };
    // Defaults (fuzz 1, low 1, high 64) on flat areas: 128.5, 1, 204.8.
    EXPECT_EQ(run(Make(3, 3, Bytes(9, 64)), 1, 1, 64), Bytes(9, 128));
    EXPECT_EQ(run(Make(3, 3, Bytes(9, 0)), 1, 1, 64), Bytes(9, 1));
    EXPECT_EQ(run(Make(3, 3, Bytes(9, 255)), 1, 1, 64), Bytes(9, 204));
    // The pixel over its mean: 90 with mean 30 gives 255 * 90 / 94 + 1,
    // 245.1; the zeros beside it (mean 45) give 1. Per channel in colour.
    EXPECT_EQ(run(Make(3, 1, {0, 90, 0}), 1, 1, 64), (Bytes{1, 245, 1}));
    EXPECT_EQ(run(Make(3, 1, {0, 0, 0, 90, 0, 90, 0, 0, 0}, pf24bit), 1, 1, 64),
              (Bytes{1, 1, 1, 245, 1, 245, 1, 1, 1}));
    // Fuzz 0: the pixel is its own mean; 254.0078 is written as 255.
    EXPECT_EQ(run(Make(2, 1, {0, 127}), 0, 1, 1), (Bytes{1, 255}));
    // High 0 writes nothing.
    EXPECT_EQ(run(Make(2, 1, {100, 200}), 1, 1, 0), (Bytes{7, 7}));
}

TEST(ApplyUnsharpMask, WorkedValuesAndTheFirstBrightestByteAcrossBands) {
    auto run = [](const TBitmap& s, int r, int intensity, unsigned threads = 0) {
        TBitmap d = Make(s.Width(), s.Height(), Bytes(s.RowBytes() * s.Height(), 9), s.PixelFormat());
        ApplyUnsharpMask(&s, d, r, intensity, threads);
        return BitmapBytes(d);
    };
    // The first brightest byte sets the lift (its mean 100, not the last's
    // 200); a negative first pass is written as 0 before the lift.
    EXPECT_EQ(run(Make(5, 1, {200, 0, 0, 200, 200}), 1, 100), (Bytes{200, 100, 100, 167, 100}));
    // Uniform 254 at 10%: 229 lifted by 25.4 is 254.4, above 254, so 255.
    EXPECT_EQ(run(Make(2, 2, Bytes(4, 254)), 1, 10), Bytes(4, 255));
    // Colour: per channel, lifted by the brightest byte of any channel.
    EXPECT_EQ(run(Make(2, 1, {0, 10, 200, 1, 20, 100}, pf24bit), 1, 100), (Bytes{150, 150, 200, 151, 155, 150}));
    // Intensity 0 writes nothing.
    EXPECT_EQ(run(Make(1, 1, {90}), 1, 0), Bytes{9});

    // A picture cut into bands: 250 in blue three times, first among 100s
    // (mean 116), then twice among 200s (mean 205). The first in row order
    // sets the lift, so a flat 100 far away, 0 after the first pass, becomes
    // 116 however many bands there are.
    TBitmap big = Make(300, 300, Bytes(300 * 300 * 3, 100), pf24bit);
    for (int y : {100, 200, 260}) {
        for (int dy = -1; dy <= 1 && y != 100; ++dy)
            for (int x = 9; x <= 11; ++x) big.ScanLine(y + dy)[3 * x] = 200;
        big.ScanLine(y)[30] = 250;
    }
    for (unsigned threads : {1u, 2u, 3u, 0u}) EXPECT_EQ(run(big, 1, 100, threads)[3], 116) << threads;
}

// A picture cut into bands gives every thread count the bytes of one thread:
// the box mean carried across band edges, the histogram's extremes gathered
// from bands that each hold only one of them, a result written over its own
// source.
TEST(PostProcessingKernels, OneThreadAndManyGiveTheSameBytes) {
    std::mt19937 rng(11);
    TBitmap p(300, 300, pf24bit);
    for (int y = 0; y < 300; ++y)
        for (int i = 0; i < 900; ++i) p.ScanLine(y)[i] = static_cast<uint8_t>(60 + rng() % 100);
    p.ScanLine(10)[5] = 240;
    p.ScanLine(290)[7] = 20;
    auto all = [&](unsigned threads) {
        TBitmap histogram(p), ddp(p), unsharp(p);
        ModifyHistogram(p, histogram, 0, 255, threads);
        ApplyDDP(&ddp, ddp, 3, 1, 64, threads);
        ApplyUnsharpMask(&unsharp, unsharp, 4, 70, threads);
        return std::vector{BitmapBytes(BlurBitmap(p, 5, threads)), BitmapBytes(histogram), BitmapBytes(ddp),
                           BitmapBytes(unsharp)};
    };
    const auto one = all(1);
    TBitmap apart(p);  // written beside its source, not over it
    ApplyDDP(&p, apart, 3, 1, 64, 1);
    EXPECT_EQ(one[2], BitmapBytes(apart));
    for (unsigned threads : {2u, 3u, 7u, 0u}) EXPECT_EQ(all(threads), one) << threads << " threads";
}

TEST(PreviewRect, DividesTheSizeUntilTheWidthFits) {
    auto corner = [](int w, int h) { const TRect r = PreviewRect(w, h); return std::pair{r.Right, r.Bottom}; };
    EXPECT_EQ(corner(640, 480), (std::pair{319, 239}));
    EXPECT_EQ(corner(700, 300), (std::pair{232, 99}));  // 350 at k = 2 is still too wide
}

TEST(ApplyPostOperation, ResultsGoBackIntoThePicturesOwnFormat) {
    // The kernel sees colours, not indices, and the result goes back into the
    // palette: in a reversed ramp the greys 255, 100, 10, 50 scale by
    // 255 / 245 to 255, 104, 10, 52.
    TBitmap reversed = Make(4, 1, {0, 155, 245, 205});
    std::vector<RGBQUAD> ramp = GreyRamp();
    std::reverse(ramp.begin(), ramp.end());
    reversed.SetPalette(ramp);
    ApplyPostOperation(reversed, THistogramParms{0, 255});
    EXPECT_EQ(reversed.PixelFormat(), pf8bit);
    EXPECT_EQ(BitmapBytes(reversed), (Bytes{0, 151, 245, 203}));

    // 24-bit: exactly the kernel's result; two operations compound.
    std::mt19937 rng(2);
    TBitmap rgb = vt::RandomBitmap(3, 2, pf24bit, rng);
    TBitmap expected(rgb), step(rgb);
    ApplyUnsharpMask(&rgb, step, 1, 40);
    ApplyDDP(&step, expected, 2, 1, 64);
    ApplyPostOperation(rgb, TUnsharpMaskParms{1, 40});
    ApplyPostOperation(rgb, TDDPParms{1, 64, 2});
    EXPECT_EQ(BitmapBytes(rgb), BitmapBytes(expected));
}
