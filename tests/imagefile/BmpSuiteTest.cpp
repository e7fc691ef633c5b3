// Every file of the shared bitmap suite through ReadBmpFile: the good ones
// exactly as the reference decodes have them, everything else refused
// cleanly, and nothing ever written beside the file.
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>

#include "TestFiles.h"
#include "untBmpUtil.h"

namespace {

// The header structures are packed: gtest's comparisons would bind
// references to misaligned fields, so they see copies.
template <class T>
T Field(T value) {
    return value;
}

struct TSuiteFile {
    std::string file, cls, ref;  // ref: reference decode, "" when there is none
    int64_t biSize = 0, bitCount = 0, width = 0, height = 0;
    uint64_t compression = 0;
};

// Failure messages name the file rather than dumping the structure's bytes.
void PrintTo(const TSuiteFile& f, std::ostream* os) { *os << f.file; }

std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == ',') fields.emplace_back();
        else if (c != '\r') fields.back() += c;
    }
    return fields;
}

std::vector<TSuiteFile> LoadManifest() {
    std::vector<TSuiteFile> files;
    const std::string data = vt::TestDataDir();
    if (data.empty()) return files;
    std::ifstream in(data + "/bmpsuite/MANIFEST.csv");
    std::string line;
    if (!std::getline(in, line)) return files;
    std::map<std::string, size_t> col;
    const std::vector<std::string> names = SplitCsv(line);
    for (size_t i = 0; i < names.size(); ++i) col[names[i]] = i;
    while (std::getline(in, line)) {
        const std::vector<std::string> v = SplitCsv(line);
        if (v.size() < names.size() - 1) continue;
        auto num = [&](const char* name) { return std::stoll(v.at(col.at(name))); };
        TSuiteFile f;
        f.file = v[col.at("file")];
        f.cls = v[col.at("class")];
        f.biSize = num("biSize");
        f.bitCount = num("biBitCount_at28");
        f.width = num("biWidth");
        f.height = num("biHeight");
        f.compression = std::stoull(v[col.at("biCompression")]);
        // The indices are what an 8-bit reader must yield; 24-bit files have only RGB.
        f.ref = v[col.at(f.bitCount == 8 ? "ref_idx" : "ref_ppm")];
        // No decoder would make a reference of a 16-byte header, but its
        // pixel bytes are those of g/pal8.bmp (README.txt of the suite).
        if (f.file == "q/pal8os2v2-16.bmp") f.ref = "ref/g/pal8.idx.pgm";
        files.push_back(f);
    }
    return files;
}

// Samples of a binary PGM or PPM with maxval 255, top row first.
std::vector<uint8_t> ReadPnm(const std::string& path, int* channels) {
    const std::vector<uint8_t> f = vt::ReadBytes(path);
    size_t at = 0;
    auto token = [&] {
        std::string t;
        while (at < f.size()) {
            if (f[at] == '#') {
                while (at < f.size() && f[at] != '\n') ++at;
            } else if (std::isspace(f[at])) {
                if (!t.empty()) break;
                ++at;
            } else {
                t += char(f[at++]);
            }
        }
        return t;
    };
    const std::string magic = token();
    *channels = magic == "P6" ? 3 : 1;
    const size_t w = std::stoul(token()), h = std::stoul(token());
    if (token() != "255") throw std::runtime_error(path + ": not 8 bits a sample");
    ++at;  // the single blank before the samples
    if (f.size() < at + w * h * *channels) throw std::runtime_error(path + ": short");
    return {f.begin() + at, f.begin() + at + w * h * *channels};
}

// What this codec makes of a suite file, derived from the file's header.
uint32_t ExpectedCode(const TSuiteFile& f) {
    if (f.bitCount != 8 && f.bitCount != 24) return BMP_IMPROPER_TYPE;  // OS/2 v1 headers land here too
    if (f.compression != 0) return BMP_IMPROPER_TYPE;                   // RLE is refused, not decoded
    if (f.file == "b/reallybig.bmp") return BMP_FILE_ERROR;             // 3,000,000 x 2,000,000 in 24 KB
    return BMP_NO_ERROR;
}

struct TFrame {
    BmpRecord r;
    ~TFrame() { FreeBmpBuffers(r); }
};

class BmpSuiteFile : public testing::TestWithParam<TSuiteFile> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BmpSuiteFile);

