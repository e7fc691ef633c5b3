// velmora-cli flat-field as a user runs it: copies of the real m51 frames,
// the results checked against numpy's reading of the same rule.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

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

// The shared data is read-only; the command rewrites its frames, so it works on writable copies.
std::string CopyOf(const vt::TempDir& dir, const std::string& name) {
    const std::string to = dir.file(name);
    fs::copy_file(vt::TestDataDir() + "/sky/m51/" + name, to);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
    return to;
}

// Each result against its original divided by the flat the way numpy reads
// the rule (integer mean, gain 1 for zero bytes, clamp, truncate), and its
// palette against a grey ramp (PIL reads a grey-ramp frame as mode L).
// Prints "same" or what differs.
std::string CheckWithNumpy(const std::string& flat, const std::vector<std::pair<std::string, std::string>>& pairs) {
    const std::string script =
        "import sys, numpy as np\n"
        "from PIL import Image\n"
        "f = np.asarray(Image.open(sys.argv[1])).astype(np.float64)\n"
        "mean = int(f.sum()) // f.size\n"
        "g = np.where(f > 0, f / mean, 1.0)\n"
        "grey = [v for i in range(256) for v in (i, i, i)]\n"
        "for orig, out in zip(sys.argv[2::2], sys.argv[3::2]):\n"
        "    p = np.asarray(Image.open(orig)).astype(np.float64)\n"
        "    want = np.minimum(p / g, 255.0).astype(np.uint8)\n"
        "    o = Image.open(out)\n"
        "    if (np.asarray(o) != want).any(): print('pixels differ', out); sys.exit()\n"
        "    if o.mode != 'L' and (o.mode != 'P' or o.getpalette()[:768] != grey):\n"
        "        print('palette not grey', out); sys.exit()\n"
        "print('same')\n";
    std::string cmd = "/usr/bin/python3 -c " + vt::ShellQuote(script) + " " + vt::ShellQuote(flat);
    for (const auto& [orig, out] : pairs) cmd += " " + vt::ShellQuote(orig) + " " + vt::ShellQuote(out);
    std::string text;
    vt::RunCommand(cmd, &text);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

TEST(CliFlatField, UsageErrorsAndAnUnreadableFlatChangeNoFrame) {
    EXPECT_NE(Cli("flat-field --help").output.find("OVERWRITES EACH FRAME"), std::string::npos);
    vt::TempDir dir;
    vt::BmpLayout s;
    s.width = 4;
    s.pixels = {10, 20, 30, 40};
    vt::WriteBytes(dir.file("a.bmp"), vt::BuildBmp(s));
    vt::WriteBytes(dir.file("junk.bmp"), std::vector<uint8_t>(40, 'x'));
    const auto before = vt::ReadBytes(dir.file("a.bmp"));
    const std::string frame = " " + vt::ShellQuote(dir.file("a.bmp"));

    EXPECT_EQ(Cli("flat-field" + frame).status, 2);
    EXPECT_EQ(Cli("flat-field --flat " + vt::ShellQuote(dir.file("absent.bmp")) + frame).status, 2);
    // The window ends quietly here; a script is told.
    auto r = Cli("flat-field --flat " + vt::ShellQuote(dir.file("junk.bmp")) + frame);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File error: " + dir.file("junk.bmp") + "\n");
    EXPECT_EQ(vt::ReadBytes(dir.file("a.bmp")), before);
}

TEST(CliFlatField, RealFramesAreDividedAndBadOnesReportedWhileTheBatchGoesOn) {
    VT_REQUIRE_TESTDATA();
    if (vt::RunCommand("/usr/bin/python3 -c 'import PIL, numpy'") != 0)
        GTEST_SKIP() << "/usr/bin/python3 with PIL and numpy is not installed";
    vt::TempDir dir;
    const std::string flat = CopyOf(dir, "flat_01.bmp");
    const std::vector<std::string> names = {"m51_001.bmp", "m51_002.bmp", "m51_003.bmp"};
    std::vector<std::string> frames;
    for (const auto& n : names) frames.push_back(CopyOf(dir, n));
    auto cut = vt::ReadBytes(frames[0]);
    cut.resize(3000);  // a frame whose rows end early
    vt::WriteBytes(dir.file("cut.bmp"), cut);
    vt::BmpLayout s;
    s.width = 8;
    s.pixels.assign(8, 90);
    vt::WriteBytes(dir.file("small.bmp"), vt::BuildBmp(s));
    const auto smallBefore = vt::ReadBytes(dir.file("small.bmp"));

    auto r = Cli("flat-field --flat " + vt::ShellQuote(flat) +
                 Join({frames[0], dir.file("cut.bmp"), frames[1], dir.file("small.bmp"), frames[2]}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File error\nError: All files must be the same size\n");
    EXPECT_EQ(vt::ReadBytes(dir.file("cut.bmp")), cut);
    EXPECT_EQ(vt::ReadBytes(dir.file("small.bmp")), smallBefore);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < names.size(); ++i) pairs.push_back({vt::TestDataDir() + "/sky/m51/" + names[i], frames[i]});
    EXPECT_EQ(CheckWithNumpy(flat, pairs), "same");
}
