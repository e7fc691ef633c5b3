// The frame record codec on small files whose every byte is worked out here.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "TestFiles.h"
#include "Unprivileged.h"
#include "untBmpUtil.h"

namespace {

// The header structures are packed: gtest's comparisons would bind
// references to misaligned fields, so they see copies.
template <class T>
T Field(T value) {
    return value;
}

uint16_t U16(const std::vector<uint8_t>& f, size_t at) { return uint16_t(f[at] | f[at + 1] << 8); }
uint32_t U32(const std::vector<uint8_t>& f, size_t at) {
    return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 | uint32_t(f[at + 3]) << 24;
}
void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
}

// A record that gives its buffers back however the test ends.
struct TFrame {
    BmpRecord r;
    explicit TFrame(std::string name = {}) { r.fileName = std::move(name); }
    ~TFrame() { FreeBmpBuffers(r); }
};

bool HoldsNothing(const BmpRecord& r) { return !r.fileHeader && !r.infoHeader && !r.palette && !r.pixels; }
std::vector<uint8_t> PixelsOf(const BmpRecord& r) { return {r.pixels, r.pixels + BmpPixelBytes(r)}; }

std::vector<uint8_t> Sequence(size_t n, uint8_t first, uint8_t step) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(first + step * i);
    return v;
}

// Reads a file made from bytes; the outcome is left in frame.
uint32_t ReadMade(const vt::TempDir& dir, const std::vector<uint8_t>& bytes, TFrame& frame) {
    frame.r.fileName = dir.file("in.bmp");
    vt::WriteBytes(frame.r.fileName, bytes);
    return ReadBmpFile(&frame.r);
}

void ExpectRefused(const vt::TempDir& dir, const std::vector<uint8_t>& bytes, uint32_t code, const char* why) {
    TFrame f;
    EXPECT_EQ(ReadMade(dir, bytes, f), code) << why;
    EXPECT_EQ(f.r.status, code) << why;
    EXPECT_TRUE(HoldsNothing(f.r)) << why;
}

// ---- Row layout: padding for widths 1 to 4 at both depths ----

struct TPadCase {
    int bitCount, width;
    uint32_t rowBytes, pad;  // worked out by hand
};

class BmpPadding : public testing::TestWithParam<TPadCase> {};

