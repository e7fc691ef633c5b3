// The frame record codec on small files whose every byte is worked out here.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>
#include <utility>

#include "TestFiles.h"
#include "untBmpFormat.h"
#include "untBmpUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;

// (The packed headers' own fields are compared through copies: gtest cannot
// bind references to them.)
bool HoldsNothing(const BmpRecord& r) { return !r.fileHeader && !r.infoHeader && !r.palette && !r.pixels; }
Bytes PixelsOf(const BmpRecord& r) { return {r.pixels, r.pixels + BmpPixelBytes(r)}; }

// Varied enough that a row or block taken from the wrong place shows.
Bytes Pattern(size_t n, uint32_t seed = 1) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(((i + seed) * 2654435761u) >> 13);
    return v;
}

uint32_t ReadMade(const vt::TempDir& dir, const Bytes& bytes, TOwnedBmpRecord& r) {
    r->status = BMP_NO_MEMORY;  // left over from an earlier failure: a read must reset it
    vt::WriteBytes(dir.file("in.bmp"), bytes);
    return r.Read(dir.file("in.bmp"));
}

Bytes WriteOut(const vt::TempDir& dir, BmpRecord& r) {
    r.fileName = dir.file("out.bmp");
    EXPECT_EQ(WriteBmpFile(&r), BMP_NO_ERROR);
    return vt::ReadBytes(r.fileName);
}

// Read: pads skipped, row 0 the top row, the palette from 54 and the pixels
// from bfOffBits. Written: the plain layout, bottom row first with zero pads,
// and a resolution of 96, byte for byte.
TEST(BmpRoundTrip, KeepsRowsAndPaletteAndLaysTheFileOutAfresh) {
    // Bits, width, row bytes and pad worked out by hand, top-down, height: a
    // tall frame crosses the codec's 1 MB read and write blocks.
    const std::tuple<int, int, uint32_t, uint32_t, bool, int> cases[] = {
        {8, 1, 1, 3, false, 3},  {8, 2, 2, 2, true, 3},  {8, 3, 3, 1, false, 3},  {8, 4, 4, 0, false, 3},
        {24, 1, 3, 1, false, 3}, {24, 2, 6, 2, false, 3}, {24, 3, 9, 3, true, 3}, {24, 4, 12, 0, false, 3},
        {8, 1, 1, 3, false, 300001}, {24, 1, 3, 1, true, 300001}};
    vt::TempDir dir;
    for (const auto& [bits, width, rowBytes, pad, topDown, height] : cases) {
        SCOPED_TRACE(std::to_string(bits) + "-bit, " + std::to_string(width) + " x " + std::to_string(height) +
                     (topDown ? ", top-down" : ""));
        const uint32_t stride = rowBytes + pad, offset = bits == 8 ? 1078 : 54, rows = height;
        vt::BmpLayout s{.width = width, .height = height, .bitCount = bits, .topDown = topDown,
                        .pixels = Pattern(rowBytes * rows), .paletteBGRA = Pattern(bits == 8 ? 1024 : 0, 7),
                        .yPels = 1234};
        // Pads, odd widths, top-down rows and larger headers of the read side are in the bitmap suite.
        const Bytes in = vt::BuildBmp(s);

        TOwnedBmpRecord r;
        ASSERT_EQ(ReadMade(dir, in, r), BMP_NO_ERROR);
        EXPECT_TRUE(PixelsOf(*r) == s.pixels) << "row 0 must be the top row";
        EXPECT_TRUE(bits != 8 || std::memcmp(r->palette, in.data() + 54, 1024) == 0) << "palette";
        EXPECT_EQ(int(r->infoHeader->biHeight), height);
        EXPECT_EQ(uint32_t(r->infoHeader->biSizeImage), rowBytes * rows);

        s.topDown = false;
        s.xPels = s.yPels = 96;
        EXPECT_TRUE(WriteOut(dir, *r) == vt::BuildBmp(s));
        EXPECT_EQ(uint32_t(r->fileHeader->bfSize), offset + stride * rows);
        EXPECT_EQ(uint32_t(r->infoHeader->biSizeImage), stride * rows);
    }
}

TEST(BmpRead, ReadsWhatIsWholeAndRefusesTheRestHoldingNothing) {
    const vt::BmpLayout s{.width = 3, .height = 2, .pixels = Pattern(6), .paletteBGRA = {}};
    const Bytes good = vt::BuildBmp(s);  // 1078, then two rows of 3 pixels and a pad
    auto with = [&](size_t at, uint32_t v) {
        Bytes f = good;
        PutLE32(f.data() + at, v);  // at 28 this also clears the upper half of biCompression, 0 anyway
        return f;
    };
    Bytes huge = with(18, 65536);
    PutLE32(huge.data() + 22, 65536);  // 4 GiB of pixels: wrapped to 32 bits it would seem to fit
    const Bytes sixteen =
        vt::BuildBmp({.width = 3, .height = 2, .pixels = Pattern(6), .paletteBGRA = Pattern(64), .clrUsed = 16});
    const std::tuple<const char*, Bytes, uint32_t> cases[] = {
        {"no pad after the last row", {good.begin(), good.end() - 1}, BMP_NO_ERROR},
        {"biSizeImage far too large", with(34, 0xFFFFFFF0u), BMP_NO_ERROR},
        {"last pixel byte missing", {good.begin(), good.end() - 2}, BMP_FILE_ERROR},
        {"shorter than the two headers", {good.begin(), good.begin() + 53}, BMP_FILE_ERROR},
        {"palette cut short", {good.begin(), good.begin() + 1077}, BMP_FILE_ERROR},
        {"16-colour palette", sixteen, BMP_NO_ERROR},
        {"pixels far beyond the end", huge, BMP_FILE_ERROR},
        {"4-bit", with(28, 4), BMP_IMPROPER_TYPE},           {"16-bit", with(28, 16), BMP_IMPROPER_TYPE},
        {"32-bit", with(28, 32), BMP_IMPROPER_TYPE},         {"RLE8", with(30, 1), BMP_IMPROPER_TYPE},
        {"zero width", with(18, 0), BMP_IMPROPER_TYPE},      {"zero height", with(22, 0), BMP_IMPROPER_TYPE},
        {"height without a positive counterpart", with(22, 0x80000000u), BMP_IMPROPER_TYPE},
        {"pixels inside the headers", with(10, 50), BMP_IMPROPER_TYPE},
    };
    vt::TempDir dir;
    for (const auto& [what, bytes, code] : cases) {
        TOwnedBmpRecord r;
        EXPECT_EQ(ReadMade(dir, bytes, r), code) << what;
        EXPECT_EQ(r->status, code) << what;
        EXPECT_TRUE(code != BMP_NO_ERROR ? HoldsNothing(*r) : PixelsOf(*r) == s.pixels && r->infoHeader->biSizeImage == 6)
            << what;
    }
}

