// The frame generator feeds the demonstration, the tests and the benchmarks:
// they rely on it being repeatable and on darks matching lights.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "untBmpUtil.h"

namespace {

int Gen(const std::string& args, std::string* out = nullptr) {
    return vt::RunCommand(vt::ShellQuote(VELMORA_GENFRAMES_PATH) + " " + args, out);
}

std::vector<uint8_t> PixelsOf(const std::string& path) {
    BmpRecord r;
    r.fileName = path;
    EXPECT_EQ(ReadBmpFile(&r), BMP_NO_ERROR) << path;
    std::vector<uint8_t> v(r.pixels, r.pixels + BmpPixelBytes(r));
    FreeBmpBuffers(r);
    return v;
}

}  // namespace

TEST(GenFrames, SameSeedSameBytesAndHotPixelsShared) {
    vt::TempDir a, b;
    const std::string common = " --count 2 --width 96 --height 64 --seed 9 --out ";
    ASSERT_EQ(Gen("--kind light" + common + vt::ShellQuote(a.path())), 0);
    ASSERT_EQ(Gen("--kind light" + common + vt::ShellQuote(b.path())), 0);
    ASSERT_EQ(Gen("--kind dark" + common + vt::ShellQuote(a.path())), 0);
    EXPECT_EQ(vt::ReadBytes(a.file("light_0001.bmp")), vt::ReadBytes(b.file("light_0001.bmp")));
    EXPECT_NE(PixelsOf(a.file("light_0001.bmp")), PixelsOf(a.file("light_0002.bmp")));  // fresh noise per frame

    // Where the dark is hot, the light is at least as bright: a master dark removes them.
    const auto dark = PixelsOf(a.file("dark_0001.bmp"));
    const auto light = PixelsOf(a.file("light_0001.bmp"));
    int hot = 0;
    for (size_t i = 0; i < dark.size(); ++i)
        if (dark[i] > 60) {
            ++hot;
            EXPECT_GT(light[i], 60) << "pixel " << i;
        }
    EXPECT_GT(hot, 0);
}

TEST(GenFrames, BadArgumentsAndUnwritableFolders) {
    vt::TempDir dir;
    EXPECT_EQ(Gen("--kind nebula --out " + vt::ShellQuote(dir.path())), 2);
    EXPECT_EQ(Gen("--kind dark --width -5 --out " + vt::ShellQuote(dir.path())), 2);
    EXPECT_EQ(Gen("--kind dark"), 2);  // no --out
    vt::WriteBytes(dir.file("file"), {1});
    EXPECT_EQ(Gen("--kind dark --out " + vt::ShellQuote(dir.file("file") + "/sub")), 1);
    std::string help;
    EXPECT_EQ(Gen("--help", &help), 0);
    EXPECT_NE(help.find("--kind"), std::string::npos);
}
