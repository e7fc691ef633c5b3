// The frame generator feeds the demonstration, the tests and the benchmarks:
// they rely on it being repeatable, on darks matching lights, and on a bad
// command line writing nothing.
#include "CliTest.h"

using namespace vcli;

TEST(GenFrames, SameSeedSameBytesHotPixelsSharedAndBadArgumentsWriteNothing) {
    vt::TempDir a, b;
    const std::string common = " --count 2 --width 96 --height 64 --seed 9 --out .";
    ASSERT_EQ(Gen("--kind light" + common, a.path()), 0);
    ASSERT_EQ(Gen("--kind light" + common, b.path()), 0);
    ASSERT_EQ(Gen("--kind dark" + common, a.path()), 0);
    EXPECT_EQ(vt::ReadBytes(a.file("light_0001.bmp")), vt::ReadBytes(b.file("light_0001.bmp")));
    EXPECT_NE(FramePixels(a.file("light_0001.bmp")), FramePixels(a.file("light_0002.bmp")));  // fresh noise per frame

    // Where the dark is hot, the light is at least as bright: a master dark removes them.
    const auto dark = FramePixels(a.file("dark_0001.bmp")), light = FramePixels(a.file("light_0001.bmp"));
    int hot = 0, uncovered = 0;
    for (size_t i = 0; i < dark.size(); ++i) {
        hot += dark[i] > 60;
        uncovered += dark[i] > 60 && light[i] <= 60;
    }
    EXPECT_GT(hot, 0);
    EXPECT_EQ(uncovered, 0);

    vt::TempDir dir;
    vt::WriteBytes(dir.file("file"), {1});
    for (const auto& [args, status] : {std::pair{"--kind nebula --out .", 2}, {"--kind dark --width -5 --out .", 2},
                                       {"--kind dark", 2}, {"--kind dark --out file/sub", 1}})
        EXPECT_EQ(Gen(args, dir.path()), status) << args;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"});
}
