// The post-processing kernels on frames worked out by hand, and the fast
// box mean, DDP and unsharp mask against the plain per-pixel rules.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "untImgProc.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A bitmap of w x h pixels holding bytes row after row (3 a pixel for 24-bit).
TBitmap Make(int w, int h, const Bytes& bytes, TPixelFormat format = pf8bit) {
    TBitmap b(w, h, format);
    const size_t n = b.RowBytes();
    for (int y = 0; y < h; ++y) std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(n * y), n, b.ScanLine(y));
    return b;
}

Bytes All(const TBitmap& b) {
    Bytes v;
    for (int y = 0; y < b.Height(); ++y) v.insert(v.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
    return v;
}

TBitmap Random(int w, int h, TPixelFormat format, std::mt19937& rng) {
    TBitmap b(w, h, format);
    for (int y = 0; y < h; ++y)
        for (size_t i = 0; i < b.RowBytes(); ++i) b.ScanLine(y)[i] = static_cast<uint8_t>(rng() & 0xff);
    return b;
}

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

Bytes DirectDDP(const TBitmap& s, int fuzz, int low, int high) {
    const Bytes x = All(s), d = DirectMean(s, fuzz);
    Bytes out;
    for (size_t i = 0; i < x.size(); ++i) {
        double value = (256 - low) * (x[i] / static_cast<double>(d[i] + high)) + low;
        if (value > 254) value = 255;
        out.push_back(static_cast<uint8_t>(value));
    }
    return out;
}

Bytes DirectUnsharp(const TBitmap& s, int r, int intensity) {
    const Bytes x = All(s), d = DirectMean(s, r);
    Bytes out;
    double m = 0, n = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        double value = x[i] - d[i] * intensity * 0.01;
        if (x[i] > m) {
            m = x[i];
            n = value;
        }
        if (value < 0) value = 0;
        out.push_back(static_cast<uint8_t>(value + 0.5));
    }
    for (auto& b : out) {
        double value = b + (m - n);
        if (value > 254) value = 255;
        b = static_cast<uint8_t>(value + 0.5);
    }
    return out;
}

}  // namespace

TEST(ModifyHistogram, ScalesAboutZeroByTheSpanOverTheRange) {
    auto run = [](const TBitmap& s, uint8_t low, uint8_t high) {
        TBitmap d(s.Width(), s.Height(), s.PixelFormat());
        ModifyHistogram(s, d, low, high);
        return All(d);
    };
    // Factor 255 / 100, and 100 * (255 / 100) is just below 255 in doubles.
    EXPECT_EQ(run(Make(4, 1, {10, 100, 110, 50}), 0, 255), (Bytes{25, 254, 255, 127}));
    // One grey level: the range counts as 1.
    EXPECT_EQ(run(Make(2, 1, {7, 7}), 0, 255), (Bytes{255, 255}));
    EXPECT_EQ(run(Make(2, 1, {0, 0}), 0, 255), (Bytes{0, 0}));
    // Low 200, high 100: a span of 156 in 8 bits. Low equal to high: span 1.
    EXPECT_EQ(run(Make(2, 1, {0, 10}), 200, 100), (Bytes{0, 156}));
    EXPECT_EQ(run(Make(3, 1, {0, 100, 200}), 9, 9), (Bytes{0, 0, 1}));
    // Colour: the extremes over all three channels, one factor for each.
    EXPECT_EQ(run(Make(1, 1, {10, 60, 110}, pf24bit), 0, 255), (Bytes{25, 153, 255}));
}

TEST(BlurBitmap, ClippedWindowsAtCornersEdgesAndInside) {
    const TBitmap s = Make(3, 3, {0, 9, 18, 27, 36, 45, 54, 63, 255});
    // Corner: 4 pixels, edge: 6, inside: 9.
    EXPECT_EQ(All(BlurBitmap(s, 1)), (Bytes{18, 22, 27, 31, 56, 71, 45, 80, 99}));
    EXPECT_EQ(All(BlurBitmap(s, 0)), All(s));
    const TBitmap one = Make(1, 1, {77});
    EXPECT_EQ(All(BlurBitmap(one, 5)), Bytes{77});
    // Per channel, and the format and size are the source's.
    const TBitmap colour = BlurBitmap(Make(2, 1, {0, 10, 200, 1, 20, 100}, pf24bit), 1);
    EXPECT_EQ(colour.PixelFormat(), pf24bit);
    EXPECT_EQ(All(colour), (Bytes{0, 15, 150, 0, 15, 150}));
}

TEST(BlurBitmap, EqualsTheDirectWindowOnRandomPictures) {
    std::mt19937 rng(7);
    for (TPixelFormat f : {pf8bit, pf24bit})
        for (auto [w, h] : {std::pair{1, 1}, {3, 7}, {7, 3}, {13, 11}, {40, 9}, {1, 12}})
            for (int r = 0; r <= 5; ++r) {
                const TBitmap s = Random(w, h, f, rng);
                EXPECT_EQ(All(BlurBitmap(s, r)), DirectMean(s, r)) << w << "x" << h << " r " << r << " format " << f;
            }
    // Windows too large for the narrow sums or for the reciprocal division.
    for (auto [w, h, r] : {std::tuple{65, 65, 33}, {2, 300, 150}}) {
        const TBitmap s = Random(w, h, pf8bit, rng);
        EXPECT_EQ(All(BlurBitmap(s, r)), DirectMean(s, r)) << w << "x" << h << " r " << r;
    }
    // Large enough to be cut into bands for several threads.
    const TBitmap big = Random(300, 300, pf24bit, rng);
    EXPECT_EQ(All(BlurBitmap(big, 5)), DirectMean(big, 5));
}

