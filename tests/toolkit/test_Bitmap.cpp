// The toolkit bitmap in memory: formats and rows, copies, format changes,
// and drawing with colour matching, on small bitmaps worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "untBitmap.h"

namespace {

using Bytes = std::vector<uint8_t>;

RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b) { return RGBQUAD{b, g, r, 0}; }

TBitmap Grey8(int width, int height, const Bytes& values) {
    TBitmap b(width, height, pf8bit);
    for (int y = 0; y < height; ++y) std::copy_n(values.begin() + y * width, width, b.ScanLine(y));
    return b;
}

void Put(TBitmap& b, int x, int y, int r, int g, int bl) {
    uint8_t* p = b.ScanLine(y) + 3 * x;
    p[0] = uint8_t(bl);
    p[1] = uint8_t(g);
    p[2] = uint8_t(r);
}

Bytes All(const TBitmap& b) {
    Bytes v;
    for (int y = 0; y < b.Height(); ++y) v.insert(v.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
    return v;
}

// The rule written the slow way: least squared distance, first entry on ties.
uint8_t NaiveNearest(const std::vector<RGBQUAD>& pal, int r, int g, int b) {
    int best = 0, bestD = INT32_MAX;
    for (size_t i = 0; i < pal.size(); ++i) {
        const int dr = pal[i].rgbRed - r, dg = pal[i].rgbGreen - g, db = pal[i].rgbBlue - b;
        if (dr * dr + dg * dg + db * db < bestD) {
            bestD = dr * dr + dg * dg + db * db;
            best = static_cast<int>(i);
        }
    }
    return static_cast<uint8_t>(best);
}

TEST(BitmapBasics, FormatCodesRowLengthsAndStartingPalettes) {
    EXPECT_EQ(int(pf1bit), 1);
    EXPECT_EQ(int(pf4bit), 2);
    EXPECT_EQ(int(pf8bit), 3);
    EXPECT_EQ(int(pf24bit), 6);
    EXPECT_EQ(TBitmap(9, 2, pf1bit).RowBytes(), 2u);
    EXPECT_EQ(TBitmap(3, 2, pf4bit).RowBytes(), 2u);
    EXPECT_EQ(TBitmap(5, 2, pf24bit).RowBytes(), 15u);
    EXPECT_EQ(TBitmap(2, 2, pf1bit).Palette().size(), 2u);
    EXPECT_EQ(TBitmap(2, 2, pf4bit).Palette().size(), 16u);
    EXPECT_TRUE(TBitmap(2, 2, pf24bit).Palette().empty());
    TBitmap device;  // given pixels, a device bitmap holds them as 24-bit
    device.SetSize(2, 3);
    EXPECT_EQ(device.PixelFormat(), pf24bit);

    const std::vector<RGBQUAD> r256 = GreyRamp(256), r16 = GreyRamp(16), r2 = GreyRamp(2);
    ASSERT_EQ(r256.size(), 256u);
    for (int i = 0; i < 256; ++i)
        EXPECT_TRUE(r256[i].rgbRed == i && r256[i].rgbGreen == i && r256[i].rgbBlue == i && !r256[i].rgbReserved);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(r16[i].rgbGreen, i * 17);
    EXPECT_EQ(r2[1].rgbBlue, 255);
}

TEST(BitmapBasics, RowsSizesAndPalettesStayInBounds) {
    TBitmap b(4, 3, pf8bit);
    EXPECT_THROW(b.ScanLine(3), EBitmapError);
    EXPECT_THROW(b.ScanLine(-1), EBitmapError);
    EXPECT_THROW(TBitmap().ScanLine(0), EBitmapError);
    EXPECT_THROW(TBitmap(-1, 3, pf8bit), EBitmapError);
    EXPECT_THROW(TBitmap(70000, 70000, pf24bit), EBitmapError);  // past the 2 GiB a bitmap may hold
    b.SetPalette({Rgb(1, 2, 3), Rgb(4, 5, 6)});
    b.SetSize(5, 7);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(b.Palette().size(), 2u);
    EXPECT_NO_THROW(b.ScanLine(6)[4] = 9);
    EXPECT_THROW(b.SetSize(4, -2), EBitmapError);
    EXPECT_THROW(TBitmap(2, 2, pf4bit).SetPalette(GreyRamp(17)), EBitmapError);
    EXPECT_THROW(TBitmap(2, 2, pf24bit).SetPalette(GreyRamp(2)), EBitmapError);
}

TEST(BitmapBasics, CopiesAreDeepAndComplete) {
    TBitmap a = Grey8(3, 2, {1, 2, 3, 4, 5, 6});
    a.SetPalette({Rgb(9, 9, 9), Rgb(8, 8, 8)});
    TBitmap b(a), c(1, 1, pf24bit);
    b.ScanLine(0)[0] = 99;
    c = a;
    c.ScanLine(1)[2] = 42;
    EXPECT_EQ(All(a), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(All(c), (Bytes{1, 2, 3, 4, 5, 42}));
    EXPECT_EQ(c.PixelFormat(), pf8bit);
    EXPECT_EQ(b.Palette().size(), 2u);
    c.Assign(c);
    EXPECT_EQ(All(c), (Bytes{1, 2, 3, 4, 5, 42}));
    c.Assign(TBitmap());
    EXPECT_TRUE(c.Empty());
}

TEST(BitmapFormatChange, PalettisedToColourAndBack) {
    TBitmap b = Grey8(3, 1, {0, 1, 200});
    b.SetPalette({Rgb(10, 20, 30), Rgb(255, 0, 128)});
    b.SetPixelFormat(pf24bit);
    EXPECT_TRUE(b.Palette().empty());
    EXPECT_EQ(All(b), (Bytes{30, 20, 10, 128, 0, 255, 0, 0, 0}));  // 200 has no entry: black

    TBitmap c(3, 1, pf24bit);
    Put(c, 0, 0, 77, 77, 77);
    Put(c, 1, 0, 255, 0, 0);  // nearest grey to pure red: 85
    Put(c, 2, 0, 100, 101, 101);
    c.SetPixelFormat(pf8bit);
    EXPECT_EQ(All(c), (Bytes{77, 85, 101}));
    EXPECT_EQ(c.Palette().size(), 256u);
    EXPECT_EQ(c.Palette()[200].rgbRed, 200);
}

TEST(BitmapFormatChange, BetweenPalettisedDepths) {
    // Sixteen colours fit 4 bits: indices and palette survive both ways.
    TBitmap b = Grey8(4, 1, {0, 15, 7, 9});
    std::vector<RGBQUAD> sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back(Rgb(uint8_t(i * 3), uint8_t(200 - i), 5));
    b.SetPalette(sixteen);
    b.SetPixelFormat(pf4bit);
    EXPECT_EQ(All(b), (Bytes{0x0f, 0x79}));
    b.SetPixelFormat(pf8bit);
    EXPECT_EQ(All(b), (Bytes{0, 15, 7, 9}));
    EXPECT_EQ(b.Palette()[9].rgbRed, 27);
    // A full grey palette does not fit: colours go to the grey ramp of the depth.
    TBitmap g = Grey8(4, 1, {0, 17, 34, 255});
    g.SetPixelFormat(pf4bit);
    EXPECT_EQ(All(g), (Bytes{0x01, 0x2f}));
    TBitmap m = Grey8(10, 1, {0, 127, 128, 255, 1, 1, 1, 1, 254, 200});  // 127 nearer 0, 128 nearer 255
    m.SetPixelFormat(pf1bit);
    EXPECT_EQ(All(m), (Bytes{0x30, 0xc0}));
}

TEST(BitmapMatching, NearestEntryFirstEntryWinsTies) {
    TBitmap dest(6, 1, pf8bit);
    dest.SetPalette({Rgb(0, 0, 0), Rgb(200, 0, 0), Rgb(0, 200, 0), Rgb(0, 0, 200), Rgb(200, 0, 0), Rgb(100, 100, 0)});
    TBitmap src(6, 1, pf24bit);
    Put(src, 0, 0, 190, 10, 0);     // near red
    Put(src, 1, 0, 200, 0, 0);      // red twice in the palette: the first
    Put(src, 2, 0, 50, 50, 0);      // black and olive both 5000 away: black
    Put(src, 3, 0, 60, 60, 0);      // olive (3200) beats black (7200)
    Put(src, 4, 0, 0, 0, 255);      // blue
    Put(src, 5, 0, 255, 255, 255);  // olive (113075) beats red (133075)
    dest.Draw(0, 0, src);
    EXPECT_EQ(All(dest), (Bytes{1, 1, 0, 5, 3, 5}));
}

TEST(BitmapMatching, AgreesWithTheNaiveRule) {
    std::mt19937 rng(7);
    // Random palettes (one with a duplicate entry) and the grey ramp; random
    // colours, and for the ramp one colour of every sum r + g + b.
    for (int trial = 0; trial < 4; ++trial) {
        std::vector<RGBQUAD> pal;
        for (int i = 0; i < (trial == 1 ? 3 : trial == 2 ? 40 : 256); ++i)
            pal.push_back(Rgb(uint8_t(rng()), uint8_t(rng()), uint8_t(rng())));
        pal.back() = pal.front();
        if (trial == 3) pal = GreyRamp(256);
        TBitmap src(400, 400, pf24bit);
        for (int y = 0; y < 400; ++y)
            for (size_t i = 0; i < src.RowBytes(); ++i) src.ScanLine(y)[i] = uint8_t(rng());
        for (int s = 0; s <= 765; ++s) {
            const int r = std::min(s, 255), g = std::min(s - r, 255);
            Put(src, s % 400, s / 400, r, g, s - r - g);
            Put(src, s % 400, 2 + s / 400, s - r - g, r, g);
        }
        TBitmap dest(400, 400, pf8bit);
        dest.SetPalette(pal);
        dest.Draw(0, 0, src);
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 400; ++x) {
                const uint8_t* p = src.ScanLine(y) + 3 * x;
                ASSERT_EQ(dest.ScanLine(y)[x], NaiveNearest(pal, p[2], p[1], p[0])) << trial << " " << x << "," << y;
            }
    }
}

TEST(BitmapDraw, SamePaletteCopiesIndicesOtherwiseColoursAreMatched) {
    const std::vector<RGBQUAD> pal = {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(255, 0, 0)};
    TBitmap src = Grey8(4, 1, {2, 1, 0, 200});  // 200 lies beyond the palette
    src.SetPalette(pal);
    TBitmap same(4, 1, pf8bit), grey(4, 1, pf8bit), colour(4, 1, pf24bit);
    same.SetPalette(pal);
    same.Draw(0, 0, src);
    grey.Draw(0, 0, src);
    colour.Draw(0, 0, src);
    EXPECT_EQ(All(same), (Bytes{2, 1, 0, 200}));
    EXPECT_EQ(All(grey), (Bytes{85, 255, 0, 0}));
    EXPECT_EQ(All(colour), (Bytes{0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0}));
}

TEST(BitmapDraw, ClippedToTheDestination) {
    const TBitmap src = Grey8(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    TBitmap dest = Grey8(4, 4, Bytes(16, 0));
    dest.Draw(-1, -2, src);  // only src (1..2, 2) shows, top left
    dest.Draw(3, 2, src);    // only src (0, 0..1), right edge
    EXPECT_EQ(All(dest), (Bytes{8, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 4}));
    dest.Draw(4, 0, src);
    dest.Draw(0, -3, src);
    dest.Draw(INT32_MAX, INT32_MIN, src);
    EXPECT_EQ(All(dest), (Bytes{8, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 4}));

    TBitmap rgb(2, 1, pf24bit), three(3, 1, pf24bit);
    for (int x = 0; x < 3; ++x) Put(three, x, 0, 3 * x + 1, 3 * x + 2, 3 * x + 3);
    rgb.Draw(-1, 0, three);
    EXPECT_EQ(All(rgb), (Bytes{6, 5, 4, 9, 8, 7}));
    TBitmap self = Grey8(4, 1, {1, 2, 3, 4});
    self.Draw(1, 0, self);
    EXPECT_EQ(All(self), (Bytes{1, 1, 2, 3}));
}

TEST(BitmapDraw, IntoOneAndFourBitsOnlyTheCoveredPixelsChange) {
    TBitmap four(5, 1, pf4bit);
    std::copy_n(Bytes{0xab, 0xcd, 0xe0}.begin(), 3, four.ScanLine(0));
    four.Draw(1, 0, Grey8(3, 1, {0, 17, 255}));  // grey ramp of 16: entries 0, 1, 15
    EXPECT_EQ(All(four), (Bytes{0xa0, 0x1f, 0xe0}));
    TBitmap one(10, 1, pf1bit);
    one.ScanLine(0)[0] = 0xff;
    one.Draw(6, 0, Grey8(4, 1, {0, 255, 0, 255}));
    EXPECT_EQ(All(one), (Bytes{0xfd, 0x40}));
}

TEST(BitmapDraw, StretchSamplesNearestFromTheRectanglesOrigin) {
    const TBitmap src = Grey8(2, 2, {1, 2, 3, 4});
    TBitmap up(4, 4, pf8bit), down(2, 2, pf8bit), odd(2, 1, pf8bit);
    up.StretchDraw(TRect{0, 0, 4, 4}, src);
    EXPECT_EQ(All(up), (Bytes{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
    down.StretchDraw(TRect{0, 0, 2, 2}, Grey8(4, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(All(down), (Bytes{1, 3, 9, 11}));
    odd.StretchDraw(TRect{0, 0, 2, 1}, Grey8(3, 1, {7, 8, 9}));  // x = floor(dx * 3 / 2)
    EXPECT_EQ(All(odd), (Bytes{7, 8}));

    // A 4 x 4 rectangle from (-1, -1): dest (0, 0) is its (1, 1).
    TBitmap clipped = Grey8(3, 3, Bytes(9, 0));
    clipped.StretchDraw(TRect{-1, -1, 3, 3}, src);
    EXPECT_EQ(All(clipped), (Bytes{1, 2, 2, 3, 4, 4, 3, 4, 4}));
    clipped.StretchDraw(TRect{2, 0, 1, 2}, Grey8(1, 1, {0}));  // empty rectangle
    clipped.StretchDraw(TRect{5, 5, 9, 9}, Grey8(1, 1, {0}));  // outside
    EXPECT_EQ(All(clipped), (Bytes{1, 2, 2, 3, 4, 4, 3, 4, 4}));

    TBitmap rgb(2, 1, pf24bit), dot(1, 1, pf24bit);
    Put(dot, 0, 0, 9, 8, 7);
    rgb.StretchDraw(TRect{0, 0, 2, 1}, dot);
    EXPECT_EQ(All(rgb), (Bytes{7, 8, 9, 7, 8, 9}));
}

}  // namespace
