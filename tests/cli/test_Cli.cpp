// velmora-cli and the frame generator run as a script runs them: the help
// and the command lines refused without touching a file; each option on
// frames made byte by byte; a bad file reported by name while the batch goes
// on; and copies of the shared sky frames held against independent readers
// (numpy over PIL's pixels, astropy's FITS data and fitsverify).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "untCliPort.h"
#include "untPostOps.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vt::FramePixels;

struct Result { int status; std::string output; };  // output: standard output and standard error together

// Runs program in cwd; file names in args are relative to it, which keeps command lines short.
Result RunIn(const std::string& program, const std::string& args, const std::string& cwd) {
    Result r;
    r.status = vt::RunCommand("cd " + vt::ShellQuote(cwd) + " && " + vt::ShellQuote(program) + " " + args, &r.output);
    return r;
}
Result Cli(const std::string& args, const std::string& cwd) { return RunIn(VELMORA_CLI_PATH, args + " </dev/null", cwd); }
int Gen(const std::string& args, const std::string& cwd) { return RunIn(VELMORA_GENFRAMES_PATH, args, cwd).status; }
std::string SkyDir() { return vt::TestDataDir() + "/sky/m51/"; }

// The shared frames are read-only and the commands write over theirs: they get copies.
void Sky(const vt::TempDir& dir, const std::vector<std::string>& names) {
    for (const auto& n : names) vt::WriteBytes(dir.file(n), vt::ReadBytes(SkyDir() + n));
}

#define VCLI_REQUIRE_SKY_AND_NUMPY()                                                \
    do {                                                                            \
        VT_REQUIRE_TESTDATA();                                                      \
        if (vt::RunCommand("/usr/bin/python3 -c 'import PIL, numpy'") != 0)         \
            GTEST_SKIP() << "/usr/bin/python3 with PIL and numpy is not installed"; \
    } while (0)

// What a numpy script run in cwd prints. The script has sky (the shared
// frames' folder), a (the file arguments) and px(path) (a frame's values as
// PIL decodes them).
std::string Numpy(const std::string& body, const std::string& args, const std::string& cwd) {
    const std::string script =
        "import sys, numpy as np\nfrom PIL import Image\nsky, a = sys.argv[1], sys.argv[2:]\n"
        "def px(p): return np.asarray(Image.open(p)).astype(np.int64)\n" +
        body;
    return RunIn("/usr/bin/python3", "-c " + vt::ShellQuote(script) + " " + vt::ShellQuote(SkyDir()) + " " + args, cwd)
        .output;
}

}  // namespace

