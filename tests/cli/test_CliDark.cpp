// velmora-cli dark-subtract and create-flat on real frames, read back by an
// independent reader (PIL and numpy).
#include <gtest/gtest.h>

#include <sys/stat.h>

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

std::string Join(const std::vector<std::string>& files) {
    std::string s;
    for (const auto& f : files) s += " " + vt::ShellQuote(f);
    return s;
}

// Prints what a numpy check over files prints ("same" when it holds), or why it could not run.
std::string Check(const std::string& body, const std::vector<std::string>& files) {
    if (vt::RunCommand("/usr/bin/python3 -c 'import PIL, numpy'") != 0) return "same";  // no independent reader
    const std::string script =
        "import sys, numpy as np\nfrom PIL import Image\n"
        "def px(p): return np.asarray(Image.open(p)).astype(np.int32)\n" +
        body;
    std::string text;
    vt::RunCommand("/usr/bin/python3 -c " + vt::ShellQuote(script) + Join(files), &text);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// Writable copies of the shared frames, which are read-only there.
std::vector<std::string> Copies(const vt::TempDir& dir, const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const auto& n : names) {
        out.push_back(dir.file(n));
        vt::WriteBytes(out.back(), vt::ReadBytes(vt::TestDataDir() + "/sky/m51/" + n));
        chmod(out.back().c_str(), 0644);
    }
    return out;
}

const std::vector<std::string> kLights = {"m51_001.bmp", "m51_002.bmp", "m51_003.bmp"};

}  // namespace

TEST(CliDark, ToolkitModesRefuseWithoutYesAndSubtractWithIt) {
    VT_REQUIRE_TESTDATA();
    vt::TempDir dir, orig;
    const auto lights = Copies(dir, kLights);
    const auto originals = Copies(orig, kLights);
    const std::string dark = " --dark " + vt::ShellQuote(Copies(orig, {"dark_01.bmp"})[0]);

    EXPECT_NE(Cli("dark-subtract --help").output.find("WRITES THE RESULT OVER EACH"), std::string::npos);
    for (const auto& args : std::vector<std::string>{"--yes", "--mode bogus --yes" + dark, "--mode normal --yes",
                                                     "--mode normal --yes --dark " + vt::ShellQuote(dir.file("x.bmp"))})
        EXPECT_EQ(Cli("dark-subtract " + args + Join(lights)).status, 2) << args;

    auto r = Cli("dark-subtract --mode normal" + dark + Join(lights));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Warning: This will overwrite your input files - are these copies?"), std::string::npos);
    for (size_t i = 0; i < lights.size(); ++i) EXPECT_EQ(vt::ReadBytes(lights[i]), vt::ReadBytes(originals[i]));

    r = Cli("dark-subtract --mode normal --yes" + dark + Join(lights));
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::string> args = {orig.file("dark_01.bmp")};
    for (size_t i = 0; i < lights.size(); ++i) args.insert(args.end(), {originals[i], lights[i]});
    EXPECT_EQ(Check("d, f = px(sys.argv[1]), sys.argv[2:]\n"
                    "ok = all((np.clip(px(a) - d, 0, 255) == px(b)).all() for a, b in zip(f[::2], f[1::2]))\n"
                    "print('same' if ok else 'differ')\n",
                    args),
              "same");
}

TEST(CliDark, ABadFileInTheMiddle) {
    VT_REQUIRE_TESTDATA();
    vt::TempDir dir;
    const auto dark = Copies(dir, {"dark_01.bmp"})[0];
    vt::WriteBytes(dir.file("junk.bmp"), std::vector<uint8_t>(300, 'x'));
    const auto junk = vt::ReadBytes(dir.file("junk.bmp"));
    auto withJunk = [&](const vt::TempDir& where) {
        auto frames = Copies(where, kLights);
        frames.insert(frames.begin() + 1, dir.file("junk.bmp"));
        return frames;
    };

    // The series commands load every frame first: they end there with nothing written.
    const auto frames = withJunk(dir);
    const auto before = vt::ReadBytes(frames[3]);
    for (const std::string mode : {"normal", "compensate", "map-hot-pixels"}) {
        auto r = Cli("dark-subtract --mode " + mode + " --yes --dark " + vt::ShellQuote(dark) + Join(frames));
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_NE(r.output.find("junk.bmp"), std::string::npos) << r.output;
        EXPECT_EQ(vt::ReadBytes(frames[3]), before) << mode;
    }
    EXPECT_EQ(Cli("create-flat" + Join(frames) + " -o " + vt::ShellQuote(dir.file("flat.bmp"))).status, 1);
    EXPECT_FALSE(vt::Exists(dir.file("flat.bmp")));

    // The file-by-file ones report it and go on with the next.
    for (const std::string mode : {"new-normal", "new-map"}) {
        vt::TempDir fresh;
        const auto each = withJunk(fresh);
        auto r = Cli("dark-subtract --mode " + mode + " --dark " + vt::ShellQuote(dark) + Join(each));
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_NE(r.output.find("Error: "), std::string::npos) << r.output;
        EXPECT_NE(vt::ReadBytes(each[3]), before) << mode;
    }
    EXPECT_EQ(vt::ReadBytes(dir.file("junk.bmp")), junk);
}

TEST(CliDark, CreateFlatIsTheTruncatedMean) {
    VT_REQUIRE_TESTDATA();
    vt::TempDir dir;
    const auto flats = Copies(dir, {"flat_01.bmp", "flat_02.bmp", "flat_03.bmp"});
    auto r = Cli("create-flat" + Join(flats) + " -o " + vt::ShellQuote(dir.file("master")));
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::string> args = {dir.file("master.bmp")};
    args.insert(args.end(), flats.begin(), flats.end());
    EXPECT_EQ(Check("s = sum(px(p) for p in sys.argv[2:]) // (len(sys.argv) - 2)\n"
                    "print('same' if (s == px(sys.argv[1])).all() else 'differ')\n",
                    args),
              "same");

    r = Cli("create-flat " + vt::ShellQuote(flats[0]) + " -o " + vt::ShellQuote(dir.file("one.bmp")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: A flat needs at least two frames\n");
    EXPECT_FALSE(vt::Exists(dir.file("one.bmp")));
}