// Refused records touch no file; a colour count the palette cannot hold is
// written as "all of them", which other readers accept.
TEST(BmpWrite, RefusesIncompleteRecordsAndWritesAValidColourCount) {
    vt::TempDir dir;
    TOwnedBmpRecord r;
    ASSERT_EQ(r.Create(3, 2, 1), BMP_NO_ERROR);
    auto cwdEntries = [] { return std::distance(std::filesystem::directory_iterator("."), {}); };
    const auto before = cwdEntries();
    EXPECT_EQ(WriteBmpFile(r.get()), BMP_IMPROPER_TYPE) << "empty file name";
    EXPECT_EQ(r->status, BMP_IMPROPER_TYPE);
    EXPECT_EQ(cwdEntries(), before);

    r->fileName = dir.file("out.bmp");
    // Without its palette an 8-bit file would hold its pixels where the palette belongs.
    RGBQUAD* palette = std::exchange(r->palette, nullptr);
    EXPECT_EQ(WriteBmpFile(r.get()), BMP_BAD_POINTER) << "8-bit without palette";
    r->palette = palette;
    EXPECT_TRUE(dir.entries().empty());

    for (uint32_t claimed : {252u, 256u, 300u}) {
        r->infoHeader->biClrUsed = claimed;
        EXPECT_EQ(GetLE32(WriteOut(dir, *r).data() + 46), claimed > 256 ? 0u : claimed) << claimed;
    }
}

// The grey palette of a new record shows in the corrected frames of the
// calibration tests. An owner hands its buffers over when moved and lets
// go of them on every new picture; the sanitizer build sees any it loses.
TEST(BmpCreate, FailureHandsOutNoRecordAndBuffersAreReleasedOnce) {
    for (const auto& [w, h, bpp, expected] : {std::tuple{3, 2, 2, BMP_IMPROPER_TYPE}, {3, -1, 3, BMP_IMPROPER_TYPE},
                                              {100000, 100000, 3, BMP_NO_MEMORY}}) {
        BmpRecord stale, *r = &stale;
        EXPECT_EQ(CreateBmpRecord(r, w, h, bpp), expected) << w << "x" << h << "x" << bpp;
        EXPECT_EQ(r, nullptr);
    }
    BmpRecord* made = nullptr;
    ASSERT_EQ(CreateBmpRecord(made, 2, 2, 3), BMP_NO_ERROR);
    EXPECT_EQ(uint32_t(made->infoHeader->biSizeImage), 16u);
    FreeBmpBuffers(made);
    FreeBmpBuffers(made);
    EXPECT_TRUE(HoldsNothing(*made)) << "the buffers go, the record stays the caller's";
    delete made;

    TOwnedBmpRecord a, b;
    ASSERT_EQ(a.Create(2, 2, 3), BMP_NO_ERROR);
    ASSERT_EQ(b.Create(1, 1, 1), BMP_NO_ERROR);
    const uint8_t* pixels = a->pixels;
    b = std::move(a);
    TOwnedBmpRecord c(std::move(b));
    EXPECT_TRUE(HoldsNothing(*a) && HoldsNothing(*b));
    EXPECT_EQ(c->pixels, pixels);
    EXPECT_EQ(c.Create(0, 1, 1), BMP_IMPROPER_TYPE);
    EXPECT_TRUE(HoldsNothing(*c));
    EXPECT_EQ(c->status, BMP_IMPROPER_TYPE);
}

// The texts are padded to 31 characters; the sort must not take bytes above 127 as negative.
TEST(BmpErrorText, EveryCodeHasItsPaddedTextAndSamplesSortUnsigned) {
    for (uint32_t code : {0u, 1u, 2u, 3u, 4u, 5u}) EXPECT_EQ(std::strlen(BmpErrorText(code)), 31u) << code;
    EXPECT_STREQ(BmpErrorText(0xFFFFFFFFu), BmpErrorText(5));

    uint8_t v[] = {255, 128, 0, 127, 200, 1, 128};
    std::qsort(v, sizeof v, 1, CompareSamples);
    EXPECT_EQ(Bytes(v, v + 7), (Bytes{0, 1, 127, 128, 128, 200, 255}));
}

}  // namespace
