// The toolkit bitmap in memory: drawing with colour matching, clipping and
// stretching, on small bitmaps worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TestBitmaps.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vt::BitmapBytes;
using vt::MakeBitmap;

RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b) { return RGBQUAD{b, g, r, 0}; }

// The rule written the slow way: least squared distance, first entry on ties.
uint8_t NaiveNearest(const std::vector<RGBQUAD>& pal, const uint8_t* bgr) {
    auto distance = [&](const RGBQUAD& e) {
        return (e.rgbRed - bgr[2]) * (e.rgbRed - bgr[2]) + (e.rgbGreen - bgr[1]) * (e.rgbGreen - bgr[1]) +
               (e.rgbBlue - bgr[0]) * (e.rgbBlue - bgr[0]);
    };
    auto nearer = [&](const RGBQUAD& a, const RGBQUAD& b) { return distance(a) < distance(b); };
    return static_cast<uint8_t>(std::min_element(pal.begin(), pal.end(), nearer) - pal.begin());
}

// Random colours against a palette of few levels with repeated entries
// (ties are common) and against the grey ramp, which may be taken a shorter way.
TEST(BitmapDraw, EachColourGoesToTheNearestEntryTheFirstOnTies) {
    std::mt19937 rng(7);
    std::vector<RGBQUAD> levels(60);
    for (RGBQUAD& e : levels) e = Rgb(uint8_t(rng() % 4 * 85), uint8_t(rng() % 4 * 85), uint8_t(rng() % 4 * 85));
    for (const std::vector<RGBQUAD>& pal : {levels, GreyRamp(256)}) {
        const TBitmap src = vt::RandomBitmap(200, 200, pf24bit, rng);
        TBitmap dest(200, 200, pf8bit);
        dest.SetPalette(pal);
        dest.Draw(0, 0, src);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x)
                ASSERT_EQ(dest.ScanLine(y)[x], NaiveNearest(pal, src.ScanLine(y) + 3 * x)) << x << "," << y;
    }
}

TEST(BitmapDraw, SamePaletteCopiesIndicesOtherwiseColoursAreMatched) {
    const std::vector<RGBQUAD> pal = {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(255, 0, 0)};
    TBitmap src = MakeBitmap(4, 1, pf8bit, {2, 1, 0, 200});  // 200 lies beyond the palette
    src.SetPalette(pal);
    TBitmap same(4, 1, pf8bit), grey(4, 1, pf8bit), colour(4, 1, pf24bit);
    same.SetPalette(pal);
    same.Draw(0, 0, src);
    grey.Draw(0, 0, src);
    colour.Draw(0, 0, src);
    EXPECT_EQ(BitmapBytes(same), (Bytes{2, 1, 0, 200}));
    EXPECT_EQ(BitmapBytes(grey), (Bytes{85, 255, 0, 0}));
    EXPECT_EQ(BitmapBytes(colour), (Bytes{0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0}));
    grey.Draw(0, 0, MakeBitmap(4, 1, pf8bit, {0, 17, 128, 255}));  // grey g to entry g of the ramp
    EXPECT_EQ(BitmapBytes(grey), (Bytes{0, 17, 128, 255}));
}

// Clipped to the destination, a bitmap onto itself included; stretching
// samples the nearest source pixel from the rectangle's origin.
TEST(BitmapDraw, PlainAndStretchedDrawsAreClippedAndSampledExactly) {
    const TBitmap src = MakeBitmap(3, 3, pf8bit, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    TBitmap dest = MakeBitmap(4, 4, pf8bit, Bytes(16, 0));
    dest.Draw(-1, -2, src);  // only src (1..2, 2) shows, top left
    dest.Draw(3, 2, src);    // only src (0, 0..1), right edge
    dest.Draw(4, 0, src);
    dest.Draw(INT32_MAX, INT32_MIN, src);
    EXPECT_EQ(BitmapBytes(dest), (Bytes{8, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 4}));
    TBitmap rgb(2, 1, pf24bit);
    rgb.Draw(-1, 0, MakeBitmap(3, 1, pf24bit, {3, 2, 1, 6, 5, 4, 9, 8, 7}));
    EXPECT_EQ(BitmapBytes(rgb), (Bytes{6, 5, 4, 9, 8, 7}));
    TBitmap self = MakeBitmap(4, 1, pf8bit, {1, 2, 3, 4});
    self.Draw(1, 0, self);
    EXPECT_EQ(BitmapBytes(self), (Bytes{1, 1, 2, 3}));

    const TBitmap two = MakeBitmap(2, 2, pf8bit, {1, 2, 3, 4});
    TBitmap up(4, 4, pf8bit), down(2, 2, pf8bit), clipped = MakeBitmap(3, 3, pf8bit, Bytes(9, 0));
    up.StretchDraw(TRect{0, 0, 4, 4}, two);
    EXPECT_EQ(BitmapBytes(up), (Bytes{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
    down.StretchDraw(TRect{0, 0, 2, 2},
                     MakeBitmap(4, 4, pf8bit, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(BitmapBytes(down), (Bytes{1, 3, 9, 11}));
    clipped.StretchDraw(TRect{-1, -1, 3, 3}, two);  // a 4 x 4 rectangle: dest (0, 0) is its (1, 1)
    clipped.StretchDraw(TRect{2, 0, 1, 2}, two);    // empty rectangle
    EXPECT_EQ(BitmapBytes(clipped), (Bytes{1, 2, 2, 3, 4, 4, 3, 4, 4}));
}

}  // namespace
