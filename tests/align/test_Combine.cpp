#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestBitmaps.h"
#include "untCombine.h"

namespace {

aligndata Placed(const TBitmap& b, int ox, int oy, int channel = 0) {
    aligndata f;
    f.bitmap = std::make_shared<TBitmap>(b);
    f.width = b.Width(), f.height = b.Height(), f.pixelFormat = b.PixelFormat();
    f.originX = ox, f.originY = oy, f.endX = ox + f.width, f.endY = oy + f.height;
    f.channel = channel;
    return f;
}

TStackParms Parms(int mode, int scale = 1, int wcmy = 0, const TBitmap& first = TBitmap(1, 1, pf8bit)) {
    TStackParms p;
    p.StackMode = mode, p.ScaleFactor = scale, p.WcmyMode = wcmy, p.palette = RunPalette(first);
    return p;
}

std::vector<uint8_t> Combined(const std::vector<aligndata>& frames, const TStackParms& p, int w, int h,
                              unsigned threads = 1) {
    TBitmap canvas(w, h, pf24bit);
    CombineFrames(frames.data(), int(frames.size()), p, canvas, threads);
    return vt::BitmapBytes(canvas);
}

// The rules read literally: every pixel gathers its samples, the median
// rules sort all slots.
std::vector<uint8_t> NaiveStack(const std::vector<aligndata>& frames, const TStackParms& p, int w, int h) {
    std::vector<uint8_t> out;
    const uint32_t scale = std::max(p.ScaleFactor, 1);
    const bool median = p.StackMode != smAverage && p.StackMode != smSum;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t sum[3] = {}, cnt[3] = {}, rgb[3] = {};
            std::vector<int> slots[3];
            int n = 0;
            for (const aligndata& f : frames) {
                const bool on = x >= f.originX && x < f.endX && y >= f.originY && y < f.endY;
                const bool wide = f.pixelFormat == pf24bit;
                const uint8_t* px = on ? f.bitmap->ScanLine(y - f.originY) + (x - f.originX) * (wide ? 3 : 1) : nullptr;
                n += on;
                for (int c = 0; c < 3; ++c) slots[c].push_back(on ? px[wide ? 2 - c : 0] : 0);
                if (!on) continue;
                for (int c = 0; c < 3; ++c) {
                    const int ch = f.channel, lane = ch >= 1 && ch <= 6 ? (ch - 1) % 3 : c;
                    if (wide || lane == c) sum[c] += wide ? px[2 - c] : p.palette[px[0]].rgbRed, ++cnt[c];
                }
            }
            for (int c = 0; c < 3 && median; ++c) {
                std::sort(slots[c].begin(), slots[c].end());
                auto s = [&](int k) { return uint32_t(slots[c][slots[c].size() - 1 - k]); };
                const int keep = n >= 4 ? n - 2 : n;
                uint32_t kept = 0;
                for (int k = n - keep; k < n; ++k) kept += s(k);
                const uint32_t trimmed = p.StackMode == smMedianSum ? kept / scale : n ? kept / keep : 0;
                rgb[c] = p.StackMode == smMedian ? (n ? s(n / 2) : 0) : std::min(255u, trimmed);
            }
            if (p.StackMode == smSum)
                for (int c = 0; c < 3; ++c) rgb[c] = std::min(255u, sum[c] / scale);
            if (p.StackMode == smAverage && !p.WcmyMode) rgb[0] = rgb[1] = rgb[2] = cnt[0] ? sum[0] / cnt[0] : 0;
            if (p.StackMode == smAverage && p.WcmyMode && cnt[0] && cnt[1] && cnt[2]) {
                const int a = int(sum[0] / cnt[0]), b = int(sum[1] / cnt[1]), c = int(sum[2] / cnt[2]);
                rgb[0] = std::clamp((b + c - a) / 2, 0, 255);
                rgb[1] = std::clamp((c + a - b) / 2, 0, 255);
                rgb[2] = std::clamp((a + b - c) / 2, 0, 255);
            }
            out.insert(out.end(), {uint8_t(rgb[2]), uint8_t(rgb[1]), uint8_t(rgb[0])});
        }
    return out;
}