TEST_P(BmpPadding, ReadSkipsPadsAndWriteRestoresThemAsZeros) {
    const TPadCase c = GetParam();
    const int height = 3;
    const uint32_t stride = c.rowBytes + c.pad;
    const uint32_t offset = c.bitCount == 8 ? 1078 : 54;
    vt::TempDir dir;
    vt::BmpSpec s;
    s.width = c.width;
    s.height = height;
    s.bitCount = c.bitCount;
    s.pixels = Sequence(c.rowBytes * height, 1, 1);
    std::vector<uint8_t> in = vt::BuildBmp(s);
    // Pads that are not zero show whether a reader takes them for pixels.
    for (int row = 0; row < height; ++row)
        for (uint32_t k = 0; k < c.pad; ++k) in[offset + row * stride + c.rowBytes + k] = 0xEE;

    TFrame f;
    ASSERT_EQ(ReadMade(dir, in, f), BMP_NO_ERROR);
    EXPECT_EQ(PixelsOf(f.r), s.pixels);
    EXPECT_EQ(Field(f.r.infoHeader->biSizeImage), c.rowBytes * height);

    f.r.fileName = dir.file("out.bmp");
    ASSERT_EQ(WriteBmpFile(&f.r), BMP_NO_ERROR);
    const std::vector<uint8_t> out = vt::ReadBytes(f.r.fileName);
    ASSERT_EQ(out.size(), offset + stride * height);  // 24-bit: no palette in between
    EXPECT_EQ(U32(out, 2), out.size());
    EXPECT_EQ(U32(out, 10), offset);
    EXPECT_EQ(U32(out, 34), stride * height);
    EXPECT_EQ(Field(f.r.infoHeader->biSizeImage), stride * height);
    EXPECT_EQ(Field(f.r.fileHeader->bfSize), out.size());
    for (int stored = 0; stored < height; ++stored) {
        const uint8_t* row = out.data() + offset + stored * stride;
        const uint8_t* picture = s.pixels.data() + (height - 1 - stored) * c.rowBytes;
        EXPECT_EQ(std::memcmp(row, picture, c.rowBytes), 0) << "stored row " << stored;
        for (uint32_t k = 0; k < c.pad; ++k) EXPECT_EQ(row[c.rowBytes + k], 0) << "pad of stored row " << stored;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths1To4, BmpPadding,
                         testing::Values(TPadCase{8, 1, 1, 3}, TPadCase{8, 2, 2, 2}, TPadCase{8, 3, 3, 1},
                                         TPadCase{8, 4, 4, 0}, TPadCase{24, 1, 3, 1}, TPadCase{24, 2, 6, 2},
                                         TPadCase{24, 3, 9, 3}, TPadCase{24, 4, 12, 0}),
                         [](const testing::TestParamInfo<TPadCase>& p) {
                             return std::to_string(p.param.bitCount) + "bit_width" + std::to_string(p.param.width);
                         });

// ---- Reading ----

TEST(BmpRead, TopRowOfPictureIsRowZero) {
    vt::TempDir dir;
    vt::BmpSpec s;
    s.height = 3;
    s.pixels = {10, 20, 30};
    const std::vector<uint8_t> in = vt::BuildBmp(s);
    // Bottom-up: the file holds the bottom row first.
    ASSERT_EQ(in[1078], 30);
    ASSERT_EQ(in[1086], 10);
    TFrame f;
    ASSERT_EQ(ReadMade(dir, in, f), BMP_NO_ERROR);
    EXPECT_EQ(PixelsOf(f.r), (std::vector<uint8_t>{10, 20, 30}));
}

TEST(BmpRead, TopDownFileIsTurnedTheUsualWayUp) {
    vt::TempDir dir;
    vt::BmpSpec s;
    s.width = 2;
    s.height = 3;
    s.bitCount = 24;
    s.topDown = true;
    s.pixels = Sequence(18, 1, 1);
    TFrame f;
    ASSERT_EQ(ReadMade(dir, vt::BuildBmp(s), f), BMP_NO_ERROR);
    EXPECT_EQ(Field(f.r.infoHeader->biHeight), 3);
    EXPECT_EQ(PixelsOf(f.r), s.pixels);

    f.r.fileName = dir.file("out.bmp");
    ASSERT_EQ(WriteBmpFile(&f.r), BMP_NO_ERROR);
    const std::vector<uint8_t> out = vt::ReadBytes(f.r.fileName);
    EXPECT_EQ(U32(out, 22), 3u);
    // The bottom row of the picture (bytes 13..18) is stored first.
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 54, out.begin() + 60), Sequence(6, 13, 1));
}

TEST(BmpRead, ToleratesAMissingPadAfterTheLastRowOnly) {
    vt::TempDir dir;
    vt::BmpSpec s;
    s.width = 2;
    s.height = 2;
    s.bitCount = 24;
    s.dropLastPad = true;
    s.pixels = Sequence(12, 100, 3);
    std::vector<uint8_t> in = vt::BuildBmp(s);
    {
        TFrame f;
        ASSERT_EQ(ReadMade(dir, in, f), BMP_NO_ERROR);
        EXPECT_EQ(PixelsOf(f.r), s.pixels);
    }
    in.pop_back();
    ExpectRefused(dir, in, BMP_FILE_ERROR, "last pixel byte missing");
}

