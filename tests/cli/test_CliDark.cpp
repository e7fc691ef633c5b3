// velmora-cli dark-subtract and flat-field on copies of real frames, held
// against numpy. Their refusals, and the series modes stopping at a bad file,
// are in the table of refused command lines.
#include "CliTest.h"

using namespace vcli;

TEST(CliDark, WithYesTheDarkIsTakenFromEachRealFrame) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    vt::TempDir dir;
    Sky(dir, {"dark_01.bmp", "m51_001.bmp", "m51_002.bmp", "m51_003.bmp"});
    const auto r =
        Cli("dark-subtract --mode normal --yes --dark dark_01.bmp m51_001.bmp m51_002.bmp m51_003.bmp", dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Numpy("ok = all((np.clip(px(sky + f) - px('dark_01.bmp'), 0, 255) == px(f)).all() for f in a)\n"
                    "print('same' if ok else 'differ')\n",
                    "m51_001.bmp m51_002.bmp m51_003.bmp", dir.path()),
              "same\n");
}

// The rule: integer mean, gain 1 for zero bytes, clamp, truncate. The bad
// file goes through the loop new-normal and new-map share with it.
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