// fp Average as one serial pass over each frame.
std::vector<uint8_t> NaiveFp(const std::vector<aligndata>& frames, int w, int h) {
    std::vector<double> sum(size_t(w) * h), weight(sum.size());
    for (const aligndata& f : frames) {
        const double fx = f.lock.fracX, fy = f.lock.fracY;
        const double wt[4] = {(1 - fy) * (1 - fx), (1 - fy) * fx, (1 - fx) * fy, fx * fy};
        for (int r = 0; r + 1 < f.height; ++r)
            for (int c = 0; c < f.width; ++c) {
                const uint8_t* px = f.bitmap->ScanLine(r) + c * (f.pixelFormat == pf24bit ? 3 : 1);
                const int v = f.pixelFormat == pf24bit ? (px[0] + px[1] + px[2]) / 3 : px[0];
                for (int k = 0; k < 4; ++k) {
                    const int X = f.originX + c - k % 2, Y = f.originY + r - k / 2;
                    if (X < 0 || Y < 0) continue;
                    sum[size_t(Y) * w + X] += v * wt[k];
                    weight[size_t(Y) * w + X] += wt[k];
                }
            }
    }
    double maximum = 0;
    for (size_t i = 0; i < sum.size(); ++i)
        maximum = std::max(maximum, sum[i] = weight[i] > 0 ? sum[i] / weight[i] : 0);
    const double factor = maximum > 0 ? 254.0 / maximum : 0;
    std::vector<uint8_t> out;
    for (double v : sum) out.insert(out.end(), 3, uint8_t(int(v * factor)));
    return out;
}

std::vector<uint8_t> Fp(const std::vector<aligndata>& frames, int w, int h, unsigned threads) {
    TSubpixelSums sums(w, h);
    for (const aligndata& f : frames) AccumulateSubpixel(f, sums, threads);
    TBitmap canvas(w, h, pf24bit);
    FinishSubpixel(sums, canvas);
    return vt::BitmapBytes(canvas);
}

TBitmap Grey(int w, int h, const std::vector<uint8_t>& v) { return vt::MakeBitmap(w, h, pf8bit, v); }

}  // namespace

TEST(Combine, RulesOnOnePixel) {
    // Frames of one pixel {value, channel, column} over a 3 x 2 canvas; pixel
    // (0, 0) is looked at, (2, 1) is never covered.
    struct Case {
        int mode, scale, wcmy;
        std::vector<std::array<int, 3>> frames;
        std::array<int, 3> rgb;
    };
    const Case cases[] = {
        {smAverage, 1, 0, {{10, 0, 0}, {20, 0, 0}, {40, 0, 0}}, {23, 23, 23}},
        {smMedian, 1, 0, {{5, 0, 0}, {9, 0, 0}, {200, 0, 0}, {7, 0, 0}}, {7, 7, 7}},
        {smMedianAverage, 1, 0, {{5, 0, 0}, {9, 0, 0}, {200, 0, 0}, {7, 0, 0}}, {6, 6, 6}},
        {smMedianSum, 1, 0, {{5, 0, 0}, {9, 0, 0}, {200, 0, 0}, {7, 0, 0}}, {12, 12, 12}},
        {smMedian, 1, 0, {{9, 0, 1}, {30, 0, 0}, {9, 0, 1}, {60, 0, 0}, {9, 0, 1}}, {30, 30, 30}},
        {smSum, 2, 0, {{200, 0, 0}, {200, 0, 0}, {200, 0, 0}}, {255, 255, 255}},
        {smAverage, 1, 0, {{90, 2, 0}, {70, 2, 0}}, {0, 0, 0}},
        {smAverage, 1, 0, {{90, 1, 0}, {70, 1, 0}, {200, 2, 0}}, {80, 80, 80}},
        {smAverage, 1, 1, {{100, 4, 0}, {60, 5, 0}}, {0, 0, 0}},
        {smAverage, 1, 1, {{100, 4, 0}, {60, 5, 0}, {20, 6, 0}}, {0, 30, 70}},
        {smAverage, 1, 1, {{40, 4, 0}, {60, 5, 0}, {80, 6, 0}}, {50, 30, 10}},
    };
    for (const Case& c : cases) {
        std::vector<aligndata> frames;
        for (auto [v, channel, x] : c.frames) frames.push_back(Placed(Grey(1, 1, {uint8_t(v)}), x, 0, channel));
        const std::vector<uint8_t> out = Combined(frames, Parms(c.mode, c.scale, c.wcmy), 3, 2);
        EXPECT_EQ((std::array<int, 3>{out[2], out[1], out[0]}), c.rgb)
            << "rule " << c.mode << " first " << c.frames[0][0];
        EXPECT_EQ((std::vector<uint8_t>(out.end() - 3, out.end())), std::vector<uint8_t>(3, 0)) << "rule " << c.mode;
    }
}