TEST(ApplyDDP, WorkedValuesAndTheRuleOnRandomPictures) {
    auto run = [](const TBitmap& s, int fuzz, int low, int high) {
        TBitmap d(s.Width(), s.Height(), s.PixelFormat());
        ApplyDDP(&s, d, fuzz, low, high);
        return All(d);
    };
    // Defaults (fuzz 1, low 1, high 64) on flat areas: 128.5, 1, 204.8.
    EXPECT_EQ(run(Make(3, 3, Bytes(9, 64)), 1, 1, 64), Bytes(9, 128));
    EXPECT_EQ(run(Make(3, 3, Bytes(9, 0)), 1, 1, 64), Bytes(9, 1));
    EXPECT_EQ(run(Make(3, 3, Bytes(9, 255)), 1, 1, 64), Bytes(9, 204));
    // Fuzz 0: the pixel is its own mean; 254.0078 is written as 255.
    EXPECT_EQ(run(Make(2, 1, {0, 127}), 0, 1, 1), (Bytes{1, 255}));
    // High 0 writes nothing.
    TBitmap d = Make(2, 1, {5, 6});
    const TBitmap s = Make(2, 1, {100, 200});
    ApplyDDP(&s, d, 1, 1, 0);
    EXPECT_EQ(All(d), (Bytes{5, 6}));

    std::mt19937 rng(3);
    for (auto [w, h, f] : {std::tuple{9, 7, pf8bit}, {5, 4, pf24bit}, {300, 300, pf24bit}}) {
        const TBitmap p = Random(w, h, f, rng);
        for (int fuzz : {0, 1, 5}) EXPECT_EQ(run(p, fuzz, 1, 64), DirectDDP(p, fuzz, 1, 64)) << w << " " << fuzz;
        EXPECT_EQ(run(p, 2, 255, 1), DirectDDP(p, 2, 255, 1));
    }
}

TEST(ApplyUnsharpMask, WorkedValuesAndTheRuleOnRandomPictures) {
    auto run = [](const TBitmap& s, int r, int intensity) {
        TBitmap d(s.Width(), s.Height(), s.PixelFormat());
        ApplyUnsharpMask(&s, d, r, intensity);
        return All(d);
    };
    // A flat 100 with one 200 in the middle, aperture 1, intensity 50: the
    // 200 (mean 111) gives 201, its neighbours 101, the rest 106.
    Bytes flat(49, 100);
    flat[24] = 200;
    const Bytes out = run(Make(7, 7, flat), 1, 50);
    EXPECT_EQ(out[24], 201);
    for (int i : {16, 17, 18, 23, 25, 30, 31, 32}) EXPECT_EQ(out[i], 101) << i;
    for (int i : {0, 6, 8, 42, 48}) EXPECT_EQ(out[i], 106) << i;
    // The first brightest byte sets the lift (its mean 100, not the last's
    // 200); a negative first pass is written as 0 before the lift.
    EXPECT_EQ(run(Make(5, 1, {200, 0, 0, 200, 200}), 1, 100), (Bytes{200, 100, 100, 167, 100}));
    // Uniform 254 at 10%: 229 lifted by 25.4 is 254.4, above 254, so 255.
    EXPECT_EQ(run(Make(2, 2, Bytes(4, 254)), 1, 10), Bytes(4, 255));
    // Colour, per channel.
    EXPECT_EQ(run(Make(2, 1, {0, 10, 200, 1, 20, 100}, pf24bit), 1, 100), (Bytes{150, 150, 200, 151, 155, 150}));
    // Intensity 0 writes nothing.
    TBitmap d = Make(1, 1, {9});
    const TBitmap s = Make(1, 1, {90});
    ApplyUnsharpMask(&s, d, 1, 0);
    EXPECT_EQ(All(d), Bytes{9});

    std::mt19937 rng(5);
    for (auto [w, h, f] : {std::tuple{9, 7, pf8bit}, {5, 4, pf24bit}, {1, 1, pf8bit}}) {
        const TBitmap p = Random(w, h, f, rng);
        for (int r : {1, 3, 5}) EXPECT_EQ(run(p, r, 37), DirectUnsharp(p, r, 37)) << w << " " << r;
    }
    // Several bands: the brightest byte in the lower band only, twice, with
    // different means, so the first one must win across the bands.
    TBitmap big = Random(300, 300, pf24bit, rng);
    for (int y = 0; y < 300; ++y)
        for (size_t i = 0; i < big.RowBytes(); ++i) big.ScanLine(y)[i] &= 0x7f;
    big.ScanLine(250)[30] = 250;
    big.ScanLine(260)[0] = 250;
    big.ScanLine(260)[3] = 250;
    EXPECT_EQ(run(big, 2, 100), DirectUnsharp(big, 2, 100));
}
