// The general bitmap codec: every file of the bitmap test suite, hand-made
// files, files we write read back, failed saves.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "../calibration/CalibrationSession.h"
#include "untBitmap.h"
#include "untBmpCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Rows(const TBitmap& b) {
    Bytes out;
    for (int y = 0; y < b.Height(); ++y) out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
    return out;
}

Bytes Pal(const TBitmap& b) {  // blue, green, red, reserved per entry
    const auto* p = reinterpret_cast<const uint8_t*>(b.Palette().data());
    return Bytes(p, p + 4 * b.Palette().size());
}

// The picture as RGB, top row first; palettised pixels through the palette.
Bytes Rgb(TBitmap b) {
    b.SetPixelFormat(pf24bit);
    Bytes out = Rows(b);
    for (size_t i = 0; i + 2 < out.size(); i += 3) std::swap(out[i], out[i + 2]);
    return out;
}

std::string Sha256(const Bytes& bytes) {
    vt::TempDir dir;
    vt::WriteBytes(dir.file("rgb"), bytes);
    std::string out;
    vt::RunCommand("sha256sum " + vt::ShellQuote(dir.file("rgb")), &out);
    return out.substr(0, 64);
}

// Random palette (reserved bytes too) and random indices.
TBitmap Indexed(int width, int height, size_t entries, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<RGBQUAD> palette(entries);
    for (RGBQUAD& e : palette) e = RGBQUAD{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    TBitmap b(width, height, pf8bit);
    b.SetPalette(palette);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(rng() % entries);
    return b;
}

// The toolkit's error message from f, or "" when there was none.
std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EBitmapError& e) {
        return e.what();
    }
    return "";
}

// The bitmap test suite, one case per row of its manifest.
using SuiteFile = std::map<std::string, std::string>;

std::vector<SuiteFile> Manifest() {
    std::vector<SuiteFile> files;
    std::ifstream in(vt::TestDataDir() + "/bmpsuite/MANIFEST.csv");
    std::string line, name;
    std::getline(in, line);
    std::vector<std::string> names;
    for (std::stringstream ss(line); std::getline(ss, name, ',');) names.push_back(name);
    while (std::getline(in, line)) {
        std::stringstream ss(line);
        SuiteFile& f = files.emplace_back();
        for (const std::string& n : names) std::getline(ss, f[n], ',');  // missing fields are ""
    }
    return files;
}

// Plain 1, 4, 8 and 24-bit pixels are read whatever the header version;
// fields nothing depends on (file and image size, densities, hotspot) are
// not checked. Everything else is refused.
const std::set<std::string> kRead = {
    "g/pal1.bmp", "g/pal1bg.bmp", "g/pal1wb.bmp", "g/pal4.bmp", "g/pal4gs.bmp", "g/pal8-0.bmp", "g/pal8.bmp",
    "g/pal8gs.bmp", "g/pal8nonsquare.bmp", "g/pal8os2.bmp", "g/pal8topdown.bmp", "g/pal8v4.bmp", "g/pal8v5.bmp",
    "g/pal8w124.bmp", "g/pal8w125.bmp", "g/pal8w126.bmp", "g/rgb24.bmp", "g/rgb24pal.bmp", "q/pal1p1.bmp",
    "q/pal8offs.bmp", "q/pal8os2-hs.bmp", "q/pal8os2-sz.bmp", "q/pal8os2sp.bmp", "q/pal8os2v2-16.bmp",
    "q/pal8os2v2-40sz.bmp", "q/pal8os2v2-sz.bmp", "q/pal8os2v2.bmp", "q/pal8oversizepal.bmp",
    "q/rgb24largepal.bmp", "q/rgb24lprof.bmp", "q/rgb24prof.bmp", "q/rgb24prof2.bmp", "b/badbitssize.bmp",
    "b/baddens1.bmp", "b/baddens2.bmp", "b/badfilesize.bmp", "b/pal8badindex.bmp"};

