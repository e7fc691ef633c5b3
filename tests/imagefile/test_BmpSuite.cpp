// Every file of the shared bitmap suite through ReadBmpFile: the good ones
// exactly as the reference decodes have them, everything else refused
// cleanly, and nothing written beside the file.
#include <cstdlib>
#include <fstream>
#include <map>

#include "TestFiles.h"
#include "untBmpUtil.h"

namespace {

struct TSuiteFile {
    std::string file, cls, ref;  // ref: reference decode, "" when there is none
    int bitCount = 0, width = 0, height = 0;
    uint64_t compression = 0;
};
// Failure messages name the file rather than dumping the structure's bytes.
void PrintTo(const TSuiteFile& f, std::ostream* os) { *os << f.file; }

std::vector<TSuiteFile> LoadManifest() {
    std::vector<TSuiteFile> files;
    if (vt::TestDataDir().empty()) return files;
    std::ifstream in(vt::TestDataDir() + "/bmpsuite/MANIFEST.csv");
    std::map<std::string, size_t> col;
    std::string line;
    for (bool header = true; std::getline(in, line); header = false) {
        std::vector<std::string> v(1);
        for (char c : line) {
            if (c == ',') v.emplace_back();
            else if (c != '\r') v.back() += c;
        }
        for (size_t i = 0; header && i < v.size(); ++i) col[v[i]] = i;
        if (header) continue;
        auto at = [&](const char* name) { return v.at(col.at(name)); };
        TSuiteFile f{at("file"), at("class"), "", std::stoi(at("biBitCount_at28")), std::stoi(at("biWidth")),
                     std::stoi(at("biHeight")), std::stoull(at("biCompression"))};
        // The indices are what an 8-bit reader must yield; 24-bit files have only RGB.
        f.ref = at(f.bitCount == 8 ? "ref_idx" : "ref_ppm");
        // No decoder makes a reference of a 16-byte header, but its pixel
        // bytes are those of g/pal8.bmp (README.txt of the suite).
        if (f.file == "q/pal8os2v2-16.bmp") f.ref = "ref/g/pal8.idx.pgm";
        files.push_back(f);
    }
    return files;
}

// What this codec makes of a suite file, from the file's header: other depths
// (OS/2 v1 headers land here too) and run-length encoding are refused.
uint32_t ExpectedCode(const TSuiteFile& f) {
    if ((f.bitCount != 8 && f.bitCount != 24) || f.compression != 0) return BMP_IMPROPER_TYPE;
    return f.file == "b/reallybig.bmp" ? BMP_FILE_ERROR : BMP_NO_ERROR;  // 3,000,000 x 2,000,000 in 24 KB
}

struct TFrame {
    BmpRecord r;
    ~TFrame() { FreeBmpBuffers(r); }
};

class BmpSuiteFile : public testing::TestWithParam<TSuiteFile> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BmpSuiteFile);

// A manifest that fails to parse would otherwise pass by running nothing.
TEST(BmpSuite, ManifestIsComplete) {
    VT_REQUIRE_TESTDATA();
    EXPECT_EQ(LoadManifest().size(), 90u);
}

TEST_P(BmpSuiteFile, ReadsExactlyOrRefusesCleanly) {
    VT_REQUIRE_TESTDATA();
    const TSuiteFile& s = GetParam();
    const std::string suite = vt::TestDataDir() + "/bmpsuite/";
    const uint32_t expected = ExpectedCode(s);
    // Where the suite says what a reader must do, this codec agrees.
    ASSERT_TRUE(s.cls.starts_with("implementer-choice") ||
                expected == (s.cls.starts_with("refuse") ? BMP_IMPROPER_TYPE : BMP_NO_ERROR))
        << s.cls;

    // A copy, because frames are opened for update and the suite is read-only.
    vt::TempDir dir;
    const std::vector<uint8_t> original = vt::ReadBytes(suite + s.file);
    TFrame f;
    f.r.fileName = dir.file("in.bmp");
    vt::WriteBytes(f.r.fileName, original);
    const uint32_t code = ReadBmpFile(&f.r);
    EXPECT_EQ(vt::ReadBytes(f.r.fileName), original);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.bmp"});
    ASSERT_EQ(code, expected);
    EXPECT_EQ(f.r.status, code);
    if (code != BMP_NO_ERROR) {
        EXPECT_TRUE(!f.r.fileHeader && !f.r.infoHeader && !f.r.palette && !f.r.pixels);
        return;
    }
    EXPECT_EQ(int(f.r.infoHeader->biWidth), s.width);
    EXPECT_EQ(int(f.r.infoHeader->biHeight), std::abs(s.height));
    if (s.ref.empty()) return;
    // Every reference is a binary PGM or PPM: three header lines, then samples.
    std::vector<uint8_t> ref = vt::ReadBytes(suite + s.ref);
    size_t at = 0;
    for (int lines = 0; lines < 3 && at < ref.size(); ++at) lines += ref[at] == '\n';
    ref.erase(ref.begin(), ref.begin() + at);
    for (size_t i = 0; s.bitCount == 24 && i + 2 < ref.size(); i += 3) std::swap(ref[i], ref[i + 2]);  // RGB to BGR
    EXPECT_TRUE(std::vector<uint8_t>(f.r.pixels, f.r.pixels + BmpPixelBytes(f.r)) == ref) << s.ref;
}

INSTANTIATE_TEST_SUITE_P(Bmpsuite, BmpSuiteFile, testing::ValuesIn(LoadManifest()));

}  // namespace
