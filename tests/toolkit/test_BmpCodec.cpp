// The general bitmap codec on hand-made files and on files it writes, and
// every writer of frames when the disk fills. The bitmap suite is in
// test_BmpSuite.cpp.
#include <gtest/gtest.h>

#include <unistd.h>

#include <random>

#include "../calibration/CalibrationSession.h"
#include "TestBitmaps.h"
#include "untBmpCodec.h"
#include "untFits.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pal(const TBitmap& b) {  // blue, green, red, reserved per entry
    const auto* p = reinterpret_cast<const uint8_t*>(b.Palette().data());
    return Bytes(p, p + 4 * b.Palette().size());
}

TEST(BmpCodecFiles, AHugeClaimedSizeIsRefusedBeforeAnyAllocation) {
    // A sparse file as long as its header says: 24-bit, 40000 x 20000.
    Bytes head = TBmpCodec::Encode(TBitmap(4, 1, pf24bit));
    head.resize(54);
    PutLE32(head.data() + 18, 40000);
    PutLE32(head.data() + 22, 20000);
    vt::TempDir dir;
    const std::string path = dir.file("big.bmp");
    vt::WriteBytes(path, head);
    ASSERT_EQ(truncate(path.c_str(), off_t{54} + off_t{120000} * 20000), 0);
    TBitmap b(1, 1, pf8bit);
    EXPECT_EQ(vt::ErrorOf([&] { b.LoadFromFile(path); }),
              path + " is too large: its 40000 x 20000 pixels would take more than the 2 GiB a bitmap may hold");
    EXPECT_EQ(b.Width(), 1);
}

// 252 entries; 16, which would fit 4 bits but stay 8; widths 1 to 4 of both
// depths, each padded differently. The reader is held against the suite's
// reference decodes, so what it reads back is what was written; an
// independent reader opens our master frames in the command-line tests.
// Old writers leave out the last row's pad, or state no palette count and
// store fewer entries than the depth allows: those files read the same.
TEST(BmpCodecWrite, DepthPaletteAndPixelsComeBackExactly) {
    std::mt19937 rng(1);
    std::vector<TBitmap> cases = {vt::RandomBitmap(13, 5, pf8bit, rng, 252), vt::RandomBitmap(6, 4, pf8bit, rng, 16)};
    for (int w = 1; w <= 4; ++w) {
        cases.push_back(vt::RandomBitmap(w, 3, pf8bit, rng, 40));
        cases.push_back(vt::RandomBitmap(w, 3, pf24bit, rng));
    }
    for (const TBitmap& b : cases) {
        const bool rgb = b.PixelFormat() == pf24bit;
        const size_t entries = b.Palette().size(), stride = (b.RowBytes() + 3) / 4 * 4;
        SCOPED_TRACE((rgb ? "24-bit " : "8-bit ") + std::to_string(b.Width()) + " x " + std::to_string(b.Height()));
        const Bytes f = TBmpCodec::Encode(b);
        EXPECT_EQ(f[28], rgb ? 24 : 8);
        EXPECT_EQ(GetLE16(f.data() + 46), entries);  // biClrUsed
        EXPECT_EQ(f.size(), 54 + 4 * entries + stride * b.Height());
        Bytes old = f;
        old[46] = 0;
        old.resize(f.size() - (stride - b.RowBytes()));
        for (const Bytes& file : {f, old}) {
            TBitmap back;
            std::string reason;
            ASSERT_TRUE(TBmpCodec::Decode(file.data(), file.size(), back, &reason)) << reason;
            EXPECT_EQ(vt::BitmapBytes(back), vt::BitmapBytes(b));
            EXPECT_EQ(Pal(back), Pal(b));
        }
        old.pop_back();  // now a pixel is missing
        TBitmap refused;
        EXPECT_FALSE(TBmpCodec::Decode(old.data(), old.size(), refused, nullptr));
    }
}

// The frame record's writer, the FITS writer and the toolkit's: a write that
// fails part-way is reported, the file written before stays byte for byte
// and nothing is left beside it. Once there is room the same write succeeds.
TEST(Writers, AFullDiskLeavesTheOldFileAndIsReported) {
    vt::TempDir dir;
    const Bytes old = {'o', 'l', 'd'};
    for (const char* name : {"frame.bmp", "frame.fts", "picture.bmp"}) vt::WriteBytes(dir.file(name), old);
    vc::Record record = vc::MakeRecord(1000, 20, Bytes(20000, 7));  // 21,078 bytes once written
    record->fileName = dir.file("frame.bmp");
    FitsRecord fits;
    ASSERT_EQ(PrepareFits(record.get(), &fits), BMP_NO_ERROR);
    std::mt19937 rng(5);
    uint32_t bmpCode = BMP_NO_ERROR, fitsCode = BMP_NO_ERROR;
    std::string error;
    if (!vt::WithSmallFileLimit([&] {
            bmpCode = WriteBmpFile(record.get());
            fitsCode = WriteFits(&fits);
            error = vt::ErrorOf([&] { vt::RandomBitmap(300, 200, pf8bit, rng).SaveToFile(dir.file("picture.bmp")); });
        }))
        GTEST_SKIP() << "cannot lower the file size limit";
    EXPECT_EQ(bmpCode, BMP_FILE_ERROR);
    EXPECT_EQ(record->status, BMP_FILE_ERROR);
    EXPECT_EQ(fitsCode, BMP_FILE_ERROR);
    EXPECT_EQ(error.rfind(dir.file("picture.bmp") + " could not be saved", 0), 0u) << error;
    for (const char* name : {"frame.bmp", "frame.fts", "picture.bmp"}) EXPECT_EQ(vt::ReadBytes(dir.file(name)), old);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"frame.bmp", "frame.fts", "picture.bmp"}));

    ASSERT_EQ(WriteBmpFile(record.get()), BMP_NO_ERROR);
    EXPECT_EQ(vt::ReadBytes(dir.file("frame.bmp")).size(), 1078u + 20000);
    FreeFitsRecord(&fits);
}

}  // namespace