// velmora-cli as a script meets it before any work: the help, which says
// whether a command writes over its inputs, and the command lines it refuses
// without touching a file.
TEST(Cli, HelpAndRefusedCommandLinesChangeNoFile) {
    vt::TempDir dir;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) vt::WriteFrame(dir.file(name), {10, 20, 100, 40});
    vt::WriteFrame(dir.file("wide.bmp"), {1, 2, 3, 4, 5});
    vt::WriteBytes(dir.file("junk.bmp"), Bytes(40, 'x'));
    ASSERT_EQ(link(dir.file("a.bmp").c_str(), dir.file("same.bmp").c_str()), 0);  // a.bmp by another name
    vt::WriteFrame(dir.file("1.bmp"), {1});
    const auto before = vt::Manifest(dir);
    // Command line, status (0 for help, 2 for a usage error, 1 for a
    // refusal), and part of the help's or a usage error's output, or all of a
    // refusal's.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"--help", 0, "Commands that write over their input files say so in their help."},
        {"create-median --help", 0, "The input files are not"},
        {"dark-subtract --help", 0, "WRITES THE RESULT OVER EACH\nINPUT FILE"},
        {"prescale --help", 0, "WRITES THE RESULT OVER EACH INPUT FILE"},
        {"", 2, "Usage: velmora-cli COMMAND"},
        {"no-such-command", 2, "unknown command 'no-such-command'"},
        {"create-median a.bmp b.bmp c.bmp", 2, "create-median: the output file is missing"},
        {"create-median --bogus a.bmp b.bmp c.bmp -o m.bmp", 2, "unknown option '--bogus'"},
        {"create-median a.bmp b.bmp absent.bmp -o m.bmp", 2, "create-median: no such file: absent.bmp"},
        {"dark-subtract --yes --dark c.bmp a.bmp", 2, "dark-subtract: the mode is missing"},
        {"dark-subtract --mode normal --yes a.bmp", 2, "the dark frame is missing"},
        {"dark-subtract --mode normal --yes --dark x.bmp a.bmp", 2, "no such file: x.bmp"},
        {"create-flat a.bmp b.bmp", 2, "create-flat: the output file is missing"},
        {"flat-field a.bmp", 2, "the flat field is missing"},
        {"prescale --mode bright a.bmp", 2, "unknown mode 'bright'"},
        {"prescale --mode wide --factor 2 a.bmp", 2, "--factor goes with --mode manual only"},
        {"prescale --mode manual --factor 0 a.bmp", 2, "--factor must be a number above 0, such as 1.5 (got '0')"},
        {"prescale --mode manual --factor 1.5x a.bmp", 2, "(got '1.5x')"},
        {"prescale --mode manual --factor 1e999 a.bmp", 2, "(got '1e999')"},
        {"find-high-low a.bmp b.bmp", 2, "find-high-low measures one frame"},
        {"find-high-low", 2, "find-high-low: no input files given"},
        {"resize --factor 0 a.bmp", 2, "--factor must be a whole number of 1 or more (got '0')"},
        {"resize --factor 1.5 a.bmp", 2, "(got '1.5')"},
        {"erode --passes 99999999999 a.bmp", 2, "(got '99999999999')"},
        {"process a.bmp", 2, "the output file is missing"},
        {"process a.bmp a.bmp -o o", 2, "process takes one picture"},
        {"process a.bmp --ddp 0,64,1 -o o", 2, "--ddp takes LO,HI,FUZZ (low 1..255, high 1..255, fuzz 0..5), got '0,64,1'"},
        {"process a.bmp --ddp 1,64 -o o", 2, "got '1,64'"},
        {"process a.bmp --unsharp 1,0 -o o", 2, "(aperture 1..5, intensity 1..100), got '1,0'"},
        {"process a.bmp --histogram 1,2, -o o", 2, "got '1,2,'"},
        {"create-median a.bmp b.bmp -o m.bmp", 1, "Error: A minimum of three files is required for a median\n"},
        {"create-median a.bmp junk.bmp b.bmp c.bmp -o m.bmp", 1, "Error: junk.bmp is not a bitmap file\n"},
        {"flat-field --flat junk.bmp a.bmp", 1, "Error: File error: junk.bmp\n"},
        {"flat-field --flat c.bmp junk.bmp wide.bmp", 1,
         "Error: File error: junk.bmp\nError: All files must be the same size: wide.bmp\n"
         "Summary: 0 of 2 frames written\nNot written: junk.bmp\nNot written: wide.bmp\n"},
        {"process junk.bmp --histogram 0,255 -o o", 1, "Error: junk.bmp is not a bitmap file\n"},
        // Without --yes the modes that ask "are these copies?" are answered no.
        {"dark-subtract --mode normal --dark c.bmp a.bmp b.bmp", 1,
         "Warning: This will overwrite your input files - are these copies?\n  (answered no: pass --yes to go on)\n"},
        // The series modes load every frame before writing any.
        {"dark-subtract --mode normal -y --dark c.bmp a.bmp junk.bmp b.bmp", 1,
         "Error: junk.bmp is not a bitmap file\nSummary: 0 of 3 frames written\n"
         "Not written: a.bmp\nNot written: junk.bmp\nNot written: b.bmp\n"},
        {"dark-subtract --mode normal --yes --dark c.bmp a.bmp wide.bmp", 1,
         "Error: All files must be of the same size: wide.bmp\nSummary: 0 of 2 frames written\n"
         "Not written: a.bmp\nNot written: wide.bmp\n"},
        // A file named twice, an output among the inputs, a reference among
        // the frames it corrects: refused before anything is written.
        {"strip-top-bottom a.bmp ./a.bmp", 1, "Error: a.bmp is named more than once: nothing was changed.\n"},
        {"prescale --mode manual b.bmp same.bmp a.bmp", 1,
         "Error: same.bmp is named more than once: nothing was changed.\n"},
        {"dark-subtract --mode normal --yes --dark c.bmp b.bmp a.bmp b.bmp", 1,
         "Error: b.bmp is named more than once: nothing was changed.\n"},
        {"flat-field --flat c.bmp a.bmp same.bmp", 1, "Error: a.bmp is named more than once: nothing was changed.\n"},
        {"dark-subtract --mode compensate --yes --dark same.bmp b.bmp a.bmp", 1,
         "Error: a.bmp is the dark frame and cannot be among the frames to correct: nothing was changed.\n"},
        {"dark-subtract --mode new-map --dark c.bmp ./c.bmp", 1,
         "Error: ./c.bmp is the dark frame and cannot be among the frames to correct: nothing was changed.\n"},
        {"flat-field --flat c.bmp b.bmp c.bmp", 1,
         "Error: c.bmp is the flat field and cannot be among the frames to correct: nothing was changed.\n"},
        {"create-median a.bmp b.bmp c.bmp -o ./same.bmp", 1,
         "Error: ./same.bmp is one of the input files: nothing was written.\n"},
        {"create-flat a.bmp b.bmp -o b", 1, "Error: b.bmp is one of the input files: nothing was written.\n"},
        {"process a.bmp -o same.bmp", 1, "Error: same.bmp is one of the input files: nothing was written.\n"},
        {"stack --star 1,0 a.bmp b.bmp -o b.bmp", 1, "Error: b.bmp is one of the input files: nothing was written.\n"},
        {"create-median a.bmp b.bmp c.bmp -o ''", 2, "the output file name is empty"},
        {"process a.bmp -o sub/", 2, "the output must name a file, not a folder: sub/"},
        {"create-flat a.bmp b.bmp -o .", 2, "not a folder: ."},
        {"rename --root sub/m a.bmp", 1, "Error: The root of the new names cannot hold a \"/\": sub/m\n"},
        {"rename 1.bmp", 0, ""},  // already its name
    };
    for (const auto& [args, status, says] : cases) {
        const auto r = Cli(args, dir.path());
        EXPECT_EQ(r.status, status) << args;
        EXPECT_TRUE(status == 1 ? r.output == says : r.output.find(says) != std::string::npos) << args << "\n" << r.output;
    }
    EXPECT_EQ(vt::Manifest(dir), before);
}

