// velmora-cli prescale and find-high-low as a user runs them: every mode on
// hand-made frames, real frames checked by an independent reader, a bad
// file in the middle of a batch, and command lines that must change nothing.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "untBmpUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct CliResult {
    int status;
    std::string output;  // standard output and standard error together
};

CliResult Cli(const std::string& args) {
    CliResult r;
    r.status = vt::RunCommand(vt::ShellQuote(VELMORA_CLI_PATH) + " " + args + " </dev/null", &r.output);
    return r;
}

std::string Join(const std::vector<std::string>& files) {
    std::string s;
    for (const auto& f : files) s += " " + vt::ShellQuote(f);
    return s;
}

bool HavePil() { return vt::RunCommand("/usr/bin/python3 -c 'import PIL, numpy'") == 0; }

std::string Python(const std::string& script, const std::vector<std::string>& args) {
    std::string text;
    vt::RunCommand("/usr/bin/python3 -c " + vt::ShellQuote(script) + Join(args), &text);
    return text;
}

std::string Frame(const vt::TempDir& dir, const std::string& name, const Bytes& pixels) {
    vt::BmpLayout s;
    s.width = static_cast<int>(pixels.size());
    s.pixels = pixels;
    vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
    return dir.file(name);
}

Bytes Pixels(const std::string& path) {
    BmpRecord r;
    r.fileName = path;
    EXPECT_EQ(ReadBmpFile(&r), BMP_NO_ERROR) << path;
    Bytes v = r.pixels ? Bytes(r.pixels, r.pixels + BmpPixelBytes(r)) : Bytes{};
    FreeBmpBuffers(r);
    return v;
}

std::string CopyOf(const vt::TempDir& dir, const std::string& m51Name) {
    const std::string path = dir.file(m51Name);
    vt::WriteBytes(path, vt::ReadBytes(vt::TestDataDir() + "/sky/m51/" + m51Name));
    return path;
}

}  // namespace

TEST(CliPrescale, EveryModeGivesItsBytes) {
    struct Case {
        const char* options;
        Bytes first, second;  // of {10, 20, 100, 40} and {200, 50, 0, 30}
    };
    const Case cases[] = {
        {"--mode auto-global", {13, 26, 127, 51}, {255, 64, 0, 38}},
        {"--mode auto-per-file", {26, 51, 255, 102}, {255, 64, 0, 38}},
        {"--mode manual", {20, 40, 200, 80}, {255, 100, 0, 60}},
        {"--mode manual --factor 0.5", {5, 10, 50, 20}, {100, 25, 0, 15}},
        {"--mode=wide", {0, 0, 255, 56}, {255, 35, 0, 5}},
        {"--mode smart-wide", {0, 0, 255, 61}, {255, 37, 0, 8}},
    };
    for (const Case& c : cases) {
        vt::TempDir dir;
        const auto a = Frame(dir, "a.bmp", {10, 20, 100, 40});
        const auto b = Frame(dir, "b.bmp", {200, 50, 0, 30});
        const auto r = Cli(std::string("prescale ") + c.options + Join({a, b}));
        EXPECT_EQ(r.status, 0) << c.options << r.output;
        EXPECT_EQ(r.output, "") << c.options;
        EXPECT_EQ(Pixels(a), c.first) << c.options;
        EXPECT_EQ(Pixels(b), c.second) << c.options;
    }
}

TEST(CliPrescale, ABadFileMidBatchIsReportedAndTheOthersAreStillScaled) {
    VT_REQUIRE_TESTDATA();
    if (!HavePil()) GTEST_SKIP() << "/usr/bin/python3 with PIL and numpy is not installed";
    vt::TempDir dir;
    const auto a = CopyOf(dir, "m51_001.bmp");
    const auto b = CopyOf(dir, "m51_002.bmp");
    vt::WriteBytes(dir.file("bad.bmp"), Bytes(30, 'x'));
    const Bytes bad = vt::ReadBytes(dir.file("bad.bmp"));

    const auto r = Cli("prescale --mode auto-per-file" + Join({a, dir.file("bad.bmp"), b}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File error\n");
    EXPECT_EQ(vt::ReadBytes(dir.file("bad.bmp")), bad);

    // Each frame by 255 / its brightest byte, rounded, as numpy works it out
    // from what PIL decodes of the originals; the palette is kept.
    const std::string check =
        "import sys, numpy as np\n"
        "from PIL import Image\n"
        "for orig, done in zip(sys.argv[1::2], sys.argv[2::2]):\n"
        "    o, d = Image.open(orig), Image.open(done)\n"
        "    p = np.asarray(o).astype(np.float64)\n"
        "    v = p * (255.0 / max(p.max(), 1)) + 0.5\n"
        "    ref = np.where(v > 254.5, 255.0, v).astype(np.uint8)\n"
        "    same = (np.asarray(d) == ref).all() and o.getpalette() == d.getpalette()\n"
        "    print('same' if same else 'differ')\n";
    const std::string m51 = vt::TestDataDir() + "/sky/m51/";
    EXPECT_EQ(Python(check, {m51 + "m51_001.bmp", a, m51 + "m51_002.bmp", b}), "same\nsame\n");
}

TEST(CliFindHighLow, PrintsTheThreeFiguresOfARealFrame) {
    VT_REQUIRE_TESTDATA();
    if (!HavePil()) GTEST_SKIP() << "/usr/bin/python3 with PIL and numpy is not installed";
    const std::string frame = vt::TestDataDir() + "/sky/m51/dark_01.bmp";
    const auto r = Cli("find-high-low " + vt::ShellQuote(frame));
    EXPECT_EQ(r.status, 0);
    const std::string expected = Python(
        "import sys, numpy as np\n"
        "from PIL import Image\n"
        "p = np.asarray(Image.open(sys.argv[1])).astype(np.int64)\n"
        "print('Highest %d\\nLowest %d\\nAverage %d' % (p.max(), p.min(), p.sum() // p.size))\n",
        {frame});
    EXPECT_EQ(r.output, expected);

    vt::TempDir dir;
    vt::WriteBytes(dir.file("bad.bmp"), Bytes(30, 'x'));
    const auto bad = Cli("find-high-low " + vt::ShellQuote(dir.file("bad.bmp")));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.output, "Error: File error\n");
}

TEST(CliPrescale, CommandLinesThatMakeNoSenseChangeNothing) {
    vt::TempDir dir;
    const auto a = Frame(dir, "a.bmp", {10, 20, 100, 40});
    const auto b = Frame(dir, "b.bmp", {200, 50, 0, 30});
    const Bytes before = vt::ReadBytes(a);
    for (const char* options :
         {"", "--mode bright", "--mode wide --factor 2", "--mode manual --factor abc", "--mode manual --factor 0",
          "--mode manual --factor 1.5x", "--mode manual --factor -2", "--mode manual --factor 1e999"}) {
        const auto r = Cli(std::string("prescale ") + options + Join({a}));
        EXPECT_EQ(r.status, 2) << options;
        EXPECT_NE(r.output.find("Try 'velmora-cli prescale --help'"), std::string::npos) << options << r.output;
    }
    EXPECT_EQ(vt::ReadBytes(a), before);
    EXPECT_EQ(Cli("find-high-low" + Join({a, b})).status, 2);
    EXPECT_EQ(Cli("find-high-low").status, 2);

    const auto help = Cli("prescale --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("WRITES THE RESULT OVER EACH INPUT FILE"), std::string::npos);
}
