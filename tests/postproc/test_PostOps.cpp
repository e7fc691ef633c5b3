// One operation as "Calculate" then "Ok" run it, and the preview size.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestBitmaps.h"
#include "untImgProc.h"
#include "untPostOps.h"

using vt::BitmapBytes;

TEST(PreviewRect, DividesTheSizeUntilTheWidthFits) {
    auto corner = [](int w, int h) { const TRect r = PreviewRect(w, h); return std::pair{r.Right, r.Bottom}; };
    EXPECT_EQ(corner(640, 480), (std::pair{319, 239}));
    EXPECT_EQ(corner(700, 300), (std::pair{232, 99}));  // 350 at k = 2 is still too wide
}

TEST(ApplyPostOperation, ResultsGoBackIntoThePicturesOwnFormat) {
    // The kernel sees colours, not indices, and the result goes back into the
    // palette: in a reversed ramp the greys 255, 100, 10, 50 scale by
    // 255 / 245 to 255, 104, 10, 52.
    TBitmap reversed(4, 1, pf8bit);
    std::vector<RGBQUAD> ramp = GreyRamp();
    std::reverse(ramp.begin(), ramp.end());
    reversed.SetPalette(ramp);
    const uint8_t indices[] = {0, 155, 245, 205};
    std::copy(indices, indices + 4, reversed.ScanLine(0));
    ApplyPostOperation(reversed, THistogramParms{0, 255});
    EXPECT_EQ(reversed.PixelFormat(), pf8bit);
    EXPECT_EQ(BitmapBytes(reversed), (std::vector<uint8_t>{0, 151, 245, 203}));

    // 24-bit: exactly the kernel's result; two operations compound.
    TBitmap rgb(3, 2, pf24bit);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 9; ++i) rgb.ScanLine(y)[i] = static_cast<uint8_t>(20 * i + 7 * y);
    TBitmap expected(rgb), step(rgb);
    ApplyUnsharpMask(&rgb, step, 1, 40);
    ApplyDDP(&step, expected, 2, 1, 64);
    ApplyPostOperation(rgb, TUnsharpMaskParms{1, 40});
    ApplyPostOperation(rgb, TDDPParms{1, 64, 2});
    EXPECT_EQ(BitmapBytes(rgb), BitmapBytes(expected));
}
