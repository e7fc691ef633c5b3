// Every file of the shared bitmap suite through both codecs: the frame
// record's ReadBmpFile and the toolkit's TBitmap. The good ones read exactly
// as the reference decodes have them, everything else refused cleanly with
// its reason, every cut prefix of every file too, and nothing written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "untBmpCodec.h"
#include "untBmpUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;
using SuiteFile = std::map<std::string, std::string>;  // column to value, one row of the manifest

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

std::string Sha256(const Bytes& bytes) {
    vt::TempDir dir;
    vt::WriteBytes(dir.file("rgb"), bytes);
    std::string out;
    vt::RunCommand("sha256sum " + vt::ShellQuote(dir.file("rgb")), &out);
    return out.substr(0, 64);
}

// A reference decode, a binary PGM or PPM: three header lines, then samples.
Bytes Samples(const std::string& path) {
    Bytes ref = vt::ReadBytes(path);
    size_t at = 0;
    for (int lines = 0; lines < 3 && at < ref.size(); ++at) lines += ref[at] == '\n';
    return Bytes(ref.begin() + static_cast<long>(at), ref.end());
}

// The record codec takes 8- and 24-bit uncompressed files with any header;
// the suite's OS/2 version 1 files are 8-bit, though 0 bits show at 28. The
// 3,000,000 x 2,000,000 frame of 24 KB is cut short, and so is a palette of
// 305,402,420 colours.
uint32_t RecordCode(const SuiteFile& f) {
    if (f.at("biSize") == "12") return BMP_NO_ERROR;
    const std::string bits = f.at("biBitCount_at28");
    if ((bits != "8" && bits != "24") || f.at("biCompression") != "0") return BMP_IMPROPER_TYPE;
    const bool cut = f.at("file") == "b/reallybig.bmp" || f.at("file") == "b/badpalettesize.bmp";
    return cut ? BMP_FILE_ERROR : BMP_NO_ERROR;
}

// The toolkit also reads 1 and 4 bits and OS/2 version 1 headers; what its
// fields do not show, these files are damaged.
const std::set<std::string> kDamaged = {"b/badheadersize.bmp", "b/badpalettesize.bmp", "b/badplanes.bmp",
                                        "b/badwidth.bmp",      "b/reallybig.bmp",      "b/shortfile.bmp"};

// "" when TBitmap reads the file, else how its refusal begins after the path.
std::string ToolkitRefusal(const SuiteFile& f) {
    const std::string bits = f.at("biBitCount_at28");
    if (!std::set<std::string>{"0", "1", "4", "8", "24"}.count(bits)) return " uses " + bits + " bits per pixel";
    if (f.at("biSize") == "12") return "";
    if (f.at("biCompression") != "0") return " is compressed (";
    return kDamaged.count(f.at("file")) ? " " : "";
}

class BmpSuite : public testing::TestWithParam<SuiteFile> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BmpSuite);  // no shared test data

// A manifest that fails to parse would otherwise pass by running nothing.
TEST(BmpSuiteManifest, IsComplete) {
    VT_REQUIRE_TESTDATA();
    EXPECT_EQ(Manifest().size(), 90u);
}