TEST(CliOptions, EachModeAndOptionGivesItsBytes) {
    // command line, and what become of {10, 20, 100, 40} and {200, 50, 0, 30}
    // (one row each) or, for a 2 x 1 frame, of {1, 2}
    const std::tuple<const char*, Bytes, Bytes> cases[] = {
        {"prescale --mode auto-global", {13, 26, 127, 51}, {255, 64, 0, 38}},
        {"prescale --mode auto-per-file", {26, 51, 255, 102}, {255, 64, 0, 38}},
        {"prescale --mode manual", {20, 40, 200, 80}, {255, 100, 0, 60}},
        {"prescale --mode manual --factor 0.5", {5, 10, 50, 20}, {100, 25, 0, 15}},
        {"prescale --mode=wide", {0, 0, 255, 56}, {255, 35, 0, 5}},
        {"prescale --mode smart-wide", {0, 0, 255, 61}, {255, 37, 0, 8}},
        {"resize", {1, 1, 2, 2, 1, 1, 2, 2}, {}},
        {"resize --factor=1", {1, 2}, {}},
        {"erode --passes 1 --threshold 0", {1, 2}, {}},  // no interior
        {"fix-edges", {1, 2}, {}},
    };
    for (const auto& [command, first, second] : cases) {
        vt::TempDir dir;
        const bool small = second.empty();
        vt::WriteFrame(dir.file("a.bmp"), small ? Bytes{1, 2} : Bytes{10, 20, 100, 40});
        vt::WriteFrame(dir.file("b.bmp"), {200, 50, 0, 30});
        const auto r = Cli(std::string(command) + (small ? " a.bmp" : " a.bmp b.bmp"), dir.path());
        EXPECT_EQ(r.status, 0) << command << r.output;
        EXPECT_EQ(r.output, "") << command;  // quiet when standard error is not a terminal
        EXPECT_EQ(FramePixels(dir.file("a.bmp")), first) << command;
        EXPECT_TRUE(small || FramePixels(dir.file("b.bmp")) == second) << command;
    }
}

