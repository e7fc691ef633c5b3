// The frame record codec on small files whose every byte is worked out here.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>
#include <utility>

#include "TestFiles.h"
#include "untBmpUtil.h"

namespace {

// Little-endian fields of a file image. (The packed headers' own fields are
// compared through copies: gtest cannot bind references to them.)
uint32_t U32(const std::vector<uint8_t>& f, size_t at) {
    return f.at(at) | f.at(at + 1) << 8 | f.at(at + 2) << 16 | uint32_t(f.at(at + 3)) << 24;
}
void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v) { std::memcpy(f.data() + at, &v, 4); }

// Records, read into r or made by CreateBmpRecord into made, released however the test ends.
struct TFrame {
    BmpRecord r;
    BmpRecord* made = nullptr;
    ~TFrame() {
        FreeBmpBuffers(r);
        FreeBmpBuffers(made);
        delete made;
    }
};

bool HoldsNothing(const BmpRecord& r) { return !r.fileHeader && !r.infoHeader && !r.palette && !r.pixels; }
std::vector<uint8_t> PixelsOf(const BmpRecord& r) { return {r.pixels, r.pixels + BmpPixelBytes(r)}; }

// Varied enough that a row or block taken from the wrong place shows.
std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 1) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(((i + seed) * 2654435761u) >> 13);
    return v;
}

uint32_t ReadMade(const vt::TempDir& dir, const std::vector<uint8_t>& bytes, TFrame& f) {
    f.r.status = BMP_NO_MEMORY;  // left over from an earlier failure: a read must reset it
    f.r.fileName = dir.file("in.bmp");
    vt::WriteBytes(f.r.fileName, bytes);
    return ReadBmpFile(&f.r);
}

std::vector<uint8_t> WriteOut(const vt::TempDir& dir, BmpRecord& r) {
    r.fileName = dir.file("out.bmp");
    EXPECT_EQ(WriteBmpFile(&r), BMP_NO_ERROR);
    return vt::ReadBytes(r.fileName);
}

// ---- Round trip: pads for widths 1 to 4 at both depths, either row order ----

struct TPadCase {
    int bitCount, width;
    uint32_t rowBytes, pad;  // worked out by hand
    bool topDown = false;
    int height = 3;  // a tall frame crosses the codec's 1 MB read and write blocks
};
void PrintTo(const TPadCase& c, std::ostream* os) {
    *os << c.bitCount << "-bit, width " << c.width << ", height " << c.height << (c.topDown ? ", top-down" : "");
}

class BmpRoundTrip : public testing::TestWithParam<TPadCase> {};

