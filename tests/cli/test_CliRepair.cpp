// velmora-cli resize, erode and the strip and edge repairs: defaults and
// options, refusals, and real frames held against numpy.
#include "CliTest.h"

using namespace vcli;

TEST(CliRepair, OptionsReachTheCommandsAndBadValuesAreUsageErrors) {
    const std::tuple<const char*, Bytes> cases[] = {
        {"resize", {1, 1, 2, 2, 1, 1, 2, 2}},  // a 2 x 1 frame {1, 2}
        {"resize --factor=1", {1, 2}},
        {"erode --passes 1 --threshold 0", {1, 2}},  // no interior
        {"fix-edges", {1, 2}},
    };
    for (const auto& [command, out] : cases) {
        vt::TempDir dir;
        Frame(dir, "a.bmp", {1, 2});
        const auto r = Cli(std::string(command) + " a.bmp", dir.path());
        EXPECT_EQ(r.status, 0) << command << r.output;
        EXPECT_EQ(Pixels(dir.file("a.bmp")), out) << command;
    }

    vt::TempDir dir;
    Frame(dir, "a.bmp", {1, 2, 3});
    const auto before = Snapshot(dir);
    for (const char* args : {"resize --factor 0", "resize --factor 1.5", "resize --factor ''", "erode --passes -1",
                             "erode --threshold abc", "erode --passes 99999999999"}) {
        const auto r = Cli(std::string(args) + " a.bmp", dir.path());
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.output.find("must be"), npos) << args << r.output;
    }
    EXPECT_EQ(Snapshot(dir), before);
}

TEST(CliRepair, RealFramesAroundABadFileMatchNumpy) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    const std::pair<const char*, const char*> cases[] = {
        {"resize", "np.repeat(np.repeat(p, 2, 0), 2, 1)"},
        {"strip-top-bottom", "p[24:-8]"},
        {"strip-sides", "p[:, 20:-6]"},
        {"erode", "erode(p)"},  // one pass at threshold 20
    };
    for (const auto& [command, reference] : cases) {
        vt::TempDir dir;
        RunOverABadFile(dir, command);
        EXPECT_EQ(Numpy(std::string("def erode(p):\n"
                                    "    q = p.copy(); c = p[1:-1, 1:-1]\n"
                                    "    m = (p[:-2, :-2] + p[:-2, 1:-1] + p[:-2, 2:] + p[1:-1, :-2] + p[1:-1, 2:]\n"
                                    "         + p[2:, :-2] + p[2:, 1:-1] + p[2:, 2:]) // 8\n"
                                    "    q[1:-1, 1:-1] = np.where((c - 20 > m) | (c + 20 < m), m, c)\n"
                                    "    return q\n"
                                    "for f in a:\n"
                                    "    p = px(sky + f)\n"
                                    "    print('same' if np.array_equal(px(f), ") +
                            reference + ") else 'differ')\n",
                        "m51_001.bmp m51_002.bmp", dir.path()),
                  "same\nsame\n")
            << command;
    }
}