TEST(BmpRead, RefusesFilesShorterThanTheirHeadersClaim) {
    vt::TempDir dir;
    vt::BmpSpec s;
    s.pixels = {7};
    std::vector<uint8_t> small = vt::BuildBmp(s);  // 1 x 1, 8-bit: 1082 bytes
    ExpectRefused(dir, std::vector<uint8_t>(small.begin(), small.begin() + 53), BMP_FILE_ERROR,
                  "shorter than the two headers");
    ExpectRefused(dir, std::vector<uint8_t>(small.begin(), small.begin() + 1077), BMP_FILE_ERROR,
                  "palette cut short");

    // A 16-colour 8-bit file is complete by its own header, but the palette is
    // always taken as 256 entries from offset 54 and this file ends before that.
    s.width = 4;
    s.clrUsed = 16;
    s.pixels = {1, 2, 3, 4};
    s.paletteBGRA = Sequence(64, 0, 4);
    const std::vector<uint8_t> shortPalette = vt::BuildBmp(s);
    ASSERT_EQ(shortPalette.size(), 122u);
    ExpectRefused(dir, shortPalette, BMP_FILE_ERROR, "8-bit file shorter than 54 + 1024 bytes");

    // 3,000,000 x 2,000,000 pixels claimed by a 24 KB file: refused before any allocation.
    vt::BmpSpec big;
    big.bitCount = 24;
    big.width = 64;
    big.height = 128;
    std::vector<uint8_t> lie = vt::BuildBmp(big);
    Put32(lie, 18, 3000000);
    Put32(lie, 22, 2000000);
    ExpectRefused(dir, lie, BMP_FILE_ERROR, "pixel array far beyond the end of the file");
}

TEST(BmpRead, RefusesDepthsOtherThan8And24) {
    vt::TempDir dir;
    for (int bits : {1, 4, 16, 32}) {
        vt::BmpSpec s;
        s.width = 8;
        s.height = 2;
        s.bitCount = bits;
        s.pixels.assign(size_t(8 * bits / 8 * 2), 0);
        ExpectRefused(dir, vt::BuildBmp(s), BMP_IMPROPER_TYPE, ("bit count " + std::to_string(bits)).c_str());
    }
}

TEST(BmpRead, RefusesCompressedAndDegenerateHeaders) {
    vt::TempDir dir;
    vt::BmpSpec s;
    s.width = 4;
    s.height = 2;
    s.pixels = Sequence(8, 1, 1);
    const std::vector<uint8_t> good = vt::BuildBmp(s);

    std::vector<uint8_t> f = good;
    Put32(f, 30, 1);  // RLE8
    ExpectRefused(dir, f, BMP_IMPROPER_TYPE, "compressed");
    f = good;
    Put32(f, 18, 0);
    ExpectRefused(dir, f, BMP_IMPROPER_TYPE, "zero width");
    Put32(f, 18, uint32_t(-4));
    ExpectRefused(dir, f, BMP_IMPROPER_TYPE, "negative width");
    f = good;
    Put32(f, 22, 0);
    ExpectRefused(dir, f, BMP_IMPROPER_TYPE, "zero height");
    Put32(f, 22, 0x80000000u);
    ExpectRefused(dir, f, BMP_IMPROPER_TYPE, "height that has no positive counterpart");
}

TEST(BmpRead, SizesThePixelBufferFromTheDimensionsNotFromBiSizeImage) {
    vt::TempDir dir;
    vt::BmpSpec s;
    s.width = 5;
    s.height = 3;
    s.pixels = Sequence(15, 9, 11);
    for (uint32_t claimed : {0u, 1u, 0xFFFFFFF0u}) {
        s.sizeImageOverride = claimed;
        TFrame f;
        ASSERT_EQ(ReadMade(dir, vt::BuildBmp(s), f), BMP_NO_ERROR) << claimed;
        EXPECT_EQ(PixelsOf(f.r), s.pixels) << claimed;
        EXPECT_EQ(Field(f.r.infoHeader->biSizeImage), 15u) << claimed;
    }
}

TEST(BmpRead, RefusesWhatIsNotAFrameFile) {
    vt::TempDir dir;
    EXPECT_EQ(ReadBmpFile(nullptr), BMP_BAD_POINTER);
    TFrame missing(dir.file("missing.bmp"));
    EXPECT_EQ(ReadBmpFile(&missing.r), BMP_FILE_ERROR);
    EXPECT_TRUE(HoldsNothing(missing.r));
    TFrame folder(dir.path());
    EXPECT_EQ(ReadBmpFile(&folder.r), BMP_FILE_ERROR);
    EXPECT_EQ(folder.r.status, BMP_FILE_ERROR);
}

