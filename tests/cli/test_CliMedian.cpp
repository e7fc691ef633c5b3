// velmora-cli as a user runs it: real processes, real files, and the output
// read back by an independent reader (PIL and numpy).
#include <gtest/gtest.h>

#include "TestFiles.h"

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

bool HavePil() { return vt::RunCommand("/usr/bin/python3 -c 'import PIL, numpy'") == 0; }

// The lower median of the frames, computed by numpy from what PIL decodes,
// compared with what PIL decodes of out. Prints "same" or a reason.
std::string CheckWithPil(const std::vector<std::string>& frames, const std::string& out) {
    std::string script =
        "import sys, numpy as np\n"
        "from PIL import Image\n"
        "ims = [Image.open(p) for p in sys.argv[2:]]\n"
        "o = Image.open(sys.argv[1])\n"
        "if o.mode != 'P' and o.mode != 'L': print('mode', o.mode); sys.exit()\n"
        "st = np.stack([np.asarray(i) for i in ims])\n"
        "ref = np.sort(st, axis=0)[(len(ims) + 1) // 2 - 1]\n"
        "got = np.asarray(o)\n"
        "print('same' if got.shape == ref.shape and (got == ref).all() else 'differ')\n";
    std::string cmd = "/usr/bin/python3 -c ";
    cmd += vt::ShellQuote(script);
    cmd += " " + vt::ShellQuote(out);
    for (const auto& f : frames) cmd += " " + vt::ShellQuote(f);
    std::string text;
    vt::RunCommand(cmd, &text);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string Join(const std::vector<std::string>& files) {
    std::string s;
    for (const auto& f : files) s += " " + vt::ShellQuote(f);
    return s;
}

std::vector<std::string> Generate(const vt::TempDir& dir, const std::string& kind, int count, int w, int h) {
    std::string out;
    const int rc = vt::RunCommand(vt::ShellQuote(VELMORA_GENFRAMES_PATH) + " --kind " + kind + " --count " +
                                      std::to_string(count) + " --width " + std::to_string(w) + " --height " +
                                      std::to_string(h) + " --seed 3 --out " + vt::ShellQuote(dir.path()),
                                  &out);
    EXPECT_EQ(rc, 0) << out;
    std::vector<std::string> files;
    for (const auto& e : dir.entries())
        if (e.rfind(kind + "_", 0) == 0) files.push_back(dir.file(e));
    EXPECT_EQ(files.size(), static_cast<size_t>(count));
    return files;
}

}  // namespace

TEST(CliMedian, HelpTellsWhatTheCommandDoes) {
    auto r = Cli("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("create-median"), std::string::npos);
    r = Cli("create-median --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("-o, --output OUT"), std::string::npos);
    EXPECT_NE(r.output.find("lower of the two middle values"), std::string::npos);
}

TEST(CliMedian, UsageErrorsExitWithTwoAndWriteNothing) {
    vt::TempDir dir;
    const auto frames = Generate(dir, "dark", 3, 16, 8);
    const std::string out = vt::ShellQuote(dir.file("m.bmp"));
    EXPECT_EQ(Cli("").status, 2);
    EXPECT_EQ(Cli("no-such-command").status, 2);
    EXPECT_EQ(Cli("create-median" + Join(frames)).status, 2);  // no -o
    EXPECT_EQ(Cli("create-median --bogus" + Join(frames) + " -o " + out).status, 2);
    EXPECT_EQ(Cli("create-median -o " + out).status, 2);  // no frames
    auto r = Cli("create-median" + Join(frames) + " " + vt::ShellQuote(dir.file("absent.bmp")) + " -o " + out);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("absent.bmp"), std::string::npos);
    EXPECT_FALSE(vt::Exists(dir.file("m.bmp")));
}

TEST(CliMedian, GeneratedDarksGiveTheLowerMedianAsAnIndependentReaderSeesIt) {
    if (!HavePil()) GTEST_SKIP() << "/usr/bin/python3 with PIL and numpy is not installed";
    vt::TempDir dir;
    for (int count : {5, 4}) {
        const auto frames = Generate(dir, count == 5 ? "dark" : "light", count, 67, 31);
        const std::string out = dir.file("master" + std::to_string(count));
        auto r = Cli("create-median" + Join(frames) + " -o " + vt::ShellQuote(out));
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output, "");  // quiet on success when standard error is not a terminal
        EXPECT_EQ(CheckWithPil(frames, out + ".bmp"), "same") << count << " frames";
    }
}

TEST(CliMedian, RealDarkFrames) {
    VT_REQUIRE_TESTDATA();
    if (!HavePil()) GTEST_SKIP() << "/usr/bin/python3 with PIL and numpy is not installed";
    vt::TempDir dir;
    const std::string m51 = vt::TestDataDir() + "/sky/m51/";
    const std::vector<std::string> darks = {m51 + "dark_01.bmp", m51 + "dark_02.bmp", m51 + "dark_03.bmp"};
    auto r = Cli("create-median" + Join(darks) + " -o " + vt::ShellQuote(dir.file("master.bmp")));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(CheckWithPil(darks, dir.file("master.bmp")), "same");
}

TEST(CliMedian, RefusalsAreReportedWithTheProgramsTextsAndStatusOne) {
    vt::TempDir dir;
    const auto frames = Generate(dir, "dark", 3, 16, 8);
    const std::string out = vt::ShellQuote(dir.file("m.bmp"));

    auto r = Cli("create-median" + Join({frames[0], frames[1]}) + " -o " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: A minimum of three files is required for a median\n");

    vt::TempDir other;
    const auto big = Generate(other, "dark", 1, 17, 8);
    r = Cli("create-median" + Join(frames) + Join(big) + " -o " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: All files must be the same size\n");

    vt::WriteBytes(dir.file("junk.bmp"), std::vector<uint8_t>(100, 'x'));
    const auto junkBefore = vt::ReadBytes(dir.file("junk.bmp"));
    r = Cli("create-median" + Join(frames) + " " + vt::ShellQuote(dir.file("junk.bmp")) + " -o " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.rfind("Error: ", 0), 0u) << r.output;
    EXPECT_NE(r.output.find("junk.bmp"), std::string::npos) << r.output;
    EXPECT_EQ(vt::ReadBytes(dir.file("junk.bmp")), junkBefore);
    EXPECT_FALSE(vt::Exists(dir.file("m.bmp")));
}

TEST(CliMedian, ReplacesAnExistingOutputWithACompleteFile) {
    vt::TempDir dir;
    const auto frames = Generate(dir, "dark", 3, 40, 20);
    vt::WriteBytes(dir.file("m.bmp"), std::vector<uint8_t>(5000, 1));
    auto r = Cli("create-median" + Join(frames) + " -o " + vt::ShellQuote(dir.file("m.bmp")));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(vt::ReadBytes(dir.file("m.bmp")).size(), 1078u + 40 * 20);
    EXPECT_EQ(dir.entries().size(), 4u);  // no temporary file left behind
}
