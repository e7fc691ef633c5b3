// The FITS writer: bytes of tiny frames worked out by hand, the header's
// fixed columns, the name rule, refusals, and fitsverify's verdict.
#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <utility>
#include <vector>

#include "TestFiles.h"
#include "untFits.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct TFrame {
    BmpRecord* r = nullptr;
    FitsRecord fits;
    TFrame(int w, int h, int bpp, const Bytes& px, const std::string& name) {
        EXPECT_EQ(CreateBmpRecord(r, w, h, bpp), BMP_NO_ERROR);
        std::copy(px.begin(), px.end(), r->pixels);
        r->fileName = name;
    }
    ~TFrame() {
        FreeFitsRecord(&fits);
        FreeBmpBuffers(r);
        delete r;
    }
    uint32_t Write() {
        const uint32_t code = PrepareFits(r, &fits);
        return code != BMP_NO_ERROR ? code : WriteFits(&fits);
    }
};

}  // namespace

TEST(Fits, SmallFramesGiveTheirBytesAndPassFitsverify) {
    vt::TempDir dir;
    TFrame t(3, 2, 1, {1, 2, 3, 4, 5, 6}, dir.file("f.bmp"));
    ASSERT_EQ(t.Write(), BMP_NO_ERROR);
    const Bytes f = vt::ReadBytes(dir.file("f.fts"));
    ASSERT_EQ(f.size(), 5760u);
    Bytes expected = {0, 4, 0, 5, 0, 6, 0, 1, 0, 2, 0, 3};  // bottom row first
    expected.resize(2880, 0);
    EXPECT_EQ(Bytes(f.begin() + 2880, f.end()), expected);
    const std::string header(f.begin(), f.begin() + 2880);
    EXPECT_EQ(header.substr(0, 31), "SIMPLE  =                    T ");
    EXPECT_EQ(header.substr(320, 31), "NAXIS2  =                    2 ");  // value ends in column 30
    EXPECT_EQ(header.substr(480), "END" + std::string(2880 - 483, ' '));
    if (!vt::TestDataDir().empty()) {  // the hand-made fixture holds exactly these bytes
        EXPECT_EQ(f, vt::ReadBytes(vt::TestDataDir() + "/fits/layout_3x2.fts"));
    }

    TFrame wide(320, 240, 1, Bytes(320 * 240, 255), dir.file("w.bmp"));
    ASSERT_EQ(wide.Write(), BMP_NO_ERROR);
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
    TFrame colour(2, 1, 3, {1, 2, 3, 4, 5, 6}, dir.file("c.bmp"));
    EXPECT_EQ(colour.Write(), BMP_IMPROPER_TYPE);
    EXPECT_EQ(colour.r->status, BMP_IMPROPER_TYPE);
    uint8_t* const pixels = std::exchange(colour.r->pixels, nullptr);
    EXPECT_EQ(PrepareFits(colour.r, &colour.fits), BMP_BAD_POINTER);
    colour.r->pixels = pixels;
    TFrame lost(1, 1, 1, {1}, dir.file("no/such/folder/g.bmp"));
    EXPECT_EQ(lost.Write(), BMP_FILE_ERROR);
    EXPECT_TRUE(dir.entries().empty());

    // A write that fails part-way (no file may grow past 4 KB) is reported,
    // and the FITS file written before stays as it was.
    TFrame big(100, 100, 1, Bytes(10000, 7), dir.file("big.bmp"));
    vt::WriteBytes(dir.file("big.fts"), {'o', 'l', 'd'});
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit lower{4096, old.rlim_max};
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &lower) == 0) {
        const uint32_t code = big.Write();
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(code, BMP_FILE_ERROR);
        EXPECT_EQ(vt::ReadBytes(dir.file("big.fts")), (Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.fts"}));
    }
    signal(SIGXFSZ, oldHandler);
}