TEST(CliBatch, AFileThatFailsIsReportedByNameAndTheNextFileIsStillDone) {
    vt::TempDir dir;
    vt::WriteFrame(dir.file("a.bmp"), {10, 20});
    vt::WriteBytes(dir.file("junk.bmp"), Bytes(30, 'x'));
    vt::BmpLayout colour;
    colour.width = 2;
    colour.bitCount = 24;
    colour.pixels = {200, 1, 2, 3, 4, 5};  // blue, green, red
    vt::WriteBytes(dir.file("c.bmp"), vt::BuildBmp(colour));

    auto r = Cli("to-fits a.bmp junk.bmp c.bmp", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File error: junk.bmp\nError: Improper file type: c.bmp\n");
    r = Cli("to-grayscale junk.bmp c.bmp", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File error: junk.bmp\nSummary: 1 of 2 frames written\nNot written: junk.bmp\n");
    EXPECT_EQ(FramePixels(dir.file("c.bmp")), (Bytes{200, 3}));
    EXPECT_EQ(vt::ReadBytes(dir.file("junk.bmp")), Bytes(30, 'x'));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.bmp", "a.fts", "c.bmp", "junk.bmp"}));

    // Rename: numbers padded to the width of the count, each file's own extension.
    std::string args = "rename --root m --padded c.bmp";
    for (int i = 0; i < 10; ++i) {
        vt::WriteBytes(dir.file("f" + std::to_string(i)), Bytes{uint8_t(i)});
        args += " f" + std::to_string(i);
    }
    EXPECT_EQ(Cli(args, dir.path()).output, "");
    EXPECT_EQ(vt::ReadBytes(dir.file("m11")), Bytes{9});
    EXPECT_EQ(FramePixels(dir.file("m01.bmp")), (Bytes{200, 3}));
}

// What a terminal shows while a batch works; --quiet and a pipe show nothing.
TEST(CliProgress, TheLineNamesTheFileInHandAndTheTimeLeftAndFitsTheTerminal) {
    EXPECT_EQ(CliProgressLine(3, 40, "/night/lights/light_0003.bmp", "Subtracting /night/lights/light_0003.bmp", 42.4, 80),
              "Subtracting 3/40 light_0003.bmp, about 42 s left");
    EXPECT_EQ(CliProgressLine(1, 40, "/a/b.bmp", "Loading input files...", -1, 80), "1/40 b.bmp");
    EXPECT_EQ(CliProgressLine(250, 1000, "", "Creating median...", 150, 80), "Creating median... 25%, about 3 min left");
    EXPECT_EQ(CliProgressLine(0, 0, "", "Validating input files...", -1, 11), "Validating");
    EXPECT_EQ(CliProgressLine(0, 0, "", "Ré", -1, 3), "R");  // never half a character
    EXPECT_EQ(TimeLeftText(0.2), "about 1 s left");
    EXPECT_EQ(TimeLeftText(7385), "about 2 h 03 min left");

    vt::TempDir dir;
    vt::WriteFrame(dir.file("a.bmp"), {10, 20});
    const auto r = Cli("to-grayscale --quiet a.bmp", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
}

// The operations run in command-line order, each exactly as the window's
// "Calculate" then "Ok"; with none the picture is written as loaded.
TEST(CliProcess, OperationsInTheOrderGivenAndTheSaveRule) {
    vt::TempDir dir;
    Bytes picture(7 * 9);  // rows of 7 bytes: padded in the file
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i * 37 % 251);
    vt::WriteFrame(dir.file("a.bmp"), picture, 7);
    EXPECT_EQ(Cli("process a.bmp -o plain", dir.path()).status, 0);
    EXPECT_EQ(Cli("process a.bmp -o other.png", dir.path()).status, 0);
    EXPECT_EQ(FramePixels(dir.file("plain.bmp")), picture);
    EXPECT_EQ(FramePixels(dir.file("other.png")), picture);
    TBitmap expected;
    expected.LoadFromFile(dir.file("a.bmp"));
    for (const TPostOperation& op : std::vector<TPostOperation>{TUnsharpMaskParms{2, 60}, TDDPParms{1, 64, 1},
                                                                THistogramParms{10, 250}, TDDPParms{2, 40, 3}})
        ApplyPostOperation(expected, op);
    const auto r = Cli("process a.bmp --unsharp 2,60 --ddp 1,64,1 --histogram 10,250 --ddp 2,40,3 -o b.bmp", dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(FramePixels(dir.file("b.bmp")), vt::BitmapBytes(expected));
}

TEST(CliRealFrames, MastersAreWhatNumpyWorksOut) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    vt::TempDir dir;
    Sky(dir, {"dark_01.bmp", "dark_02.bmp", "dark_03.bmp", "flat_01.bmp", "flat_02.bmp", "flat_03.bmp"});
    ASSERT_EQ(Gen("--kind light --count 4 --width 67 --height 31 --seed 3 --out .", dir.path()), 0);
    vt::WriteBytes(dir.file("even.bmp"), Bytes(5000, 1));
    // The lower median of an even count; a mean rounded down.
    const std::string median = "ref = np.sort(np.stack([px(p) for p in a[1:]]), axis=0)[len(a) // 2 - 1]\n";
    const std::string mean = "ref = sum(px(p) for p in a[1:]) // (len(a) - 1)\n";
    // command, frames, -o, the file written, numpy's result
    const std::tuple<const char*, const char*, const char*, const char*, std::string> cases[] = {
        {"create-median", "dark_01.bmp dark_02.bmp dark_03.bmp", "odd", "odd.bmp", median},
        {"create-median", "light_0001.bmp light_0002.bmp light_0003.bmp light_0004.bmp", "even.bmp", "even.bmp",
         median},
        {"create-flat", "flat_01.bmp flat_02.bmp flat_03.bmp", "flat", "flat.bmp", mean},
    };
    for (const auto& [command, frames, out, written, ref] : cases) {
        const auto r = Cli(std::string(command) + " " + frames + " -o " + out, dir.path());
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(
            Numpy(ref + "print('same' if px(a[0]).shape == ref.shape and (px(a[0]) == ref).all() else 'differ')\n",
                  std::string(written) + " " + frames, dir.path()),
            "same\n")
            << command << " " << frames;
    }
    // The longer file it replaced is gone whole, and no temporary file is left.
    EXPECT_EQ(vt::ReadBytes(dir.file("even.bmp")).size(), 1078u + 68 * 31);
    EXPECT_EQ(dir.entries().size(), 13u);
}

// Each command over copies of two real frames: p is a frame as it was, and
// the expression what it must become. Every result stays a grey frame.
TEST(CliRealFrames, FileByFileCommandsAreWhatNumpyWorksOut) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    const std::pair<const char*, const char*> cases[] = {
        {"dark-subtract --mode normal --yes --dark dark_01.bmp", "np.clip(p - px('dark_01.bmp'), 0, 255)"},
        // The flat's gain: integer mean, gain 1 for zero bytes, clamp, truncate.
        {"flat-field --flat flat_01.bmp", "np.minimum(p / gain(px('flat_01.bmp')), 255.0).astype(np.uint8)"},
        // Rounded to the nearest byte.
        {"prescale --mode auto-per-file", "(p * (255.0 / max(p.max(), 1)) + 0.5).astype(np.uint8)"},
        {"resize", "np.repeat(np.repeat(p, 2, 0), 2, 1)"},
        {"strip-top-bottom", "p[24:-8]"},
        {"strip-sides", "p[:, 20:-6]"},
        {"erode", "erode(p)"},  // one pass at threshold 20
    };
    for (const auto& [command, reference] : cases) {
        vt::TempDir dir;
        Sky(dir, {"dark_01.bmp", "flat_01.bmp", "m51_001.bmp", "m51_002.bmp"});
        const auto r = Cli(std::string(command) + " m51_001.bmp m51_002.bmp", dir.path());
        EXPECT_EQ(r.status, 0) << command << r.output;
        EXPECT_EQ(Numpy(std::string("def gain(f): return np.where(f > 0, f / (int(f.sum()) // f.size), 1.0)\n"
                                    "def erode(p):\n"
                                    "    q = p.copy(); c = p[1:-1, 1:-1]\n"
                                    "    m = (p[:-2, :-2] + p[:-2, 1:-1] + p[:-2, 2:] + p[1:-1, :-2] + p[1:-1, 2:]\n"
                                    "         + p[2:, :-2] + p[2:, 1:-1] + p[2:, 2:]) // 8\n"
                                    "    q[1:-1, 1:-1] = np.where((c - 20 > m) | (c + 20 < m), m, c)\n"
                                    "    return q\n"
                                    "for f in a:\n"
                                    "    p = px(sky + f)\n"
                                    "    ok = Image.open(f).mode == 'L' and np.array_equal(px(f), ") +
                            reference + ")\n    print('same' if ok else 'differ')\n",
                        "m51_001.bmp m51_002.bmp", dir.path()),
                  "same\nsame\n")
            << command;
    }
}

TEST(CliRealFrames, FindHighLowPrintsWhatNumpyMeasures) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    const auto r = Cli("find-high-low dark_01.bmp", SkyDir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, Numpy("p = px(sky + 'dark_01.bmp')\n"
                              "print('Highest %d\\nLowest %d\\nAverage %d' % (p.max(), p.min(), p.sum() // p.size))\n",
                              "", "."));
}

