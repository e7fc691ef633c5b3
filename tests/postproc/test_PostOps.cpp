// One operation as "Calculate" then "Ok" run it, and the preview size.
#include <gtest/gtest.h>

#include "untImgProc.h"
#include "untPostOps.h"

TEST(PreviewRect, DividesTheSizeUntilTheWidthFits) {
    auto right = [](int w, int h) { const TRect r = PreviewRect(w, h); return std::pair{r.Right, r.Bottom}; };
    EXPECT_EQ(right(640, 480), (std::pair{319, 239}));
    EXPECT_EQ(right(700, 300), (std::pair{232, 99}));  // 350 at k = 2 is still too wide
    EXPECT_EQ(right(320, 10), (std::pair{319, 9}));
    EXPECT_EQ(right(321, 11), (std::pair{159, 4}));
    EXPECT_EQ(PreviewRect(5, 5).Left, 0);
}

TEST(ApplyPostOperation, ResultsGoBackIntoThePicturesOwnFormat) {
    // 8-bit grey: grey g comes back as entry g, palette kept.
    TBitmap grey(4, 1, pf8bit);
    const uint8_t bytes[] = {10, 100, 110, 50};
    std::copy(bytes, bytes + 4, grey.ScanLine(0));
    ApplyPostOperation(grey, {TPostOpKind::Histogram, 0, 255, 0});
    EXPECT_EQ(grey.PixelFormat(), pf8bit);
    ASSERT_EQ(grey.Palette().size(), 256u);
    EXPECT_EQ(grey.Palette()[254].rgbRed, 254);
    EXPECT_EQ(std::vector<uint8_t>(grey.ScanLine(0), grey.ScanLine(0) + 4), (std::vector<uint8_t>{25, 254, 255, 127}));

    // A kernel that writes nothing (DDP with high 0) leaves every index of a
    // colour palette as it was.
    TBitmap colour(3, 1, pf8bit);
    colour.SetPalette({{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}});
    const uint8_t indices[] = {2, 0, 1};
    std::copy(indices, indices + 3, colour.ScanLine(0));
    ApplyPostOperation(colour, {TPostOpKind::DDP, 1, 0, 1});
    EXPECT_EQ(std::vector<uint8_t>(colour.ScanLine(0), colour.ScanLine(0) + 3), (std::vector<uint8_t>{2, 0, 1}));

    // 24-bit: exactly the kernel's result; two operations compound.
    TBitmap rgb(3, 2, pf24bit);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 9; ++i) rgb.ScanLine(y)[i] = static_cast<uint8_t>(20 * i + 7 * y);
    TBitmap expected(rgb), step(rgb);
    ApplyUnsharpMask(&rgb, step, 1, 40);
    ApplyDDP(&step, expected, 2, 1, 64);
    ApplyPostOperation(rgb, {TPostOpKind::UnsharpMask, 1, 40, 0});
    ApplyPostOperation(rgb, {TPostOpKind::DDP, 1, 64, 2});
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(std::vector<uint8_t>(rgb.ScanLine(y), rgb.ScanLine(y) + 9),
                  std::vector<uint8_t>(expected.ScanLine(y), expected.ScanLine(y) + 9));
}