// Other depths and compressed files are refused with that reason; the
// damaged ones with some reason. (OS/2 version 1 headers show 0 bits here.)
std::string ExpectedReason(const SuiteFile& f) {
    const std::string bits = f.at("biBitCount_at28");
    if (!std::set<std::string>{"0", "1", "4", "8", "24"}.count(bits)) return " uses " + bits + " bits per pixel";
    return f.at("biCompression") == "0" ? " " : " is compressed (";
}

const std::string kPal8Indices = "4482658dab588344ab0d157265b13ab754de1d5ae231b6cace73598b17c6b90c";

class BmpSuite : public ::testing::TestWithParam<SuiteFile> {};

// g/pal8topdown.bmp has g/pal8.bmp's reference indices and colours: top-down
// must read as bottom-up.
TEST_P(BmpSuite, ReadExactlyOrRefusedWithItsReason) {
    const SuiteFile& f = GetParam();
    const std::string name = f.at("file"), path = vt::TestDataDir() + "/bmpsuite/" + name;
    const Bytes bytes = vt::ReadBytes(path);
    // Every prefix is read or refused cleanly; a copy of exactly cut bytes, so a read past it is caught.
    for (size_t cut : {0ul, 2ul, 14ul, 18ul, 26ul, 54ul, 100ul, bytes.size() / 2, bytes.size() - 1}) {
        const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        TBitmap b;
        std::string reason;
        EXPECT_TRUE(TBmpCodec::Decode(prefix.data(), prefix.size(), b, &reason) || (b.Empty() && !reason.empty()));
    }
    TBitmap b(2, 1, pf24bit);  // a refused load leaves it as it was
    b.ScanLine(0)[4] = 77;
    const std::string error = ErrorOf([&] { b.LoadFromFile(path); });
    if (!kRead.count(name)) {
        EXPECT_EQ(error.rfind(path + ExpectedReason(f), 0), 0u) << error;
        EXPECT_EQ(Rows(b), (Bytes{0, 0, 0, 0, 77, 0}));
        return;
    }
    ASSERT_EQ(error, "");
    // 8-bit indices and colours of every depth against the reference
    // decoder's digests. It refuses q/pal8os2v2-16.bmp, whose pixel bytes are
    // g/pal8.bmp's; it shows an index its palette lacks as the grey of that
    // index, where we show black.
    const std::string indices = name == "q/pal8os2v2-16.bmp" ? kPal8Indices : f.at("sha256_index");
    if (b.PixelFormat() == pf8bit && !indices.empty()) {
        EXPECT_EQ(Sha256(Rows(b)), indices);
    }
    if (f.at("class") == "read-exact" && f.at("biBitCount_at28") == "8") {
        const size_t stated = std::stoul(f.at("biClrUsed")), entries = stated == 0 || stated > 256 ? 256 : stated;
        EXPECT_EQ(Pal(b), Bytes(bytes.begin() + 54, bytes.begin() + 54 + 4 * static_cast<long>(entries)));
    }
    if (!f.at("sha256_rgb").empty() && name != "b/pal8badindex.bmp") {
        EXPECT_EQ(Sha256(Rgb(b)), f.at("sha256_rgb"));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFile, BmpSuite, ::testing::ValuesIn(Manifest()), [](const auto& info) {
    std::string name = info.param.at("file");
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !isalnum(c); }, '_');
    return name;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BmpSuite);  // no shared test data