TEST(BmpRead, RefusesAFileTheUserMayNotWrite) {
    vt::TempDir dir;
    vt::BmpSpec s;
    s.pixels = {1};
    const std::string path = dir.file("ro.bmp");
    vt::WriteBytes(path, vt::BuildBmp(s));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    VT_RUN_UNPRIVILEGED(code, [&] {
        TFrame f(path);
        const uint32_t status = ReadBmpFile(&f.r);
        return HoldsNothing(f.r) ? int(status) : 100;
    });
    EXPECT_EQ(code, int(BMP_FILE_ERROR));
}

// ---- Round trip ----

TEST(BmpRoundTrip, EightBitKeepsPaletteRowsAndHeaderFieldsAndMovesPixelsTo1078) {
    vt::TempDir dir;
    vt::BmpSpec s;
    s.width = 5;
    s.height = 4;
    s.xPels = 2835;
    s.yPels = 1234;
    s.pixels = Sequence(20, 3, 13);
    for (int i = 0; i < 256; ++i) s.paletteBGRA.insert(s.paletteBGRA.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0});
    std::vector<uint8_t> in = vt::BuildBmp(s);
    // Extra room before the pixels, as files with larger headers have it.
    in.insert(in.begin() + 1078, 16, 0xAB);
    Put32(in, 2, uint32_t(in.size()));
    Put32(in, 10, 1094);
    in[6] = 0x34;
    in[7] = 0x12;  // bfReserved1

    TFrame f;
    f.r.status = BMP_NO_MEMORY;  // left over from an earlier failure
    ASSERT_EQ(ReadMade(dir, in, f), BMP_NO_ERROR);
    EXPECT_EQ(f.r.status, BMP_NO_ERROR);
    EXPECT_EQ(vt::ReadBytes(f.r.fileName), in) << "reading changed the file";
    EXPECT_EQ(PixelsOf(f.r), s.pixels);
    EXPECT_EQ(std::memcmp(f.r.palette, in.data() + 54, 1024), 0);
    EXPECT_EQ(Field(f.r.infoHeader->biXPelsPerMeter), 2835);
    EXPECT_EQ(Field(f.r.infoHeader->biYPelsPerMeter), 1234);
    EXPECT_EQ(Field(f.r.fileHeader->bfReserved1), 0x1234);

    f.r.fileName = dir.file("out.bmp");
    ASSERT_EQ(WriteBmpFile(&f.r), BMP_NO_ERROR);
    const std::vector<uint8_t> out = vt::ReadBytes(f.r.fileName);
    ASSERT_EQ(out.size(), 1078u + 8 * 4);
    EXPECT_EQ(U16(out, 0), 0x4D42);
    EXPECT_EQ(U16(out, 6), 0x1234);
    EXPECT_EQ(U32(out, 10), 1078u);
    EXPECT_EQ(U32(out, 14), 40u);
    EXPECT_EQ(U32(out, 38), 96u);
    EXPECT_EQ(U32(out, 42), 96u);
    EXPECT_EQ(Field(f.r.infoHeader->biXPelsPerMeter), 96);
    EXPECT_TRUE(std::equal(out.begin() + 54, out.begin() + 1078, in.begin() + 54)) << "palette";
    EXPECT_TRUE(std::equal(out.begin() + 1078, out.end(), in.begin() + 1094)) << "pixel rows";
}

TEST(BmpRoundTrip, FramesLargerThanOneReadBlockKeepEveryRow) {
    // Over a megabyte each, so rows cross the codec's block boundaries.
    struct TShape {
        int width, height, bitCount;
    };
    vt::TempDir dir;
    for (const TShape t : {TShape{1001, 400, 24}, TShape{2001, 700, 8}}) {
        vt::BmpSpec s;
        s.width = t.width;
        s.height = t.height;
        s.bitCount = t.bitCount;
        s.xPels = s.yPels = 96;
        s.pixels.resize(size_t(t.width) * t.height * (t.bitCount / 8));
        for (size_t i = 0; i < s.pixels.size(); ++i) s.pixels[i] = uint8_t((i * 2654435761u) >> 13);
        const std::vector<uint8_t> bottomUp = vt::BuildBmp(s);
        for (bool topDown : {false, true}) {
            s.topDown = topDown;
            TFrame f;
            ASSERT_EQ(ReadMade(dir, vt::BuildBmp(s), f), BMP_NO_ERROR);
            ASSERT_TRUE(PixelsOf(f.r) == s.pixels) << t.bitCount << "-bit, top-down " << topDown;
            f.r.fileName = dir.file("out.bmp");
            ASSERT_EQ(WriteBmpFile(&f.r), BMP_NO_ERROR);
            EXPECT_TRUE(vt::ReadBytes(f.r.fileName) == bottomUp) << t.bitCount << "-bit, top-down " << topDown;
        }
    }
}

