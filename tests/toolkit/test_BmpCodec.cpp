// The general bitmap codec: every file of the bitmap test suite, hand-made
// files, files we write read back by an independent reader, failed saves.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "TestFiles.h"
#include "untBitmap.h"
#include "untBmpCodec.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& f, size_t at) {
    return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (uint32_t(f[at + 3]) << 24);
}
void SetLe32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Rows(const TBitmap& b) {
    std::vector<uint8_t> out;
    for (int y = 0; y < b.Height(); ++y) out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
    return out;
}

// The picture as RGB, top row first, unpacked here independently of the
// toolkit; an index the palette lacks shows black.
std::vector<uint8_t> Rgb(const TBitmap& b) {
    const int bits = b.PixelFormat() == pf1bit ? 1 : b.PixelFormat() == pf4bit ? 4 : b.PixelFormat() == pf8bit ? 8 : 24;
    std::vector<uint8_t> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const uint8_t* row = b.ScanLine(y);
            if (bits == 24) {
                out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
                continue;
            }
            const size_t index = (row[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1 << bits) - 1);
            const RGBQUAD c = index < b.Palette().size() ? b.Palette()[index] : RGBQUAD{0, 0, 0, 0};
            out.insert(out.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
        }
    return out;
}

bool SamePalette(const std::vector<RGBQUAD>& a, const std::vector<RGBQUAD>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(RGBQUAD)) == 0);
}

// Samples of a binary PGM/PPM without comments, top row first.
std::vector<uint8_t> ReadNetpbm(const std::string& path) {
    const std::vector<uint8_t> f = vt::ReadBytes(path);
    size_t pos = 0;
    for (int fields = 0; fields < 4; ++pos)
        if (isspace(f[pos]) && !isspace(f[pos - 1])) ++fields;
    return std::vector<uint8_t>(f.begin() + static_cast<long>(pos), f.end());
}

std::string Sha256(const std::vector<uint8_t>& bytes) {
    vt::TempDir dir;
    vt::WriteBytes(dir.file("rgb"), bytes);
    std::string out;
    vt::RunCommand("sha256sum " + vt::ShellQuote(dir.file("rgb")), &out);
    return out.substr(0, 64);
}