TEST(CliRealFrames, ToFitsGivesAstropysDataAndPassesFitsverify) {
    VT_REQUIRE_TESTDATA();
    vt::TempDir dir;
    Sky(dir, {"m51_001.bmp"});
    ASSERT_EQ(Cli("to-fits m51_001.bmp", dir.path()).status, 0);
    // The data unit: what follows the header block holding END.
    const auto data = [](const Bytes& f) {
        for (size_t card = 0; card + 80 <= f.size(); card += 80)
            if (std::string(f.begin() + card, f.begin() + card + 8) == "END     ")
                return Bytes(f.begin() + (card / 2880 + 1) * 2880, f.end());
        return Bytes{};
    };
    const Bytes theirs = data(vt::ReadBytes(vt::TestDataDir() + "/fits/m51_001_astropy.fits"));
    ASSERT_EQ(theirs.size(), 54u * 2880);
    EXPECT_TRUE(data(vt::ReadBytes(dir.file("m51_001.fts"))) == theirs);
    if (vt::RunCommand("command -v fitsverify") != 0) GTEST_SKIP() << "fitsverify is not installed";
    EXPECT_EQ(vt::RunCommand("fitsverify -q " + vt::ShellQuote(dir.file("m51_001.fts"))), 0);
}

// Frames other programs wrote: every header version keeps its colours
// (those of the suite's reference decode) through a rewrite.
TEST(CliOtherFrames, EveryHeaderVersionKeepsItsColours) {
    VT_REQUIRE_TESTDATA();
    vt::TempDir dir;
    const std::string suite = vt::TestDataDir() + "/bmpsuite/";
    const Bytes ppm = vt::ReadBytes(suite + "ref/g/pal8.ppm"), colours(ppm.end() - 127 * 64 * 3, ppm.end());
    for (const std::string name : {"pal8", "pal8-0", "pal8v4", "pal8v5", "pal8os2", "pal8topdown"}) {
        vt::WriteBytes(dir.file("f.bmp"), vt::ReadBytes(suite + "g/" + name + ".bmp"));
        ASSERT_EQ(Cli("resize --factor 1 f.bmp", dir.path()).status, 0) << name;
        const Bytes out = vt::ReadBytes(dir.file("f.bmp"));
        Bytes rgb;
        for (const uint8_t i : FramePixels(dir.file("f.bmp")))
            rgb.insert(rgb.end(), {out[56 + 4 * i], out[55 + 4 * i], out[54 + 4 * i]});
        EXPECT_TRUE(rgb == colours) << name;
    }
}

