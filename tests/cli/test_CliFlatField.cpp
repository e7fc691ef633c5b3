// velmora-cli flat-field on copies of real frames, held against numpy's
// reading of the rule: integer mean, gain 1 for zero bytes, clamp, truncate.
#include "CliTest.h"

using namespace vcli;

TEST(CliFlatField, RealFramesAroundABadFileAreDividedAndGetAGreyPalette) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    vt::TempDir dir;
    Sky(dir, {"flat_01.bmp"});
    RunOverABadFile(dir, "flat-field --flat flat_01.bmp");
    // PIL reads a frame with a grey-ramp palette as mode L.
    EXPECT_EQ(Numpy("f = px('flat_01.bmp').astype(np.float64)\n"
                    "g = np.where(f > 0, f / (int(f.sum()) // f.size), 1.0)\n"
                    "grey = [v for i in range(256) for v in (i, i, i)]\n"
                    "for n in a:\n"
                    "    o = Image.open(n)\n"
                    "    ok = (np.asarray(o) == np.minimum(px(sky + n) / g, 255.0).astype(np.uint8)).all()\n"
                    "    print('same' if ok and (o.mode == 'L' or o.getpalette()[:768] == grey) else 'differ')\n",
                    "m51_001.bmp m51_002.bmp", dir.path()),
              "same\nsame\n");
}