// Both ways in, from a buffer and from a file, must give the same bitmap.
TBitmap Decoded(const std::vector<uint8_t>& file) {
    TBitmap b, loaded;
    std::string reason;
    EXPECT_TRUE(TBmpCodec::Decode(file.data(), file.size(), b, &reason)) << reason;
    vt::TempDir dir;
    vt::WriteBytes(dir.file("f.bmp"), file);
    try {
        loaded.LoadFromFile(dir.file("f.bmp"));
    } catch (const EBitmapError& e) {
        ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(loaded.PixelFormat(), b.PixelFormat());
    EXPECT_EQ(Rows(loaded), Rows(b));
    EXPECT_TRUE(SamePalette(loaded.Palette(), b.Palette()));
    return b;
}

// LoadFromFile's message for file, with the folder taken off its start.
std::string Refusal(const std::vector<uint8_t>& file, const std::string& name = "frame.bmp") {
    vt::TempDir dir;
    vt::WriteBytes(dir.file(name), file);
    try {
        TBitmap().LoadFromFile(dir.file(name));
    } catch (const EBitmapError& e) {
        const std::string text = e.what();
        return text.rfind(dir.path() + "/", 0) == 0 ? text.substr(dir.path().size() + 1) : "unnamed: " + text;
    }
    return "read";
}

// ---------------------------------------------------------------------------
// The bitmap test suite, one case per row of its manifest.

using SuiteFile = std::map<std::string, std::string>;

std::vector<SuiteFile> Manifest() {
    std::vector<SuiteFile> files;
    if (vt::TestDataDir().empty()) return files;
    std::ifstream in(vt::TestDataDir() + "/bmpsuite/MANIFEST.csv");
    auto split = [](const std::string& s) {
        std::vector<std::string> parts;
        std::stringstream ss(s + ",");
        for (std::string p; std::getline(ss, p, ',');) parts.push_back(p);
        return parts;
    };
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> names = split(line);
    while (std::getline(in, line)) {
        const std::vector<std::string> parts = split(line);
        SuiteFile f;
        for (size_t i = 0; i < names.size() && i < parts.size(); ++i) f[names[i]] = parts[i];
        files.push_back(f);
    }
    return files;
}

// Plain 1, 4, 8 and 24-bit pixels are read whatever the header version;
// fields nothing depends on (file and image size, densities, hotspot) are
// not checked. Every other depth and every compression is refused by name.
const std::set<std::string> kRead = {
    "g/pal1.bmp", "g/pal1bg.bmp", "g/pal1wb.bmp", "g/pal4.bmp", "g/pal4gs.bmp", "g/pal8-0.bmp", "g/pal8.bmp",
    "g/pal8gs.bmp", "g/pal8nonsquare.bmp", "g/pal8os2.bmp", "g/pal8topdown.bmp", "g/pal8v4.bmp", "g/pal8v5.bmp",
    "g/pal8w124.bmp", "g/pal8w125.bmp", "g/pal8w126.bmp", "g/rgb24.bmp", "g/rgb24pal.bmp", "q/pal1p1.bmp",
    "q/pal8offs.bmp", "q/pal8os2-hs.bmp", "q/pal8os2-sz.bmp", "q/pal8os2sp.bmp", "q/pal8os2v2-16.bmp",
    "q/pal8os2v2-40sz.bmp", "q/pal8os2v2-sz.bmp", "q/pal8os2v2.bmp", "q/pal8oversizepal.bmp",
    "q/rgb24largepal.bmp", "q/rgb24lprof.bmp", "q/rgb24prof.bmp", "q/rgb24prof2.bmp", "b/badbitssize.bmp",
    "b/baddens1.bmp", "b/baddens2.bmp", "b/badfilesize.bmp", "b/pal8badindex.bmp"};
const std::map<std::string, std::string> kOtherRefusals = {
    {"b/badheadersize.bmp", "has an information header of 66 bytes"},
    {"b/badpalettesize.bmp", "its palette of 305402420 colours runs into its pixel data"},
    {"b/badplanes.bmp", "colour planes"},
    {"b/badwidth.bmp", "it claims a width of -127 pixels"},
    {"b/reallybig.bmp", "is cut short: its pixel data needs 18000000000000 bytes but the file holds 24576"},
    {"b/shortfile.bmp", "is cut short: its pixel data needs 1024 bytes but the file holds 211"},
    {"q/pal1huffmsb.bmp", "is compressed (Huffman)"},
    {"q/rgb24rle24.bmp", "is compressed (RLE24)"},
    {"q/rgb24jpeg.bmp", "is compressed (JPEG)"},
    {"q/rgb24png.bmp", "is compressed (PNG)"}};

std::string ExpectedRefusal(const SuiteFile& f) {
    const std::string& name = f.at("file");
    if (kOtherRefusals.count(name)) return kOtherRefusals.at(name);
    const int bits = std::stoi(f.at("biBitCount_at28"));
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return "uses " + std::to_string(bits) + " bits per pixel";
    return f.at("biCompression") == "1" ? "is compressed (RLE8)" : "is compressed (RLE4)";
}

class BmpSuite : public ::testing::TestWithParam<SuiteFile> {};

TEST_P(BmpSuite, ReadExactlyOrRefusedWithItsReason) {
    const SuiteFile& f = GetParam();
    if (f.empty()) GTEST_SKIP() << "shared test data not found beside the checkout (VELMORA_SHARED_DIR)";
    const std::string name = f.at("file"), dir = vt::TestDataDir() + "/bmpsuite/", path = dir + name;
    const std::vector<uint8_t> bytes = vt::ReadBytes(path);

    // The file and a buffer of its bytes must give the same outcome; a
    // refused load leaves the bitmap as it was.
    TBitmap fromFile(2, 1, pf24bit);
    fromFile.ScanLine(0)[4] = 77;
    std::string error, reason;
    try {
        fromFile.LoadFromFile(path);
    } catch (const EBitmapError& e) {
        error = e.what();
    }
    TBitmap fromMemory;
    const bool decoded = TBmpCodec::Decode(bytes.data(), bytes.size(), fromMemory, &reason);

    if (!kRead.count(name)) {
        ASSERT_FALSE(error.empty()) << name << " was read";
        EXPECT_EQ(error.rfind(path + " ", 0), 0u) << error;
        EXPECT_NE(error.find(ExpectedRefusal(f)), std::string::npos) << error;
        EXPECT_EQ(Rows(fromFile), (std::vector<uint8_t>{0, 0, 0, 0, 77, 0}));
        EXPECT_FALSE(decoded);
        EXPECT_EQ(reason, "The file" + error.substr(path.size()));
        EXPECT_TRUE(fromMemory.Empty());
        return;
    }
    ASSERT_EQ(error, "");
    ASSERT_TRUE(decoded) << reason;
    EXPECT_EQ(fromMemory.PixelFormat(), fromFile.PixelFormat());
    EXPECT_EQ(Rows(fromMemory), Rows(fromFile));
    EXPECT_TRUE(SamePalette(fromMemory.Palette(), fromFile.Palette()));
    if (!f.at("width").empty()) {
        EXPECT_EQ(fromFile.Width(), std::stoi(f.at("width")));
    }

    // The reference decoder refuses q/pal8os2v2-16.bmp; its pixel bytes are g/pal8.bmp's.
    const std::string refIdx = name == "q/pal8os2v2-16.bmp" ? "ref/g/pal8.idx.pgm" : f.at("ref_idx");
    if (!refIdx.empty()) {
        EXPECT_EQ(Rows(fromFile), ReadNetpbm(dir + refIdx));
    }
    if (f.at("biBitCount_at28") == "24") {
        std::vector<uint8_t> bgr = ReadNetpbm(dir + f.at("ref_ppm"));
        for (size_t i = 0; i + 2 < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
        EXPECT_EQ(Rows(fromFile), bgr);
    }
    if (f.at("class") == "read-exact" && f.at("biBitCount_at28") == "8") {
        const size_t stated = std::stoul(f.at("biClrUsed"));
        const size_t entries = stated == 0 || stated > 256 ? 256 : stated;
        ASSERT_EQ(fromFile.Palette().size(), entries);
        EXPECT_EQ(std::memcmp(fromFile.Palette().data(), bytes.data() + 54, 4 * entries), 0);
    }
    // Colours of every depth against the reference decoder's digest. It
    // shows an index its palette lacks as the grey of that index; we show black.
    if (!f.at("sha256_rgb").empty() && name != "b/pal8badindex.bmp") {
        EXPECT_EQ(Sha256(Rgb(fromFile)), f.at("sha256_rgb"));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFile, BmpSuite, ::testing::ValuesIn([] {
                             std::vector<SuiteFile> files = Manifest();
                             return files.empty() ? std::vector<SuiteFile>(1) : files;
                         }()),
                         [](const ::testing::TestParamInfo<SuiteFile>& info) {
                             std::string name = info.param.empty() ? "none" : info.param.at("file");
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(BmpSuiteFiles, TopDownEqualsBottomUpAndStrayIndicesStay) {
    VT_REQUIRE_TESTDATA();
    const std::string dir = vt::TestDataDir() + "/bmpsuite/";
    TBitmap up, down, stray;
    up.LoadFromFile(dir + "g/pal8.bmp");
    down.LoadFromFile(dir + "g/pal8topdown.bmp");
    EXPECT_EQ(Rows(down), Rows(up));
    EXPECT_TRUE(SamePalette(down.Palette(), up.Palette()));

    stray.LoadFromFile(dir + "b/pal8badindex.bmp");
    ASSERT_EQ(stray.Palette().size(), 101u);
    const std::vector<uint8_t> indices = Rows(stray);
    EXPECT_TRUE(std::any_of(indices.begin(), indices.end(), [](uint8_t i) { return i >= 101; }));
    const std::vector<uint8_t> colours = Rgb(stray);
    stray.SetPixelFormat(pf24bit);  // drawn through the palette, stray indices black
    EXPECT_EQ(Rgb(stray), colours);
}

TEST(BmpSuiteFiles, EveryPrefixOfEveryFileIsReadOrRefusedCleanly) {
    VT_REQUIRE_TESTDATA();
    for (const SuiteFile& f : Manifest()) {
        const std::vector<uint8_t> bytes = vt::ReadBytes(vt::TestDataDir() + "/bmpsuite/" + f.at("file"));
        for (size_t cut : {0ul, 1ul, 2ul, 14ul, 17ul, 18ul, 26ul, 53ul, 54ul, 100ul, bytes.size() / 2,
                           bytes.size() - 4, bytes.size() - 1}) {
            // A copy of exactly cut bytes, so a read past it is caught.
            const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(cut));
            TBitmap b;
            std::string reason;
            if (!TBmpCodec::Decode(prefix.data(), prefix.size(), b, &reason)) {
                EXPECT_TRUE(b.Empty() && !reason.empty());
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Hand-made files.

vt::BmpSpec Shape(int width, int height, int bits) {
    vt::BmpSpec s;
    s.width = width;
    s.height = height;
    s.bitCount = bits;
    for (size_t i = 0; i < static_cast<size_t>((width * bits + 7) / 8 * height); ++i)
        s.pixels.push_back(static_cast<uint8_t>(i * 37 + width * 11));
    return s;
}

TEST(BmpCodecFiles, PaddingOfWidthsOneToFourBothWaysUpByteForByte) {
    for (int bits : {8, 24})
        for (int width = 1; width <= 4; ++width) {
            SCOPED_TRACE("bits " + std::to_string(bits) + " width " + std::to_string(width));
            vt::BmpSpec s = Shape(width, 3, bits);
            const std::vector<uint8_t> file = vt::BuildBmp(s);
            const TBitmap b = Decoded(file);
            EXPECT_EQ(b.PixelFormat(), bits == 8 ? pf8bit : pf24bit);
            EXPECT_EQ(Rows(b), s.pixels);
            // The builder's layout is the classic one we write: same bytes.
            EXPECT_EQ(TBmpCodec::Encode(b), file);
            s.topDown = true;
            EXPECT_EQ(Rows(Decoded(vt::BuildBmp(s))), s.pixels);
        }
}

TEST(BmpCodecFiles, OnlyTheLastStoredRowsPadMayBeMissing) {
    vt::BmpSpec s = Shape(5, 4, 8);  // 3 bytes of pad a row
    s.dropLastPad = true;
    std::vector<uint8_t> file = vt::BuildBmp(s);
    EXPECT_EQ(Rows(Decoded(file)), s.pixels);
    file.pop_back();
    EXPECT_EQ(Refusal(file), "frame.bmp is cut short: its pixel data needs 29 bytes but the file holds 28");
    s.dropLastPad = false;
    s.topDown = true;  // the last stored row is now the bottom one
    file = vt::BuildBmp(s);
    file.resize(file.size() - 3);
    EXPECT_EQ(Rows(Decoded(file)), s.pixels);
}

TEST(BmpCodecFiles, OneAndFourBitRowsKeepTheirPackingWithoutStrayTailBits) {
    vt::BmpSpec four = Shape(3, 2, 4);
    four.pixels = {0x12, 0x3f, 0xab, 0xc7};  // the low nibbles are past the width
    const TBitmap b4 = Decoded(vt::BuildBmp(four));
    EXPECT_EQ(b4.PixelFormat(), pf4bit);
    EXPECT_EQ(Rows(b4), (std::vector<uint8_t>{0x12, 0x30, 0xab, 0xc0}));
    vt::BmpSpec one = Shape(10, 2, 1);
    one.pixels = {0xa5, 0xff, 0x01, 0x40};
    const TBitmap b1 = Decoded(vt::BuildBmp(one));
    EXPECT_EQ(b1.PixelFormat(), pf1bit);
    EXPECT_EQ(Rows(b1), (std::vector<uint8_t>{0xa5, 0xc0, 0x01, 0x40}));
    for (const TBitmap* b : {&b4, &b1}) {  // and they are written at their own depth
        const std::vector<uint8_t> f = TBmpCodec::Encode(*b);
        EXPECT_EQ(f[28], b == &b4 ? 4 : 1);
        EXPECT_EQ(Le32(f, 46), 0u);
        EXPECT_EQ(Rows(Decoded(f)), Rows(*b));
    }
}

TEST(BmpCodecFiles, PaletteSizeFromItsCountOrElseFromTheRoomBeforeThePixels) {
    vt::BmpSpec s = Shape(2, 1, 8);
    for (int i = 0; i < 100; ++i) s.paletteBGRA.insert(s.paletteBGRA.end(), {uint8_t(i), 1, 2, 3});
    s.clrUsed = 60;
    EXPECT_EQ(Decoded(vt::BuildBmp(s)).Palette().size(), 60u);
    s.clrUsed = 0;  // all 256 implied, room for 100
    const TBitmap b = Decoded(vt::BuildBmp(s));
    ASSERT_EQ(b.Palette().size(), 100u);
    EXPECT_EQ(b.Palette()[99].rgbBlue, 99);
    EXPECT_EQ(b.Palette()[99].rgbReserved, 3);
    s.clrUsed = 101;
    EXPECT_EQ(Refusal(vt::BuildBmp(s)), "frame.bmp is damaged: its palette of 101 colours runs into its pixel data");

    // OS/2 version 1: 12-byte header with 16-bit sizes, 3-byte entries.
    std::vector<uint8_t> core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 35, 0, 0, 0, 12, 0, 0, 0, 3, 0, 2, 0, 1, 0, 8, 0,
                                 10, 20, 30, 40, 50, 60, 70, 80, 90, 2, 1, 0, 0, 0, 1, 2, 0};
    const TBitmap os2 = Decoded(core);
    EXPECT_EQ(Rows(os2), (std::vector<uint8_t>{0, 1, 2, 2, 1, 0}));
    ASSERT_EQ(os2.Palette().size(), 3u);
    EXPECT_TRUE(os2.Palette()[1].rgbBlue == 40 && os2.Palette()[1].rgbRed == 60 && os2.Palette()[1].rgbReserved == 0);
}

TEST(BmpCodecFiles, EachDefectIsNamedInPlainWords) {
    const vt::BmpSpec s = Shape(4, 2, 8);
    auto with = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> f = vt::BuildBmp(s);
        SetLe32(f, at, value);
        return f;
    };
    EXPECT_EQ(Refusal({'P', '5', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 0}, "m.bmp"),
              "m.bmp is not a bitmap file");
    EXPECT_EQ(Refusal({}), "frame.bmp is not a bitmap file");
    EXPECT_EQ(Refusal({'B', 'M', 1, 2, 3}), "frame.bmp is cut short: it ends inside its header");
    EXPECT_EQ(Refusal(with(30, 1)), "frame.bmp is compressed (RLE8); only uncompressed bitmaps can be read");
    EXPECT_EQ(Refusal(with(28, 16)), "frame.bmp uses 16 bits per pixel; only 1, 4, 8 and 24 can be read");
    EXPECT_EQ(Refusal(with(18, 0)), "frame.bmp is damaged: it claims a width of 0 pixels");
    EXPECT_EQ(Refusal(with(18, 0x80000000u)), "frame.bmp is damaged: it claims a width of -2147483648 pixels");
    EXPECT_EQ(Refusal(with(22, 0)), "frame.bmp is damaged: it claims a height of 0 pixels");
    EXPECT_EQ(Refusal(with(22, 0x80000000u)), "frame.bmp is damaged: it claims a height of 2147483648 pixels");
    EXPECT_EQ(Refusal(with(10, 40)), "frame.bmp is damaged: its pixel data would begin inside its header");
    EXPECT_EQ(Refusal(with(10, 0xffffff00u)),
              "frame.bmp is cut short: its pixel data needs 8 bytes but the file holds 0");
    std::vector<uint8_t> huge = with(18, 0x7fffffff);
    SetLe32(huge, 22, 0x7fffffff);  // some 4.6 x 10^18 bytes claimed, refused before any allocation
    EXPECT_EQ(Refusal(huge).rfind("frame.bmp is cut short: its pixel data needs ", 0), 0u);

    vt::TempDir dir;
    for (const auto& [path, text] : {std::pair{dir.file("none.bmp"), " cannot be opened: No such file or directory"},
                                     std::pair{dir.path(), " is a folder, not a bitmap file"}}) {
        try {
            TBitmap().LoadFromFile(path);
            ADD_FAILURE() << path;
        } catch (const EBitmapError& e) {
            EXPECT_EQ(std::string(e.what()), path + text);
        }
    }
}

TEST(BmpCodecFiles, APictureTooLargeToHoldIsRefusedBeforeItIsRead) {
    // A sparse file as long as its header says: 24-bit, 40000 x 20000.
    std::vector<uint8_t> head = vt::BuildBmp(Shape(4, 1, 24));
    head.resize(54);
    SetLe32(head, 18, 40000);
    SetLe32(head, 22, 20000);
    vt::TempDir dir;
    vt::WriteBytes(dir.file("big.bmp"), head);
    ASSERT_EQ(truncate(dir.file("big.bmp").c_str(), off_t{54} + off_t{120000} * 20000), 0);
    TBitmap b(1, 1, pf8bit);
    try {
        b.LoadFromFile(dir.file("big.bmp"));
        ADD_FAILURE() << "read";
    } catch (const EBitmapError& e) {
        EXPECT_EQ(std::string(e.what()), dir.file("big.bmp") + " is too large: its 40000 x 20000 pixels would "
                                                               "take more than the 2 GiB a bitmap may hold");
    }
    EXPECT_EQ(b.Width(), 1);
}

// ---------------------------------------------------------------------------
// Writing.

std::vector<RGBQUAD> Colours(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<RGBQUAD> p(n);
    for (RGBQUAD& e : p) e = RGBQUAD{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    return p;
}

TBitmap Indexed(int width, int height, std::vector<RGBQUAD> palette, unsigned seed) {
    TBitmap b(width, height, pf8bit);
    std::mt19937 rng(seed);
    const size_t n = palette.size();
    b.SetPalette(std::move(palette));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(rng() % n);
    return b;
}

TEST(BmpCodecWrite, EightBitStaysEightBitWithExactlyItsOwnPalette) {
    for (size_t entries : {252u, 16u, 2u, 256u}) {
        SCOPED_TRACE(entries);
        const TBitmap b = Indexed(7, 3, Colours(entries, entries), 1);
        const std::vector<uint8_t> f = TBmpCodec::Encode(b);
        EXPECT_EQ(f[28], 8);
        EXPECT_EQ(Le32(f, 46), entries == 256 ? 0u : entries);
        EXPECT_EQ(Le32(f, 10), 54u + 4 * entries);
        EXPECT_EQ(Le32(f, 2), f.size());
        EXPECT_EQ(f.size(), 54u + 4 * entries + 8 * 3);
        const TBitmap back = Decoded(f);
        EXPECT_EQ(back.PixelFormat(), pf8bit);
        EXPECT_EQ(Rows(back), Rows(b));
        EXPECT_TRUE(SamePalette(back.Palette(), b.Palette()));
    }
    // Without entries: a grey ramp, never a file without a palette.
    TBitmap bare(3, 1, pf8bit);
    bare.SetPalette({});
    const std::vector<uint8_t> f = TBmpCodec::Encode(bare);
    EXPECT_EQ(Le32(f, 10), 1078u);
    EXPECT_TRUE(SamePalette(Decoded(f).Palette(), GreyRamp(256)));
    vt::TempDir dir;
    EXPECT_THROW(TBitmap().SaveToFile(dir.file("e.bmp")), EBitmapError);
    EXPECT_TRUE(dir.entries().empty());
}

// Python's PIL reads what we wrote: mode, indices, palette and colours.
TEST(BmpCodecWrite, AnIndependentReaderSeesTheSamePicture) {
    if (vt::RunCommand("/usr/bin/python3 -c 'import PIL'") != 0)
        GTEST_SKIP() << "/usr/bin/python3 with PIL (Debian python3-pil) is not installed";
    vt::TempDir dir;
    std::vector<std::pair<std::string, TBitmap>> cases = {{"p252", Indexed(13, 5, Colours(252, 1), 1)},
                                                          {"p16", Indexed(6, 4, Colours(16, 2), 2)},
                                                          {"grey", Indexed(9, 9, GreyRamp(256), 3)}};
    for (int w = 1; w <= 4; ++w) {
        TBitmap rgb(w, 3, pf24bit);
        for (int y = 0; y < 3; ++y)
            for (size_t i = 0; i < rgb.RowBytes(); ++i) rgb.ScanLine(y)[i] = static_cast<uint8_t>(i * 50 + y * 7 + w);
        cases.emplace_back("rgb" + std::to_string(w), rgb);
        cases.emplace_back("p8w" + std::to_string(w), Indexed(w, 2, Colours(40, w), w));
    }
    // PIL shows a full grey ramp as a grey picture, "L", whose values are the indices.
    const std::string script =
        "import sys\nfrom PIL import Image\nbad = []\n"
        "for base in sys.argv[1:]:\n"
        "    im = Image.open(base + '.bmp'); want = open(base + '.mode').read()\n"
        "    if im.mode != want and not (base.endswith('grey') and im.mode == 'L'): bad.append(base + ' ' + im.mode)\n"
        "    if im.convert('RGB').tobytes() != open(base + '.rgb', 'rb').read(): bad.append(base + ' rgb')\n"
        "    if want == 'P' and im.tobytes() != open(base + '.idx', 'rb').read(): bad.append(base + ' indices')\n"
        "    pal = open(base + '.pal', 'rb').read()\n"
        "    if im.mode == 'P' and bytes(im.getpalette()[:len(pal)]) != pal: bad.append(base + ' palette')\n"
        "print(' '.join(bad) or 'OK')\n";
    vt::WriteBytes(dir.file("check.py"), std::vector<uint8_t>(script.begin(), script.end()));
    std::string args;
    for (auto& [name, b] : cases) {
        const std::string base = dir.file(name), mode = b.PixelFormat() == pf24bit ? "RGB" : "P";
        b.SaveToFile(base + ".bmp");
        std::vector<uint8_t> pal;
        for (const RGBQUAD& e : b.Palette()) pal.insert(pal.end(), {e.rgbRed, e.rgbGreen, e.rgbBlue});
        vt::WriteBytes(base + ".mode", std::vector<uint8_t>(mode.begin(), mode.end()));
        vt::WriteBytes(base + ".rgb", Rgb(b));
        vt::WriteBytes(base + ".idx", Rows(b));
        vt::WriteBytes(base + ".pal", pal);
        args += " " + vt::ShellQuote(base);
    }
    std::string out;
    ASSERT_EQ(vt::RunCommand("/usr/bin/python3 " + vt::ShellQuote(dir.file("check.py")) + args, &out), 0) << out;
    EXPECT_EQ(out, "OK\n");
}

TEST(BmpCodecWrite, AFailedSaveLeavesTheOldFileByteForByte) {
    vt::TempDir dir;
    const std::string missing = dir.file("missing/frame.bmp"), target = dir.file("frame.bmp");
    try {
        TBitmap(4, 4, pf8bit).SaveToFile(missing);
        ADD_FAILURE() << "saved";
    } catch (const EBitmapError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(missing + " could not be saved", 0), 0u) << e.what();
    }
    EXPECT_TRUE(dir.entries().empty());

    TBitmap(3, 3, pf8bit).SaveToFile(target);
    const std::vector<uint8_t> before = vt::ReadBytes(target);
    const TBitmap bigger = Indexed(300, 200, GreyRamp(256), 5);
    // A file-size limit cuts the write short, in a child so that the limit
    // cannot touch this process's own output.
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        try {
            bigger.SaveToFile(target);
        } catch (const EBitmapError& e) {
            _exit(std::string(e.what()).rfind(target + " could not be saved", 0) == 0 ? 0 : 2);
        }
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "1: saved anyway, 2: the file is not named";
    EXPECT_EQ(vt::ReadBytes(target), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"frame.bmp"});
    bigger.SaveToFile(target);
    EXPECT_EQ(vt::ReadBytes(target), TBmpCodec::Encode(bigger));
}

}  // namespace