// ---- Writing: records that cannot be written ----

TEST(BmpWrite, RefusesIncompleteRecordsAndCreatesNoFile) {
    EXPECT_EQ(WriteBmpFile(nullptr), BMP_BAD_POINTER);
    vt::TempDir dir;
    BmpRecord* r = nullptr;
    ASSERT_EQ(CreateBmpRecord(r, 3, 2, 1), BMP_NO_ERROR);

    const auto cwdBefore = std::distance(std::filesystem::directory_iterator("."), {});
    EXPECT_EQ(WriteBmpFile(r), BMP_IMPROPER_TYPE) << "empty file name";
    EXPECT_EQ(r->status, BMP_IMPROPER_TYPE);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), cwdBefore);

    r->fileName = dir.file("out.bmp");
    uint8_t* pixels = std::exchange(r->pixels, nullptr);
    EXPECT_EQ(WriteBmpFile(r), BMP_BAD_POINTER) << "no pixels";
    r->pixels = pixels;
    // Without its palette an 8-bit file would hold its pixels where the palette belongs.
    RGBQUAD* palette = std::exchange(r->palette, nullptr);
    EXPECT_EQ(WriteBmpFile(r), BMP_BAD_POINTER) << "8-bit without palette";
    r->palette = palette;
    EXPECT_TRUE(dir.entries().empty());

    FreeBmpBuffers(*r);
    delete r;
}

// ---- New records ----

TEST(BmpWrite, AColourCountBeyondTheFilesPaletteBecomesAllOfThem) {
    vt::TempDir dir;
    for (uint32_t claimed : {252u, 256u, 300u}) {
        BmpRecord* r = nullptr;
        ASSERT_EQ(CreateBmpRecord(r, 2, 2, 1), BMP_NO_ERROR);
        r->infoHeader->biClrUsed = claimed;
        r->fileName = dir.file("out.bmp");
        EXPECT_EQ(WriteBmpFile(r), BMP_NO_ERROR);
        EXPECT_EQ(U32(vt::ReadBytes(r->fileName), 46), claimed > 256 ? 0u : claimed);
        FreeBmpBuffers(*r);
        delete r;
    }
}

TEST(BmpCreate, EightBitRecordHasAGreyRampAndPaddedFileSizes) {
    BmpRecord* r = nullptr;
    ASSERT_EQ(CreateBmpRecord(r, 3, 2, 1), BMP_NO_ERROR);
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(r->fileHeader && r->infoHeader && r->palette && r->pixels);
    EXPECT_EQ(Field(r->fileHeader->bfType), 0x4D42);
    EXPECT_EQ(Field(r->fileHeader->bfOffBits), 1078u);
    EXPECT_EQ(Field(r->fileHeader->bfSize), 1078u + 8);
    EXPECT_EQ(Field(r->infoHeader->biSizeImage), 8u);  // 3 bytes + 1 pad, 2 rows
    EXPECT_EQ(Field(r->infoHeader->biBitCount), 8);
    EXPECT_EQ(Field(r->infoHeader->biPlanes), 1);
    EXPECT_EQ(Field(r->infoHeader->biWidth), 3);
    EXPECT_EQ(Field(r->infoHeader->biHeight), 2);
    EXPECT_EQ(BmpPixelBytes(*r), 6u);
    for (int i = 0; i < 256; ++i) {
        const RGBQUAD q = r->palette[i];
        ASSERT_TRUE(q.rgbBlue == i && q.rgbGreen == i && q.rgbRed == i && q.rgbReserved == 0) << i;
    }
    FreeBmpBuffers(*r);
    delete r;
}

