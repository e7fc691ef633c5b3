// velmora-cli on frames made byte by byte: each option reaches its command,
// a bad file is reported by name while the batch goes on, and outputs land
// where the save rule puts them.
#include "CliTest.h"
#include "TestBitmaps.h"
#include "untPostOps.h"

using namespace vcli;

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
        if (!small) {
            EXPECT_EQ(FramePixels(dir.file("b.bmp")), second) << command;
        }
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
    EXPECT_EQ(r.output, "Error: File error: junk.bmp\n");
    EXPECT_EQ(FramePixels(dir.file("c.bmp")), (Bytes{200, 3}));
    EXPECT_EQ(vt::ReadBytes(dir.file("junk.bmp")), Bytes(30, 'x'));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.bmp", "a.fts", "c.bmp", "junk.bmp"}));

    // Rename: numbers padded to the width of the count, each file's own
    // extension, and a taken name reported with the file that keeps its name.
    std::string args = "rename --root m --padded c.bmp";
    for (int i = 0; i < 10; ++i) {
        vt::WriteBytes(dir.file("f" + std::to_string(i)), Bytes{uint8_t(i)});
        args += " f" + std::to_string(i);
    }
    vt::WriteBytes(dir.file("m03"), Bytes{'m'});
    r = Cli(args, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File [m03] exists.: f1\n");
    EXPECT_EQ(vt::ReadBytes(dir.file("m03")), Bytes{'m'});
    EXPECT_EQ(vt::ReadBytes(dir.file("m11")), Bytes{9});
    EXPECT_EQ(FramePixels(dir.file("m01.bmp")), (Bytes{200, 3}));
}

// The operations run in command-line order, each exactly as the window's
// "Calculate" then "Ok"; with none the picture is written as loaded.
TEST(CliProcess, OperationsInTheOrderGivenTheSaveRuleAndWritingOverTheInput) {
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
    const auto r = Cli("process a.bmp --unsharp 2,60 --ddp 1,64,1 --histogram 10,250 --ddp 2,40,3 -o a.bmp", dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(FramePixels(dir.file("a.bmp")), vt::BitmapBytes(expected));
}
