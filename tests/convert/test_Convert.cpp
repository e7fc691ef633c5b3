// The grey conversion on records worked out by hand, and "To FITS" end to
// end; "To Grayscale" is in the table of per-file commands.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../calibration/CalibrationSession.h"
#include "untConvert.h"
#include "untConvertKernels.h"

using namespace vc;

namespace {

bool IsGreyRamp(const BmpRecord& r) {
    const auto* p = reinterpret_cast<const uint8_t*>(r.palette);
    return Bytes(p, p + 1024) == Grey(256);
}

}  // namespace

TEST(ConvertToGrayscale, TakesPaletteRedOrPixelBlueAndLeavesAGreyRamp) {
    Record grey = MakeRecord(4, 1, {0, 128, 255, 1});
    grey->palette[1] = {10, 20, 200, 0};  // blue, green, red: a colour entry gives its red
    grey->palette[5].rgbReserved = 9;
    grey->infoHeader->biClrUsed = 17;
    EXPECT_EQ(ConvertToGrayscale(grey.get()), BMP_NO_ERROR);
    EXPECT_EQ(BytesOf(*grey), (Bytes{0, 128, 255, 200}));
    EXPECT_EQ(grey->infoHeader->biClrUsed, 0u);
    EXPECT_TRUE(IsGreyRamp(*grey));

    grey->infoHeader->biBitCount = 16;  // a colour frame's blue bytes are in the command-line test
    EXPECT_EQ(ConvertToGrayscale(grey.get()), BMP_IMPROPER_TYPE);
}

TEST(ToFits, WritesBesideEachFrameAndRefusesColourFrames) {
    Session s;
    ASSERT_EQ(mkdir(s.dir.file("m42.2024").c_str(), 0755), 0);
    const std::string grey = s.Frame("m42.2024/f.v2.bmp", 3, {1, 2, 3, 4, 5, 6});
    const std::string colour = s.Frame("colour.bmp", 1, {1, 2, 3}, 24);
    const std::string named = s.Frame("named.fts", 1, {9});  // a bitmap already named as its FITS copy
    const auto before = std::pair(vt::ReadBytes(grey), vt::ReadBytes(named));
    s.port.AnswerOpen({grey, colour, named});
    RunToFits(s.state, s.port);

    EXPECT_EQ(s.Messages(), (Texts{"Error: " + std::string(BmpErrorText(BMP_IMPROPER_TYPE)),
                                   "Error: Cannot write " + named + ": it is the frame being converted."}));
    EXPECT_EQ(vt::ReadBytes(s.dir.file("m42.2024/f.fts")).size(), 5760u);
    EXPECT_EQ(std::pair(vt::ReadBytes(grey), vt::ReadBytes(named)), before);
    EXPECT_EQ(s.dir.entries(), (Texts{"colour.bmp", "m42.2024", "named.fts"}));
}
