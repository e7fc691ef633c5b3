// The repair kernels on small frames worked out by hand.
#include <gtest/gtest.h>

#include <array>

#include "../calibration/CalibrationSession.h"
#include "untRepairKernels.h"

using namespace vc;

namespace {

// A w x h frame of one value with the pixels at {x, y} set to v.
Bytes Plane(int w, int h, uint8_t background, std::initializer_list<std::array<int, 3>> spots = {}) {
    Bytes p(static_cast<size_t>(w * h), background);
    for (const auto& [x, y, v] : spots) p[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(v);
    return p;
}

// Runs kernel on a frame of in, w pixels wide, and expects out.
void ExpectKernel(uint32_t (*kernel)(BmpRecord*), int w, const Bytes& in, const Bytes& out) {
    auto f = MakeRecord(w, static_cast<int>(in.size()) / w, in);
    ASSERT_EQ(kernel(f.get()), BMP_NO_ERROR);
    EXPECT_EQ(BytesOf(*f), out);
}

}  // namespace

TEST(RepairKernels, EnlargeErodeAndStripRefuseOrLeaveWhatTheyCannotWork) {
    // Below 1, or beyond 32-bit header fields (width, height, a 2 GiB
    // array), is refused before allocating, the frame untouched.
    const std::tuple<int, int, int32_t, uint32_t> cases[] = {{3, 2, 0, BMP_IMPROPER_TYPE},
                                                             {70000, 1, 40000, BMP_NO_MEMORY},
                                                             {1, 3, INT32_MAX, BMP_NO_MEMORY},
                                                             {300, 200, 200, BMP_NO_MEMORY}};
    for (const auto& [w, h, factor, status] : cases) {
        auto f = MakeRecord(w, h, Bytes(static_cast<size_t>(w * h), 9));
        EXPECT_EQ(EnlargeFrame(f.get(), factor), status) << factor;
        EXPECT_EQ(std::tuple(f->infoHeader->biWidth, f->infoHeader->biHeight, f->status), std::tuple(w, h, status));
        EXPECT_EQ(BytesOf(*f), Bytes(static_cast<size_t>(w * h), 9));
    }
    // Each erosion pass works on the whole result of the one before.
    const Bytes cluster = Plane(6, 6, 30, {{2, 2, 250}, {3, 2, 250}, {2, 3, 250}, {3, 3, 250}});
    auto once = MakeRecord(6, 6, cluster), twice = MakeRecord(6, 6, cluster);
    for (int pass = 0; pass < 2; ++pass) ASSERT_EQ(ErodeFrame(once.get(), 1, 20), BMP_NO_ERROR);
    ASSERT_EQ(ErodeFrame(twice.get(), 2, 20), BMP_NO_ERROR);
    EXPECT_EQ(BytesOf(*twice), BytesOf(*once));
    EXPECT_NE(BytesOf(*twice), cluster);
    // 31 among 30s: threshold 0 replaces any difference, 1 lets it stand, a
    // negative one replaces every pixel; extreme ones must not overflow.
    // 45 stays within 20, 9 does not.
    const std::tuple<int, int32_t, int> centres[] = {
        {31, 0, 30}, {31, 1, 31}, {31, INT32_MAX, 31}, {31, INT32_MIN, 30}, {45, 20, 45}, {9, 20, 30}};
    for (const auto& [centre, threshold, result] : centres) {
        auto f = MakeRecord(3, 3, Plane(3, 3, 30, {{1, 1, centre}}));
        ASSERT_EQ(ErodeFrame(f.get(), 1, threshold), BMP_NO_ERROR);
        EXPECT_EQ(BytesOf(*f)[4], result) << centre << " " << threshold;
    }
    // The two cuts need 27 x 33 pixels; they leave the middle.
    auto f = MakeRecord(26, 32, Bytes(26 * 32, 7));
    EXPECT_EQ(StripTopBottom(f.get()), BMP_IMPROPER_TYPE);
    EXPECT_EQ(StripSides(f.get()), BMP_IMPROPER_TYPE);
    EXPECT_EQ(BytesOf(*f), Bytes(26 * 32, 7));
    f = MakeRecord(27, 33, Bytes(27 * 33, 7));
    f->pixels[24 * 27 + 20] = 1;  // row 24, column 20: all that the two cuts leave
    ASSERT_EQ(StripTopBottom(f.get()), BMP_NO_ERROR);
    ASSERT_EQ(StripSides(f.get()), BMP_NO_ERROR);
    EXPECT_EQ(std::tuple(f->infoHeader->biWidth, f->infoHeader->biSizeImage, BytesOf(*f)), std::tuple(1, 1u, Bytes{1}));
}

TEST(RepairKernels, VerticalBarsTakeEachColumnsAmountFromColumnNineOn) {
    // 10 rows of 20 columns on 50, column 12 at 80: from column 9 on all goes
    // to 0 (the last three columns lose their plain mean), 0 to 8 stay.
    Bytes bars = Plane(20, 10, 50), cleared = Plane(20, 10, 0);
    for (int y = 0; y < 10; ++y) {
        bars[static_cast<size_t>(y * 20 + 12)] = 80;
        std::fill_n(cleared.begin() + y * 20, 9, 50);
    }
    ExpectKernel(FixVerticalBars, 20, bars, cleared);
    // One row: S[9] = 280 / 7 = 40 stays below the smallest mean 70, so
    // column 9 loses only 70 - 40.
    ExpectKernel(FixVerticalBars, 13, {7, 7, 7, 7, 7, 7, 7, 7, 7, 70, 70, 70, 70},
                 {7, 7, 7, 7, 7, 7, 7, 7, 7, 40, 0, 0, 0});
    // Column 9 of 100 over 20 has mean 60: the 20 below it is left alone.
    ExpectKernel(FixVerticalBars, 10, Plane(10, 2, 0, {{9, 0, 100}, {9, 1, 20}}), Plane(10, 2, 0, {{9, 0, 40}, {9, 1, 20}}));
}

TEST(RepairKernels, FixEdgesLiftsLinesBelowTheDarkLevel) {
    // Lines of 10, 30, 100, 100: G = 60, D = 20; only the first line rises,
    // as rows and, transposed, as columns.
    ExpectKernel(FixFrameEdges, 4, {10, 10, 10, 10, 30, 30, 30, 30, 100, 100, 100, 100, 100, 100, 100, 100},
                 {20, 20, 20, 20, 30, 30, 30, 30, 100, 100, 100, 100, 100, 100, 100, 100});
    ExpectKernel(FixFrameEdges, 4, {10, 30, 100, 100, 10, 30, 100, 100, 10, 30, 100, 100, 10, 30, 100, 100},
                 {20, 30, 100, 100, 20, 30, 100, 100, 20, 30, 100, 100, 20, 30, 100, 100});
    // G = 3615 / 32, D = 960 / 19 = 50.53; the first row (mean 31.875) gains
    // 18.65: zeros become 18 and 255 stays 255 instead of wrapping.
    Bytes clamp(32);  // rows: 0 0 0 0 0 0 0 255, then three of 80 80 80 80 200 200 200 200
    for (size_t i = 0; i < 32; ++i) clamp[i] = i < 7 ? 0 : i == 7 ? 255 : i % 8 < 4 ? 80 : 200;
    Bytes lifted = clamp;
    std::fill_n(lifted.begin(), 7, 18);
    ExpectKernel(FixFrameEdges, 8, clamp, lifted);
    ExpectKernel(FixFrameEdges, 3, Bytes(6, 77), Bytes(6, 77));  // nothing below the mean
}

TEST(RepairKernels, TwentyFourBitFramesAreWorkedChannelByChannel) {
    // Three different planes interleaved come out as each plane does on its own.
    const int w = 30, h = 34;
    Bytes planes[3], interleaved;
    for (int i = 0; i < w * h; ++i) {
        planes[0].push_back(static_cast<uint8_t>((i * 37 + i / w * 11) % 256));       // busy
        planes[1].push_back(static_cast<uint8_t>(40 + (i % w == 15) * 90));           // a bright column
        planes[2].push_back(static_cast<uint8_t>(i / w < 3 ? 5 : 60 + i % 2 * 60));  // dark top rows
        for (const Bytes& p : planes) interleaved.push_back(p.back());
    }
    const std::pair<const char*, uint32_t (*)(BmpRecord*)> kernels[] = {
        {"erode", [](BmpRecord* r) { return ErodeFrame(r, 2, 10); }},
        {"enlarge", [](BmpRecord* r) { return EnlargeFrame(r, 2); }},
        {"strip top and bottom", StripTopBottom},
        {"strip sides", StripSides},
        {"vertical bars", FixVerticalBars},
        {"fix edges", FixFrameEdges},
    };
    for (const auto& [name, kernel] : kernels) {
        Bytes expected;
        for (size_t c = 0; c < 3; ++c) {
            auto one = MakeRecord(w, h, planes[c]);
            ASSERT_EQ(kernel(one.get()), BMP_NO_ERROR) << name;
            const Bytes out = BytesOf(*one);
            expected.resize(out.size() * 3);
            for (size_t i = 0; i < out.size(); ++i) expected[i * 3 + c] = out[i];
        }
        auto colour = MakeRecord(w, h, interleaved, 3);
        ASSERT_EQ(kernel(colour.get()), BMP_NO_ERROR) << name;
        EXPECT_EQ(BytesOf(*colour), expected) << name;
    }
}
