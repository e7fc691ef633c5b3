// velmora-cli to-fits, to-grayscale and rename as a script runs them: exit
// statuses, messages, and a real frame's FITS data held against astropy's.
#include <sys/stat.h>

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

TEST(CliRename, NumbersASeriesInADottedFolderAndRefusesWhatItMust) {
    vt::TempDir dir;
    const std::string sub = dir.file("m42.2024");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    for (const char* name : {"b.bmp", "a.bmp", "m422.bmp"}) vt::WriteBytes(sub + "/" + name, Bytes{uint8_t(name[0])});
    auto r = Cli("rename --root m42 b.bmp a.bmp", sub);  // a would take m422.bmp, which is taken
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: File [m422.bmp] exists.: a.bmp\n");
    EXPECT_EQ(vt::ReadBytes(sub + "/m421.bmp"), Bytes{'b'});
    EXPECT_EQ(vt::ReadBytes(sub + "/m422.bmp"), Bytes{'m'});

    std::string many;
    for (int i = 0; i < 1000; ++i) {
        vt::WriteBytes(dir.file("f" + std::to_string(i)), {});
        many += " f" + std::to_string(i);
    }
    r = Cli("rename --root m --padded" + many, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Error: Too many files! Must be less than 1000.\n");
    EXPECT_EQ(dir.entries().back(), "m42.2024");  // no "m1000"-style name among them
    EXPECT_EQ(dir.entries().size(), 1001u);
}
