// velmora-cli to-fits, to-grayscale and rename as a script runs them: exit
// statuses, messages, and a real frame's FITS data held against astropy's.
#include "CliTest.h"

using namespace vcli;

namespace {

// The data unit of a FITS file: what follows the header block holding END.
Bytes FitsData(const Bytes& f) {
    for (size_t card = 0; card + 80 <= f.size(); card += 80)
        if (std::string(f.begin() + card, f.begin() + card + 8) == "END     ")
            return Bytes(f.begin() + (card / 2880 + 1) * 2880, f.end());
    return {};
}

}  // namespace

TEST(CliConvert, ToFitsGivesAstropysDataAndBothConversionsReportTheBadFile) {
    VT_REQUIRE_TESTDATA();
    vt::TempDir dir;
    Sky(dir, {"m51_001.bmp"});
    vt::WriteBytes(dir.file("junk.bmp"), Bytes(30, 'x'));
    vt::BmpLayout colour;
    colour.width = 2;
    colour.bitCount = 24;
    colour.pixels = {200, 1, 2, 3, 4, 5};  // blue, green, red
    vt::WriteBytes(dir.file("c.bmp"), vt::BuildBmp(colour));

    auto r = Cli("to-fits m51_001.bmp junk.bmp c.bmp", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File error: junk.bmp\nError: Improper file type: c.bmp\n");
    const Bytes theirs = FitsData(vt::ReadBytes(vt::TestDataDir() + "/fits/m51_001_astropy.fits"));
    ASSERT_EQ(theirs.size(), 54u * 2880);
    EXPECT_TRUE(FitsData(vt::ReadBytes(dir.file("m51_001.fts"))) == theirs);

    r = Cli("to-grayscale junk.bmp c.bmp", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File error: junk.bmp\n");
    EXPECT_EQ(Pixels(dir.file("c.bmp")), (Bytes{200, 3}));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"c.bmp", "junk.bmp", "m51_001.bmp", "m51_001.fts"}));

    if (vt::RunCommand("command -v fitsverify") != 0) GTEST_SKIP() << "fitsverify is not installed";
    EXPECT_EQ(vt::RunCommand("fitsverify -q " + vt::ShellQuote(dir.file("m51_001.fts"))), 0);
}

TEST(CliRename, NumbersAPaddedSeriesAndKeepsATakenName) {
    vt::TempDir dir;
    std::string args = "rename --root m42 --padded";
    for (int i = 0; i < 10; ++i) {
        vt::WriteBytes(dir.file("f" + std::to_string(i) + ".bmp"), Bytes{uint8_t(i)});
        args += " f" + std::to_string(i) + ".bmp";
    }
    vt::WriteBytes(dir.file("m4202.bmp"), Bytes{'m'});
    const auto r = Cli(args, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File [m4202.bmp] exists.: f1.bmp\n");
    EXPECT_EQ(vt::ReadBytes(dir.file("m4201.bmp")), Bytes{0});
    EXPECT_EQ(vt::ReadBytes(dir.file("m4202.bmp")), Bytes{'m'});
    EXPECT_EQ(vt::ReadBytes(dir.file("m4210.bmp")), Bytes{9});
}
