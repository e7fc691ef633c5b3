// The FITS writer: bytes of tiny frames worked out by hand, the header's
// fixed columns, the name rule, refusals, and fitsverify's verdict.
#include "../calibration/CalibrationSession.h"
#include "untFits.h"

using namespace vc;

namespace {

// As "To FITS" calls the writer: prepare, write only if that worked, release.
uint32_t WriteAsFits(BmpRecord& bmp, const std::string& name) {
    bmp.fileName = name;
    FitsRecord fits;
    uint32_t code = PrepareFits(&bmp, &fits);
    if (code == BMP_NO_ERROR) code = WriteFits(&fits);
    FreeFitsRecord(&fits);
    return code;
}

}  // namespace

TEST(Fits, SmallFramesGiveTheirBytesAndPassFitsverify) {
    vt::TempDir dir;
    ASSERT_EQ(WriteAsFits(*MakeRecord(3, 2, {1, 2, 3, 4, 5, 6}), dir.file("f.bmp")), BMP_NO_ERROR);
    const Bytes f = vt::ReadBytes(dir.file("f.fts"));
    ASSERT_EQ(f.size(), 5760u);
    // The hand-made fixture: header values ending in column 30, bottom row first.
    if (!vt::TestDataDir().empty()) {
        EXPECT_EQ(f, vt::ReadBytes(vt::TestDataDir() + "/fits/layout_3x2.fts"));
    }

    ASSERT_EQ(WriteAsFits(*MakeRecord(320, 240, Bytes(320 * 240, 255)), dir.file("w.bmp")), BMP_NO_ERROR);
    const Bytes w = vt::ReadBytes(dir.file("w.fts"));
    EXPECT_EQ(w.size(), 55u * 2880);
    EXPECT_EQ(std::string(w.begin() + 240, w.begin() + 271), "NAXIS1  =                  320 ");

    if (vt::RunCommand("command -v fitsverify") != 0) GTEST_SKIP() << "fitsverify is not installed";
    std::string out;
    EXPECT_EQ(vt::RunCommand("fitsverify -q " + vt::ShellQuote(dir.file("f.fts")) + " " +
                                 vt::ShellQuote(dir.file("w.fts")), &out), 0) << out;
}

TEST(Fits, NameComesFromTheFileNameAndFailuresLeaveNoFile) {
    EXPECT_EQ(FitsFileName("/d/m51.v2.bmp"), "/d/m51.fts");
    EXPECT_EQ(FitsFileName("/d/m42.2024/f.bmp"), "/d/m42.2024/f.fts");
    EXPECT_EQ(FitsFileName("/d/m42.2024/frame"), "/d/m42.2024/frame.fts");

    vt::TempDir dir;
    Record colour = MakeRecord(2, 1, {1, 2, 3, 4, 5, 6}, 3);
    EXPECT_EQ(WriteAsFits(*colour, dir.file("c.bmp")), BMP_IMPROPER_TYPE);
    EXPECT_EQ(colour->status, BMP_IMPROPER_TYPE);
    BmpRecord empty;
    EXPECT_EQ(WriteAsFits(empty, dir.file("e.bmp")), BMP_BAD_POINTER);
    Record big = MakeRecord(100, 100, Bytes(10000, 7));
    EXPECT_EQ(WriteAsFits(*big, dir.file("no/such/folder/g.bmp")), BMP_FILE_ERROR);
    EXPECT_TRUE(dir.entries().empty());
}
