// The frame generator feeds the demonstration, the tests and the benchmarks:
// they rely on it being repeatable and on darks matching lights.
#include "CliTest.h"

using namespace vcli;

TEST(GenFrames, SameSeedSameBytesAndHotPixelsShared) {
    vt::TempDir a, b;
    const std::string common = " --count 2 --width 96 --height 64 --seed 9 --out .";
    ASSERT_EQ(Gen("--kind light" + common, a.path()), 0);
    ASSERT_EQ(Gen("--kind light" + common, b.path()), 0);
    ASSERT_EQ(Gen("--kind dark" + common, a.path()), 0);
    EXPECT_EQ(vt::ReadBytes(a.file("light_0001.bmp")), vt::ReadBytes(b.file("light_0001.bmp")));
    EXPECT_NE(Pixels(a.file("light_0001.bmp")), Pixels(a.file("light_0002.bmp")));  // fresh noise per frame

    // Where the dark is hot, the light is at least as bright: a master dark removes them.
    const auto dark = Pixels(a.file("dark_0001.bmp"));
    const auto light = Pixels(a.file("light_0001.bmp"));
    int hot = 0, uncovered = 0;
    for (size_t i = 0; i < dark.size(); ++i) {
        hot += dark[i] > 60;
        uncovered += dark[i] > 60 && light[i] <= 60;
    }
    EXPECT_GT(hot, 0);
    EXPECT_EQ(uncovered, 0);
}

TEST(GenFrames, BadArgumentsAndUnwritableFoldersWriteNothing) {
    vt::TempDir dir;
    vt::WriteBytes(dir.file("file"), {1});
    const std::pair<const char*, int> cases[] = {{"--kind nebula --out .", 2},
                                                 {"--kind dark --width -5 --out .", 2},
                                                 {"--kind dark", 2},
                                                 {"--kind dark --out file/sub", 1}};
    for (const auto& [args, status] : cases) EXPECT_EQ(Gen(args, dir.path()), status) << args;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"});
    const auto help = RunIn(VELMORA_GENFRAMES_PATH, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--kind"), npos);
}