// Read: pads skipped, row 0 the top row, the palette from 54 and the pixels
// from bfOffBits. Written: bottom row first, zero pads, the palette (8-bit)
// at 54, the pixels at 1078 or 54, and a resolution of 96.
TEST_P(BmpRoundTrip, KeepsRowsAndPaletteAndLaysTheFileOutAfresh) {
    const TPadCase c = GetParam();
    const uint32_t stride = c.rowBytes + c.pad, offset = c.bitCount == 8 ? 1078 : 54, rows = c.height;
    const uint32_t gap = 16;  // extra room before the pixels, as files with larger headers have it
    vt::TempDir dir;
    const vt::BmpLayout s{.width = c.width, .height = c.height, .bitCount = c.bitCount, .topDown = c.topDown,
                        .pixels = Pattern(c.rowBytes * rows), .paletteBGRA = Pattern(c.bitCount == 8 ? 1024 : 0, 7),
                        .yPels = 1234};
    std::vector<uint8_t> in = vt::BuildBmp(s);
    // Pads that are not zero show whether a reader takes them for pixels.
    for (uint32_t row = 0; row < rows; ++row) std::memset(in.data() + offset + row * stride + c.rowBytes, 0xEE, c.pad);
    in.insert(in.begin() + offset, gap, 0xAB);
    Put32(in, 2, uint32_t(in.size()));
    Put32(in, 10, offset + gap);

    TFrame f;
    ASSERT_EQ(ReadMade(dir, in, f), BMP_NO_ERROR);
    EXPECT_TRUE(PixelsOf(f.r) == s.pixels) << "row 0 must be the top row";
    EXPECT_TRUE(c.bitCount != 8 || std::memcmp(f.r.palette, in.data() + 54, 1024) == 0) << "palette";
    EXPECT_EQ(int(f.r.infoHeader->biHeight), c.height);
    EXPECT_EQ(uint32_t(f.r.infoHeader->biSizeImage), c.rowBytes * rows);

    const std::vector<uint8_t> out = WriteOut(dir, f.r);
    ASSERT_EQ(out.size(), offset + stride * rows);
    EXPECT_EQ(U32(out, 2), out.size());
    EXPECT_EQ(uint32_t(f.r.fileHeader->bfSize), out.size());
    EXPECT_EQ(U32(out, 10), offset);
    EXPECT_EQ(U32(out, 14), 40u);
    EXPECT_EQ(U32(out, 22), rows);
    EXPECT_EQ(U32(out, 34), stride * rows);
    EXPECT_EQ(uint32_t(f.r.infoHeader->biSizeImage), stride * rows);
    EXPECT_TRUE(U32(out, 38) == 96 && U32(out, 42) == 96) << "resolution";
    EXPECT_TRUE(std::equal(out.begin() + 54, out.begin() + offset, in.begin() + 54)) << "palette";
    for (uint32_t stored = 0; stored < rows; ++stored) {
        const uint8_t* row = out.data() + offset + stored * stride;
        ASSERT_EQ(std::memcmp(row, s.pixels.data() + (rows - 1 - stored) * c.rowBytes, c.rowBytes), 0) << stored;
        ASSERT_EQ(std::count(row + c.rowBytes, row + stride, 0), std::ptrdiff_t(c.pad)) << "pads of " << stored;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths1To4, BmpRoundTrip,
                         testing::Values(TPadCase{8, 1, 1, 3}, TPadCase{8, 2, 2, 2, true}, TPadCase{8, 3, 3, 1},
                                         TPadCase{8, 4, 4, 0}, TPadCase{24, 1, 3, 1}, TPadCase{24, 2, 6, 2},
                                         TPadCase{24, 3, 9, 3, true}, TPadCase{24, 4, 12, 0},
                                         TPadCase{8, 1, 1, 3, false, 300001}, TPadCase{24, 1, 3, 1, true, 300001}));

// ---- Reading ----

TEST(BmpRead, ReadsWhatIsWholeAndRefusesTheRestHoldingNothing) {
    const vt::BmpLayout s{.width = 3, .height = 2, .pixels = Pattern(6), .paletteBGRA = {}};
    const std::vector<uint8_t> good = vt::BuildBmp(s);  // 1078, then two rows of 3 pixels and a pad
    auto with = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> f = good;
        Put32(f, at, v);  // at 28 this also clears the upper half of biCompression, 0 anyway
        return f;
    };
    std::vector<uint8_t> huge = with(18, 65536);
    Put32(huge, 22, 65536);  // 4 GiB of pixels: wrapped to 32 bits it would seem to fit
    // The palette is always 256 entries from offset 54, so a complete 16-colour file ends too early.
    const std::vector<uint8_t> sixteen =
        vt::BuildBmp({.width = 3, .height = 2, .pixels = Pattern(6), .paletteBGRA = Pattern(64), .clrUsed = 16});
    const std::tuple<const char*, std::vector<uint8_t>, uint32_t> cases[] = {
        {"no pad after the last row", {good.begin(), good.end() - 1}, BMP_NO_ERROR},
        {"biSizeImage far too large", with(34, 0xFFFFFFF0u), BMP_NO_ERROR},
        {"last pixel byte missing", {good.begin(), good.end() - 2}, BMP_FILE_ERROR},
        {"shorter than the two headers", {good.begin(), good.begin() + 53}, BMP_FILE_ERROR},
        {"palette cut short", {good.begin(), good.begin() + 1077}, BMP_FILE_ERROR},
        {"16-colour palette", sixteen, BMP_FILE_ERROR},
        {"pixels far beyond the end", huge, BMP_FILE_ERROR},
        {"4-bit", with(28, 4), BMP_IMPROPER_TYPE},           {"16-bit", with(28, 16), BMP_IMPROPER_TYPE},
        {"32-bit", with(28, 32), BMP_IMPROPER_TYPE},         {"RLE8", with(30, 1), BMP_IMPROPER_TYPE},
        {"zero width", with(18, 0), BMP_IMPROPER_TYPE},      {"zero height", with(22, 0), BMP_IMPROPER_TYPE},
        {"height without a positive counterpart", with(22, 0x80000000u), BMP_IMPROPER_TYPE},
        {"pixels inside the headers", with(10, 50), BMP_IMPROPER_TYPE},
    };
    vt::TempDir dir;
    for (const auto& [what, bytes, code] : cases) {
        TFrame f;
        EXPECT_EQ(ReadMade(dir, bytes, f), code) << what;
        EXPECT_EQ(f.r.status, code) << what;
        if (code != BMP_NO_ERROR) {
            EXPECT_TRUE(HoldsNothing(f.r)) << what;
        } else {
            EXPECT_TRUE(PixelsOf(f.r) == s.pixels && f.r.infoHeader->biSizeImage == 6) << what;
        }
    }
}

// ---- Writing ----

