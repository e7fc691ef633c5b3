// velmora-cli prescale and find-high-low: every mode on frames made byte by
// byte, and real frames measured and scaled as numpy works them out.
#include "CliTest.h"

using namespace vcli;

TEST(CliPrescale, EveryModeGivesItsBytes) {
    // options, and what become of {10, 20, 100, 40} and {200, 50, 0, 30}
    const std::tuple<const char*, Bytes, Bytes> cases[] = {
        {"--mode auto-global", {13, 26, 127, 51}, {255, 64, 0, 38}},
        {"--mode auto-per-file", {26, 51, 255, 102}, {255, 64, 0, 38}},
        {"--mode manual", {20, 40, 200, 80}, {255, 100, 0, 60}},
        {"--mode manual --factor 0.5", {5, 10, 50, 20}, {100, 25, 0, 15}},
        {"--mode=wide", {0, 0, 255, 56}, {255, 35, 0, 5}},
        {"--mode smart-wide", {0, 0, 255, 61}, {255, 37, 0, 8}},
    };
    for (const auto& [options, first, second] : cases) {
        vt::TempDir dir;
        Frame(dir, "a.bmp", {10, 20, 100, 40});
        Frame(dir, "b.bmp", {200, 50, 0, 30});
        const auto r = Cli(std::string("prescale ") + options + " a.bmp b.bmp", dir.path());
        EXPECT_EQ(r.status, 0) << options << r.output;
        EXPECT_EQ(r.output, "") << options;
        EXPECT_EQ(Pixels(dir.file("a.bmp")), first) << options;
        EXPECT_EQ(Pixels(dir.file("b.bmp")), second) << options;
    }
}

TEST(CliPrescale, RealFramesAroundABadFileAreEachScaledByTheirBrightestByte) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    vt::TempDir dir;
    RunOverABadFile(dir, "prescale --mode auto-per-file");
    // Rounded to the nearest byte; the palette is kept.
    EXPECT_EQ(Numpy("for f in a:\n"
                    "    p = px(sky + f)\n"
                    "    ref = (p * (255.0 / max(p.max(), 1)) + 0.5).astype(np.uint8)\n"
                    "    same = Image.open(sky + f).getpalette() == Image.open(f).getpalette()\n"
                    "    print('same' if same and (px(f) == ref).all() else 'differ')\n",
                    "m51_001.bmp m51_002.bmp", dir.path()),
              "same\nsame\n");
}

TEST(CliFindHighLow, PrintsTheThreeFiguresNumpyMeasuresOfARealFrame) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    const auto r = Cli("find-high-low dark_01.bmp", SkyDir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, Numpy("p = px(sky + 'dark_01.bmp')\n"
                              "print('Highest %d\\nLowest %d\\nAverage %d' % (p.max(), p.min(), p.sum() // p.size))\n",
                              "", "."));
}