TEST(Combine, FpAverage) {
    // Zero fractions: the plain mean, brightest 254, the last rows unused.
    const std::vector<aligndata> plain = {Placed(Grey(3, 3, {10, 20, 30, 40, 50, 60, 99, 99, 99}), 0, 0),
                                          Placed(Grey(3, 3, {30, 20, 10, 0, 50, 100, 7, 7, 7}), 0, 0)};
    const std::vector<uint8_t> out = Fp(plain, 4, 4, 1);
    const double f = 254.0 / 80;
    const int means[] = {20, 20, 20, 0, 20, 50, 80, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[3 * i], int(means[i] * f)) << i;
    EXPECT_EQ(std::count(out.begin() + 24, out.end(), 0), 24);

    // A frame shifted by minus its fractions: a bright pixel at canvas (2, 2)
    // moves left with fx and up with fy.
    aligndata spot = Placed(Grey(3, 3, {0, 0, 0, 0, 254, 0, 0, 0, 0}), 1, 1);
    auto at = [](const std::vector<uint8_t>& o, int x, int y) { return int(o[3 * (5 * y + x)]); };
    spot.lock.fracX = 0.5;
    const std::vector<uint8_t> left = Fp({spot}, 5, 5, 1);
    EXPECT_EQ((std::array{at(left, 0, 2), at(left, 1, 2), at(left, 2, 2), at(left, 3, 2)}),
              (std::array{0, 254, 254, 0}));
    spot.lock.fracX = 0, spot.lock.fracY = 0.5;
    const std::vector<uint8_t> up = Fp({spot}, 5, 5, 1);
    EXPECT_EQ((std::array{at(up, 2, 0), at(up, 2, 1), at(up, 2, 2), at(up, 2, 3)}), (std::array{0, 127, 254, 0}));
    // A lock without a centre (-1) does not shift its frame.
    spot.lock.fracY = 0;
    const std::vector<uint8_t> still = Fp({spot}, 5, 5, 1);
    spot.lock.fracX = spot.lock.fracY = -1;
    EXPECT_EQ(Fp({spot}, 5, 5, 1), still);
}

TEST(Combine, RandomStacksMatchTheNaiveRules) {
    std::mt19937 rng(11);
    auto pick = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    const std::pair<int, int> rules[] = {{smAverage, 0},       {smAverage, 1},   {smSum, 0},      {smMedian, 0},
                                         {smMedianAverage, 0}, {smMedianSum, 0}, {smFpAverage, 0}};
    for (int round = 0; round < 140; ++round) {
        const auto [mode, wcmy] = rules[round % 7];
        const bool big = round < 7;  // past the serial threshold, so threads share the rows
        const int w = big ? 420 : pick(2, 300), h = big ? 300 : pick(2, 6), n = big ? 9 : pick(1, 9);
        const bool wideRun = rng() % 3 == 0;
        std::vector<aligndata> frames;
        for (int i = 0; i < n; ++i) {
            const int fw = big ? w - 1 - pick(0, 8) : pick(1, w - 1), fh = big ? h - 1 - pick(0, 8) : pick(1, h - 1);
            const bool wide = round % 2 ? wideRun : rng() % 3 == 0;  // odd rounds one format
            const int channel = rng() % 2 ? 0 : pick(0, 6);
            frames.push_back(Placed(vt::RandomBitmap(fw, fh, wide ? pf24bit : pf8bit, rng), pick(0, w - 1 - fw),
                                    pick(0, h - 1 - fh), channel));
            frames.back().lock.fracX = pick(0, 99) / 100.0, frames.back().lock.fracY = pick(0, 99) / 100.0;
        }
        SCOPED_TRACE(testing::Message() << "round " << round << " rule " << mode << " " << w << " x " << h);
        if (mode == smFpAverage) {
            const std::vector<uint8_t> one = Fp(frames, w, h, 1);
            EXPECT_EQ(one, NaiveFp(frames, w, h));
            EXPECT_EQ(one, Fp(frames, w, h, 4));
            continue;
        }
        const TStackParms p = Parms(mode, pick(0, 3), wcmy, *frames[0].bitmap);
        const std::vector<uint8_t> one = Combined(frames, p, w, h);
        EXPECT_EQ(one, NaiveStack(frames, p, w, h));
        // One row by the row kernel: its sums are the canvas row's red, green, blue.
        TStackRowBuffers buffers(w);
        const int y = pick(0, h - 1);
        (mode == smAverage || mode == smSum ? StackRowMean : StackRowMedian)(frames.data(), n, p, y, buffers);
        for (int x = 0; x < 3 * w; ++x) EXPECT_EQ(buffers.sum[x], one[3 * w * y + x / 3 * 3 + 2 - x % 3]) << x;
        EXPECT_TRUE(!big || one == Combined(frames, p, w, h, 4)) << "one thread and four differ";
    }
}