// Old writers leave out the last row's pad, or state no palette count and
// store fewer entries than the depth allows.
TEST(BmpCodecFiles, ShortcutsOfOldWritersAreRead) {
    const TBitmap b = Indexed(5, 4, 100, 3);  // 3 bytes of pad a row
    Bytes file = TBmpCodec::Encode(b);
    file[46] = 0;  // no count: as many entries as fit before the pixels
    file.resize(file.size() - 3);
    TBitmap back;
    std::string reason;
    ASSERT_TRUE(TBmpCodec::Decode(file.data(), file.size(), back, &reason)) << reason;
    EXPECT_EQ(Rows(back), Rows(b));
    EXPECT_EQ(Pal(back), Pal(b));
    file.pop_back();  // now a pixel is missing
    EXPECT_FALSE(TBmpCodec::Decode(file.data(), file.size(), back, &reason));
}

TEST(BmpCodecFiles, AHugeClaimedSizeIsRefusedBeforeAnyAllocation) {
    // A sparse file as long as its header says: 24-bit, 40000 x 20000.
    Bytes head = TBmpCodec::Encode(TBitmap(4, 1, pf24bit));
    head.resize(54);
    for (int i = 0; i < 8; ++i) head[18 + i] = static_cast<uint8_t>((i < 4 ? 40000 : 20000) >> 8 * (i % 4));
    vt::TempDir dir;
    const std::string path = dir.file("big.bmp");
    vt::WriteBytes(path, head);
    ASSERT_EQ(truncate(path.c_str(), off_t{54} + off_t{120000} * 20000), 0);
    TBitmap b(1, 1, pf8bit);
    EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(path); }),
              path + " is too large: its 40000 x 20000 pixels would take more than the 2 GiB a bitmap may hold");
    EXPECT_EQ(b.Width(), 1);
}

// 252 entries; 16, which would fit 4 bits but stay 8; widths 1 to 4 of both
// depths, each padded differently. The reader is held against the suite's
// reference decodes above, so what it reads back is what was written; an
// independent reader opens our master frames in the command-line tests.
TEST(BmpCodecWrite, DepthPaletteAndPixelsComeBackExactly) {
    std::vector<TBitmap> cases = {Indexed(13, 5, 252, 1), Indexed(6, 4, 16, 2)};
    for (int w = 1; w <= 4; ++w) {
        cases.push_back(Indexed(w, 3, 40, w));
        cases.push_back(Indexed(w, 3, 200, w + 4));
        cases.back().SetPixelFormat(pf24bit);
    }
    for (const TBitmap& b : cases) {
        const bool rgb = b.PixelFormat() == pf24bit;
        const size_t entries = b.Palette().size(), stored = (b.RowBytes() + 3) / 4 * 4 * b.Height();
        SCOPED_TRACE((rgb ? "24-bit " : "8-bit ") + std::to_string(b.Width()) + " x " + std::to_string(b.Height()));
        const Bytes f = TBmpCodec::Encode(b);
        EXPECT_EQ(f[28], rgb ? 24 : 8);
        EXPECT_EQ(f[46] + (f[47] << 8), static_cast<int>(entries));  // biClrUsed
        EXPECT_EQ(f.size(), 54 + 4 * entries + stored);
        TBitmap back;
        std::string reason;
        ASSERT_TRUE(TBmpCodec::Decode(f.data(), f.size(), back, &reason)) << reason;
        EXPECT_EQ(Rows(back), Rows(b));
        EXPECT_EQ(Pal(back), Pal(b));
    }
}

TEST(BmpCodecWrite, AFailedSaveLeavesTheOldFileByteForByte) {
    vt::TempDir dir;
    const std::string target = dir.file("frame.bmp");
    TBitmap(3, 3, pf8bit).SaveToFile(target);
    const Bytes before = vt::ReadBytes(target);
    std::string error = "saved anyway";
    if (!vc::WithSmallFileLimit([&] { error = ErrorOf([&] { Indexed(300, 200, 256, 5).SaveToFile(target); }); }))
        GTEST_SKIP() << "cannot lower the file size limit";
    EXPECT_EQ(error.rfind(target + " could not be saved", 0), 0u) << error;
    EXPECT_EQ(vt::ReadBytes(target), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"frame.bmp"});
}

}  // namespace