TEST(BmpWrite, RefusesIncompleteRecordsAndTouchesNoFile) {
    vt::TempDir dir;
    TFrame f;
    ASSERT_EQ(CreateBmpRecord(f.made, 3, 2, 1), BMP_NO_ERROR);
    auto cwdEntries = [] { return std::distance(std::filesystem::directory_iterator("."), {}); };
    const auto before = cwdEntries();
    EXPECT_EQ(WriteBmpFile(f.made), BMP_IMPROPER_TYPE) << "empty file name";
    EXPECT_EQ(f.made->status, BMP_IMPROPER_TYPE);
    EXPECT_EQ(cwdEntries(), before);

    f.made->fileName = dir.file("out.bmp");
    // Without its palette an 8-bit file would hold its pixels where the palette belongs.
    RGBQUAD* palette = std::exchange(f.made->palette, nullptr);
    EXPECT_EQ(WriteBmpFile(f.made), BMP_BAD_POINTER) << "8-bit without palette";
    f.made->palette = palette;
    EXPECT_TRUE(dir.entries().empty());
}

TEST(BmpWrite, AColourCountBeyondTheFilesPaletteBecomesAllOfThem) {
    vt::TempDir dir;
    for (uint32_t claimed : {252u, 256u, 300u}) {
        TFrame f;
        ASSERT_EQ(CreateBmpRecord(f.made, 2, 2, 1), BMP_NO_ERROR);
        f.made->infoHeader->biClrUsed = claimed;
        EXPECT_EQ(U32(WriteOut(dir, *f.made), 46), claimed > 256 ? 0u : claimed) << claimed;
    }
}

// ---- New records and their release ----

TEST(BmpCreate, RecordsCarryTheirFileLayoutFailureHandsOutNoneAndReleaseIsRepeatable) {
    // Width, height, bytes a pixel, outcome; for a record also its pixel offset and padded pixel array.
    const std::tuple<int, int, int, uint32_t, uint32_t, uint32_t> shapes[] = {
        {3, 2, 1, BMP_NO_ERROR, 1078, 8},   {2, 2, 3, BMP_NO_ERROR, 54, 16},   {3, 2, 2, BMP_IMPROPER_TYPE, 0, 0},
        {3, 2, 4, BMP_IMPROPER_TYPE, 0, 0}, {0, 2, 1, BMP_IMPROPER_TYPE, 0, 0}, {3, -1, 1, BMP_IMPROPER_TYPE, 0, 0},
        {100000, 100000, 3, BMP_NO_MEMORY, 0, 0}};
    for (const auto& [w, h, bpp, expected, offBits, sizeImage] : shapes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bpp));
        BmpRecord stale;
        BmpRecord* r = &stale;
        TFrame f;
        const uint32_t code = CreateBmpRecord(r, w, h, bpp);
        if (r != &stale) f.made = r;
        ASSERT_EQ(code, expected);
        if (code != BMP_NO_ERROR) {
            EXPECT_EQ(r, nullptr);
            continue;
        }
        ASSERT_TRUE(r->fileHeader && r->infoHeader && r->palette && r->pixels);
        EXPECT_EQ(uint32_t(r->fileHeader->bfOffBits), offBits);
        EXPECT_EQ(uint32_t(r->infoHeader->biSizeImage), sizeImage);
        EXPECT_EQ(uint32_t(r->fileHeader->bfSize), offBits + sizeImage);
        EXPECT_EQ(int(r->infoHeader->biBitCount), 8 * bpp);
        for (int i = 0; bpp == 1 && i < 256; ++i) {
            const RGBQUAD q = r->palette[i];
            ASSERT_TRUE(q.rgbBlue == i && q.rgbGreen == i && q.rgbRed == i && q.rgbReserved == 0) << i;
        }
        FreeBmpBuffers(r);
        EXPECT_TRUE(f.made && HoldsNothing(*f.made)) << "the buffers go, the record stays the caller's";
        // The guard releases the buffers once more.
    }
}

// ---- Texts and sample order ----

TEST(BmpErrorText, EveryTextIsPaddedTo31CharactersUnknownCodesIncluded) {
    const std::pair<uint32_t, std::string> cases[] = {
        {0, "No error"},      {1, "File error"},    {2, "Improper file type"}, {3, "Memory allocation failed"},
        {4, "Bad pointer passed to function"},      {5, "Unknown error"},      {13, "Unknown error"},
        {0xFFFFFFFFu, "Unknown error"}};
    for (const auto& [code, text] : cases) EXPECT_EQ(BmpErrorText(code), text + std::string(31 - text.size(), ' '));
}

TEST(CompareSamples, SortsAsUnsignedBytes) {
    uint8_t v[] = {255, 128, 0, 127, 200, 1, 128};
    std::qsort(v, sizeof v, 1, CompareSamples);
    EXPECT_EQ(std::vector<uint8_t>(v, v + 7), (std::vector<uint8_t>{0, 1, 127, 128, 128, 200, 255}));
    EXPECT_EQ(CompareSamples(&v[3], &v[4]), 0);
}

}  // namespace
