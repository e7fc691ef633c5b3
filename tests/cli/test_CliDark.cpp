// velmora-cli dark-subtract on copies of real frames. Its refusals, and the
// series modes stopping at a bad file, are in the table of refused command lines.
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

// They write without asking, so they need no --yes.
TEST(CliDark, FileByFileModesReportABadFileAndGoOn) {
    VT_REQUIRE_TESTDATA();
    for (const std::string mode : {"new-normal", "new-map"}) {
        vt::TempDir dir;
        Sky(dir, {"dark_01.bmp"});
        RunOverABadFile(dir, "dark-subtract --mode " + mode + " --dark dark_01.bmp");
    }
}