TEST(BmpCreate, TwentyFourBitRecordHasNoPaletteInItsFileLayout) {
    BmpRecord* r = nullptr;
    ASSERT_EQ(CreateBmpRecord(r, 2, 2, 3), BMP_NO_ERROR);
    EXPECT_EQ(Field(r->fileHeader->bfOffBits), 54u);
    EXPECT_EQ(Field(r->infoHeader->biSizeImage), 16u);  // 6 bytes + 2 pad, 2 rows
    EXPECT_EQ(Field(r->fileHeader->bfSize), 70u);
    EXPECT_EQ(Field(r->infoHeader->biBitCount), 24);
    EXPECT_EQ(BmpBytesPerPixel(*r), 3);
    EXPECT_EQ(BmpPixelBytes(*r), 12u);
    FreeBmpBuffers(r);
    delete r;
}

TEST(BmpCreate, FailureHandsOutNoRecord) {
    struct TShape {
        int w, h, bpp;
        uint32_t code;
    };
    for (const TShape t : {TShape{3, 2, 2, BMP_IMPROPER_TYPE}, TShape{3, 2, 4, BMP_IMPROPER_TYPE},
                           TShape{0, 2, 1, BMP_IMPROPER_TYPE}, TShape{3, -1, 1, BMP_IMPROPER_TYPE},
                           TShape{100000, 100000, 3, BMP_NO_MEMORY}}) {
        BmpRecord stale;
        BmpRecord* r = &stale;
        EXPECT_EQ(CreateBmpRecord(r, t.w, t.h, t.bpp), t.code) << t.w << "x" << t.h << "x" << t.bpp;
        EXPECT_EQ(r, nullptr);
    }
}

// ---- Releasing ----

TEST(BmpFree, ClearsEveryPointerSoAnotherReleaseIsHarmless) {
    BmpRecord* r = nullptr;
    ASSERT_EQ(CreateBmpRecord(r, 4, 4, 1), BMP_NO_ERROR);
    FreeBmpBuffers(r);
    ASSERT_NE(r, nullptr) << "the record itself belongs to the caller";
    EXPECT_TRUE(HoldsNothing(*r));
    FreeBmpBuffers(r);
    FreeBmpBuffers(*r);
    delete r;
    BmpRecord* none = nullptr;
    FreeBmpBuffers(none);
}

// ---- Texts and sample order ----

TEST(BmpErrorText, EveryTextIsPaddedTo31Characters) {
    const char* expected[] = {"No error", "File error", "Improper file type", "Memory allocation failed",
                              "Bad pointer passed to function"};
    for (uint32_t code = 0; code < 5; ++code) {
        const std::string text = BmpErrorText(code);
        EXPECT_EQ(text.size(), 31u) << code;
        EXPECT_EQ(text.substr(0, std::strlen(expected[code])), expected[code]);
        EXPECT_EQ(text.find_first_not_of(' ', std::strlen(expected[code])), std::string::npos) << code;
    }
    for (uint32_t code : {5u, 13u, 0xFFFFFFFFu})
        EXPECT_STREQ(BmpErrorText(code), "Unknown error                  ") << code;
}

TEST(CompareSamples, OrdersAsUnsignedBytes) {
    const uint8_t v[] = {200, 100, 128, 127, 0, 255};
    EXPECT_GT(CompareSamples(&v[0], &v[1]), 0);
    EXPECT_LT(CompareSamples(&v[1], &v[0]), 0);
    EXPECT_GT(CompareSamples(&v[2], &v[3]), 0) << "128 is not below 127";
    EXPECT_EQ(CompareSamples(&v[4], &v[4]), 0);
    uint8_t sorted[] = {255, 128, 0, 127, 200, 1};
    std::qsort(sorted, sizeof sorted, 1, CompareSamples);
    EXPECT_EQ(std::vector<uint8_t>(sorted, sorted + 6), (std::vector<uint8_t>{0, 1, 127, 128, 200, 255}));
}

}  // namespace