// Prescale keeps the frame's own resolution fields; a frame its user may not
// write is still read wherever a command only reads it, and never replaced.
TEST(CliOtherFrames, PrescaleKeepsTheHeadersAndReadOnlyFramesAreRead) {
    vt::TempDir dir;
    for (const char* mode : {"manual", "wide"}) {
        vt::BmpLayout s{.width = 4, .pixels = {10, 20, 30, 40}, .paletteBGRA = {}, .xPels = 3780, .yPels = 3780};
        vt::WriteBytes(dir.file("p.bmp"), vt::BuildBmp(s));
        ASSERT_EQ(Cli(std::string("prescale --mode ") + mode + " p.bmp", dir.path()).status, 0);
        s.pixels = FramePixels(dir.file("p.bmp"));  // the pixels changed, not a header byte
        EXPECT_TRUE(vt::ReadBytes(dir.file("p.bmp")) == vt::BuildBmp(s)) << mode;
    }

    vt::WriteFrame(dir.file("ref.bmp"), {10, 20, 30, 40});
    vt::WriteFrame(dir.file("l.bmp"), {50, 60, 70, 80});
    const Bytes ref = vt::ReadBytes(dir.file("ref.bmp"));
    ASSERT_EQ(chmod(dir.path().c_str(), 0777) | chmod(dir.file("l.bmp").c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.file("ref.bmp").c_str(), 0444), 0);
    // Root may write any file: as root the commands run as nobody.
    const std::string cli = (geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "") +
                            vt::ShellQuote(VELMORA_CLI_PATH) + " ";
    if (vt::RunCommand(cli + "--help") != 0) GTEST_SKIP() << "velmora-cli cannot be run as an ordinary user";
    const std::pair<const char*, int> cases[] = {
        {"find-high-low ref.bmp", 0}, {"to-fits ref.bmp", 0}, {"flat-field --flat ref.bmp l.bmp", 0},
        {"dark-subtract --mode new-normal --dark ref.bmp l.bmp", 0},
        {"dark-subtract --mode new-map --dark ref.bmp l.bmp", 0}, {"to-grayscale ref.bmp", 1}};
    for (const auto& [args, status] : cases)
        EXPECT_EQ(vt::RunCommand("cd " + vt::ShellQuote(dir.path()) + " && " + cli + args), status) << args;
    EXPECT_TRUE(vt::ReadBytes(dir.file("ref.bmp")) == ref);
}

// The frame generator feeds the demonstration, the tests and the benchmarks:
// they rely on it being repeatable, on darks matching lights, and on a bad
// command line writing nothing.
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
    EXPECT_GT(std::count_if(dark.begin(), dark.end(), [](uint8_t v) { return v > 60; }), 0);
    for (size_t i = 0; i < dark.size(); ++i) EXPECT_TRUE(dark[i] <= 60 || light[i] > 60) << i;

    vt::TempDir dir;
    vt::WriteBytes(dir.file("file"), {1});
    for (const auto& [args, status] : {std::pair{"--kind nebula --out .", 2}, {"--kind dark --width -5 --out .", 2},
                                       {"--kind dark", 2}, {"--kind dark --out file/sub", 1}})
        EXPECT_EQ(Gen(args, dir.path()), status) << args;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"});
}
