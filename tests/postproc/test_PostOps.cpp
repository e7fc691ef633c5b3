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
    TBitmap reversed = vt::MakeBitmap(4, 1, pf8bit, {0, 155, 245, 205});
    std::vector<RGBQUAD> ramp = GreyRamp();
    std::reverse(ramp.begin(), ramp.end());
    reversed.SetPalette(ramp);
    ApplyPostOperation(reversed, THistogramParms{0, 255});
    EXPECT_EQ(reversed.PixelFormat(), pf8bit);
    EXPECT_EQ(BitmapBytes(reversed), (std::vector<uint8_t>{0, 151, 245, 203}));

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
