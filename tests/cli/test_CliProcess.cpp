// velmora-cli process: the operations in command-line order on real frames,
// the refused command lines, and where the picture is written.
#include "CliTest.h"
#include "untPostOps.h"

using namespace vcli;

namespace {

// What the window gives for these operations, applied in this order.
Bytes Direct(const std::string& path, const std::vector<TPostOperation>& ops) {
    TBitmap b;
    b.LoadFromFile(path);
    for (const auto& op : ops) ApplyPostOperation(b, op);
    Bytes v;
    for (int y = 0; y < b.Height(); ++y) v.insert(v.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
    return v;
}

}  // namespace

TEST(CliProcess, RunsTheOperationsInTheOrderGivenOnRealFrames) {
    VT_REQUIRE_TESTDATA();
    vt::TempDir dir;
    Sky(dir, {"m51_001.bmp"});
    const std::string in = dir.file("m51_001.bmp");
    const TPostOperation hist = THistogramParms{10, 250}, ddp = TDDPParms{1, 64, 1},
                         unsharp = TUnsharpMaskParms{2, 60};
    const auto r = Cli("process m51_001.bmp --histogram 10,250 --ddp 1,64,1 --unsharp 2,60 -o a", dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    const std::string reordered = "--unsharp 2,60 --ddp 1,64,1 --histogram 10,250 --ddp 1,64,1";
    EXPECT_EQ(Cli("process m51_001.bmp " + reordered + " -o b.bmp", dir.path()).status, 0);
    EXPECT_EQ(Pixels(dir.file("a.bmp")), Direct(in, {hist, ddp, unsharp}));
    EXPECT_EQ(Pixels(dir.file("b.bmp")), Direct(in, {unsharp, ddp, hist, ddp}));
    EXPECT_NE(Pixels(dir.file("a.bmp")), Pixels(dir.file("b.bmp")));
    EXPECT_EQ(vt::ReadBytes(in), vt::ReadBytes(SkyDir() + "m51_001.bmp"));
}

TEST(CliProcess, RefusedCommandLinesWriteNothing) {
    vt::TempDir dir;
    Frame(dir, "a.bmp", {10, 20, 100, 40});
    vt::WriteBytes(dir.file("junk.bmp"), Bytes(30, 'x'));
    const auto before = Snapshot(dir);
    const std::tuple<const char*, int, const char*> cases[] = {
        {"process a.bmp", 2, "the output file is missing"},
        {"process a.bmp a.bmp -o o", 2, "process takes one picture"},
        {"process a.bmp --ddp 0,64,1 -o o", 2, "--ddp takes LO,HI,FUZZ (low 1..255, high 1..255, fuzz 0..5), got '0,64,1'"},
        {"process a.bmp --ddp 1,64 -o o", 2, "got '1,64'"},
        {"process a.bmp --unsharp 1,0 -o o", 2, "(aperture 1..5, intensity 1..100), got '1,0'"},
        {"process a.bmp --histogram 0,256 -o o", 2, "got '0,256'"},
        {"process a.bmp --histogram 1,2, -o o", 2, "got '1,2,'"},
        {"process a.bmp --histogram 0,255 -o o --unsharp 1,-5", 2, "got '1,-5'"},
        {"process junk.bmp --histogram 0,255 -o o", 1, "Error: junk.bmp is not a bitmap file\n"},
    };
    for (const auto& [args, status, says] : cases) {
        const auto r = Cli(args, dir.path());
        EXPECT_EQ(r.status, status) << args;
        EXPECT_TRUE(status == 1 ? r.output == says : r.output.find(says) != npos) << args << "\n" << r.output;
    }
    EXPECT_EQ(Snapshot(dir), before);
}

TEST(CliProcess, TheSaveRuleAndWritingOverTheInput) {
    // With no operation the picture is written as loaded.
    vt::TempDir dir;
    Frame(dir, "a.bmp", {10, 20, 100, 40});
    EXPECT_EQ(Cli("process a.bmp -o plain", dir.path()).status, 0);
    EXPECT_EQ(Cli("process a.bmp -o other.png", dir.path()).status, 0);
    EXPECT_EQ(Pixels(dir.file("plain.bmp")), (Bytes{10, 20, 100, 40}));
    EXPECT_EQ(Pixels(dir.file("other.png")), (Bytes{10, 20, 100, 40}));
    // -o naming the input replaces it whole.
    EXPECT_EQ(Cli("process a.bmp --histogram 0,255 -o a.bmp", dir.path()).status, 0);
    EXPECT_EQ(Pixels(dir.file("a.bmp")), (Bytes{28, 56, 255, 113}));
}