TEST_P(BmpSuite, TheRecordCodecReadsExactlyOrRefusesCleanly) {
    const SuiteFile& s = GetParam();
    const uint32_t expected = RecordCode(s);
    // Where the suite says what a reader must do, this codec agrees.
    ASSERT_TRUE(s.at("class").starts_with("implementer-choice") || s.at("biSize") == "12" ||
                expected == (s.at("class").starts_with("refuse") ? BMP_IMPROPER_TYPE : BMP_NO_ERROR));
    // Straight from the suite's read-only folder: frames are opened for reading only.
    const std::string path = vt::TestDataDir() + "/bmpsuite/" + s.at("file");
    TOwnedBmpRecord r;
    ASSERT_EQ(r.Read(path), expected);
    EXPECT_EQ(r->status, expected);
    if (expected != BMP_NO_ERROR) {
        EXPECT_TRUE(!r->fileHeader && !r->infoHeader && !r->palette && !r->pixels);
        return;
    }
    const bool os2 = s.at("biSize") == "12";  // the manifest's header fields are those of a 40-byte header
    EXPECT_EQ(int(r->infoHeader->biWidth), std::stoi(s.at(os2 ? "width" : "biWidth")));
    EXPECT_EQ(int(r->infoHeader->biHeight), std::abs(std::stoi(s.at(os2 ? "height" : "biHeight"))));
    // The indices are what an 8-bit reader must yield; 24-bit files have only
    // RGB. No decoder makes a reference of a 16-byte header, but its pixel
    // bytes are those of g/pal8.bmp (README.txt of the suite).
    std::string ref = s.at(r->infoHeader->biBitCount == 8 ? "ref_idx" : "ref_ppm");
    if (s.at("file") == "q/pal8os2v2-16.bmp" || os2) ref = "ref/g/pal8.idx.pgm";
    if (r->infoHeader->biBitCount == 8 && ToolkitRefusal(s).empty()) {  // the toolkit's colours, black past them
        TBitmap b;
        b.LoadFromFile(path);
        std::vector<RGBQUAD> colours = b.Palette();
        colours.resize(256, RGBQUAD{});
        EXPECT_EQ(std::memcmp(colours.data(), r->palette, 1024), 0);
    }
    if (ref.empty()) return;
    Bytes samples = Samples(vt::TestDataDir() + "/bmpsuite/" + ref);
    for (size_t i = 0; r->infoHeader->biBitCount == 24 && i + 2 < samples.size(); i += 3)
        std::swap(samples[i], samples[i + 2]);  // RGB to BGR
    EXPECT_TRUE(Bytes(r->pixels, r->pixels + BmpPixelBytes(*r)) == samples) << ref;
}

// g/pal8topdown.bmp has g/pal8.bmp's reference indices and colours: top-down
// must read as bottom-up.
TEST_P(BmpSuite, TheToolkitReadsExactlyOrRefusesWithItsReason) {
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
    const std::string error = vt::ErrorOf([&] { b.LoadFromFile(path); }), refusal = ToolkitRefusal(f);
    if (!refusal.empty()) {
        EXPECT_EQ(error.rfind(path + refusal, 0), 0u) << error;
        EXPECT_EQ(vt::BitmapBytes(b), (Bytes{0, 0, 0, 0, 77, 0}));
        return;
    }
    ASSERT_EQ(error, "");
    // 8-bit indices and colours of every depth against the reference
    // decoder's digests. It refuses q/pal8os2v2-16.bmp, whose indices are
    // g/pal8.bmp's; it shows an index its palette lacks as the grey of that
    // index, where we show black.
    const std::string indices = name == "q/pal8os2v2-16.bmp"
                                    ? "4482658dab588344ab0d157265b13ab754de1d5ae231b6cace73598b17c6b90c"
                                    : f.at("sha256_index");
    if (b.PixelFormat() == pf8bit && !indices.empty()) {
        EXPECT_EQ(Sha256(vt::BitmapBytes(b)), indices);
    }
    if (f.at("class") == "read-exact" && f.at("biBitCount_at28") == "8") {
        const size_t stated = std::stoul(f.at("biClrUsed")), entries = stated == 0 || stated > 256 ? 256 : stated;
        const auto* palette = reinterpret_cast<const uint8_t*>(b.Palette().data());
        EXPECT_EQ(Bytes(palette, palette + 4 * b.Palette().size()),
                  Bytes(bytes.begin() + 54, bytes.begin() + 54 + 4 * static_cast<long>(entries)));
    }
    if (!f.at("sha256_rgb").empty() && name != "b/pal8badindex.bmp") {
        b.SetPixelFormat(pf24bit);
        Bytes rgb = vt::BitmapBytes(b);
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
        EXPECT_EQ(Sha256(rgb), f.at("sha256_rgb"));
    }
}

std::string CaseName(const testing::TestParamInfo<SuiteFile>& info) {
    std::string name = info.param.at("file");
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !isalnum(c); }, '_');
    return name;
}
INSTANTIATE_TEST_SUITE_P(EveryFile, BmpSuite, testing::ValuesIn(Manifest()), CaseName);

}  // namespace