TEST(BmpSuite, ManifestIsComplete) {
    VT_REQUIRE_TESTDATA();
    EXPECT_EQ(LoadManifest().size(), 90u);
}

TEST_P(BmpSuiteFile, ReadsExactlyOrRefusesCleanly) {
    VT_REQUIRE_TESTDATA();
    const TSuiteFile& s = GetParam();
    const std::string suite = vt::TestDataDir() + "/bmpsuite/";
    const uint32_t expected = ExpectedCode(s);
    // Where the suite says what a reader must do, this codec's rule agrees.
    if (s.cls == "read-exact" || s.cls.starts_with("read-pixels") || s.cls.starts_with("read-or-refuse")) {
        ASSERT_EQ(expected, BMP_NO_ERROR) << s.cls;
    }
    if (s.cls.starts_with("refuse")) {
        ASSERT_EQ(expected, BMP_IMPROPER_TYPE) << s.cls;
    }

    // A copy, because frames are opened for update and the suite is read-only.
    vt::TempDir dir;
    const std::vector<uint8_t> original = vt::ReadBytes(suite + s.file);
    TFrame f;
    f.r.fileName = dir.file("in.bmp");
    vt::WriteBytes(f.r.fileName, original);
    const uint32_t code = ReadBmpFile(&f.r);
    EXPECT_EQ(vt::ReadBytes(f.r.fileName), original);
    ASSERT_EQ(code, expected);
    EXPECT_EQ(f.r.status, code);
    if (code != BMP_NO_ERROR) {
        EXPECT_TRUE(!f.r.fileHeader && !f.r.infoHeader && !f.r.palette && !f.r.pixels);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.bmp"});
        return;
    }

    EXPECT_EQ(Field(f.r.infoHeader->biWidth), s.width);
    EXPECT_EQ(Field(f.r.infoHeader->biHeight), s.height < 0 ? -s.height : s.height);
    const std::vector<uint8_t> pixels(f.r.pixels, f.r.pixels + BmpPixelBytes(f.r));
    if (!s.ref.empty()) {
        int channels = 0;
        std::vector<uint8_t> ref = ReadPnm(suite + s.ref, &channels);
        ASSERT_EQ(channels, s.bitCount == 24 ? 3 : 1);
        for (size_t i = 0; channels == 3 && i < ref.size(); i += 3) std::swap(ref[i], ref[i + 2]);
        EXPECT_EQ(pixels, ref) << s.ref;
    }
    // With the classic 40-byte header the palette sits at 54, where this codec
    // takes it from, so the indices must also give the reference colours.
    const std::string ppm = s.file.substr(0, 2) == "b/" ? "" : "ref/" + s.file.substr(0, s.file.size() - 4) + ".ppm";
    if (s.bitCount == 8 && s.biSize == 40 && !ppm.empty() && !s.ref.empty()) {
        int channels = 0;
        const std::vector<uint8_t> rgb = ReadPnm(suite + ppm, &channels);
        ASSERT_EQ(rgb.size(), pixels.size() * 3);
        for (size_t i = 0; i < pixels.size(); ++i) {
            const RGBQUAD q = f.r.palette[pixels[i]];
            ASSERT_TRUE(q.rgbRed == rgb[3 * i] && q.rgbGreen == rgb[3 * i + 1] && q.rgbBlue == rgb[3 * i + 2])
                << "pixel " << i << " index " << int(pixels[i]);
        }
    }

    // Written and read back, the frame stays the same.
    TFrame back;
    back.r.fileName = dir.file("out.bmp");
    f.r.fileName = back.r.fileName;
    ASSERT_EQ(WriteBmpFile(&f.r), BMP_NO_ERROR);
    ASSERT_EQ(ReadBmpFile(&back.r), BMP_NO_ERROR);
    EXPECT_EQ(std::vector<uint8_t>(back.r.pixels, back.r.pixels + BmpPixelBytes(back.r)), pixels);
    if (s.bitCount == 8) {
        EXPECT_EQ(std::memcmp(back.r.palette, f.r.palette, 1024), 0);
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

INSTANTIATE_TEST_SUITE_P(Bmpsuite, BmpSuiteFile, testing::ValuesIn(LoadManifest()),
                         [](const testing::TestParamInfo<TSuiteFile>& p) {
                             std::string name = p.param.file;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
