#include "TestFiles.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "untBmpUtil.h"

namespace fs = std::filesystem;

namespace vt {

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only files or folders behind; make them removable.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::map<std::string, std::vector<uint8_t>> Manifest(const TempDir& dir) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& name : dir.entries()) files[name] = ReadBytes(dir.file(name));
    return files;
}

std::string SharedDir() {
    const char* env = std::getenv("VELMORA_SHARED_DIR");
    std::string dir = env && *env ? env : VELMORA_SHARED_DIR;
    std::error_code ec;
    if (!fs::is_directory(dir + "/testdata", ec)) return {};
    return fs::canonical(dir, ec).string();
}

std::string TestDataDir() {
    std::string shared = SharedDir();
    return shared.empty() ? std::string() : shared + "/testdata";
}

int RunCommand(const std::string& command, std::string* out) {
    std::string full = command + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> buf;
    std::string text;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) text.append(buf.data(), n);
    int status = pclose(pipe);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

static void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
    v[at] = x & 0xff;
    v[at + 1] = x >> 8;
}
static void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = (x >> (8 * i)) & 0xff;
}

std::vector<uint8_t> BuildBmp(const BmpLayout& s) {
    std::vector<uint8_t> palette = s.paletteBGRA;
    if (palette.empty() && s.bitCount <= 8) {
        int n = 1 << s.bitCount;
        for (int i = 0; i < n; ++i) {
            uint8_t g = static_cast<uint8_t>(n == 1 ? 0 : i * 255 / (n - 1));
            palette.insert(palette.end(), {g, g, g, 0});
        }
    }
    const size_t rowBytes = (static_cast<size_t>(s.width) * s.bitCount + 7) / 8;
    const size_t stride = (rowBytes + 3) / 4 * 4;
    const size_t offBits = 54 + palette.size();
    size_t pixelArray = stride * s.height;
    if (s.dropLastPad) pixelArray -= stride - rowBytes;
    std::vector<uint8_t> f(offBits + pixelArray, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, static_cast<uint32_t>(f.size()));
    Put32(f, 10, static_cast<uint32_t>(offBits));
    Put32(f, 14, 40);
    Put32(f, 18, static_cast<uint32_t>(s.width));
    Put32(f, 22, static_cast<uint32_t>(s.topDown ? -s.height : s.height));
    Put16(f, 26, 1);
    Put16(f, 28, static_cast<uint16_t>(s.bitCount));
    Put32(f, 30, s.compression);
    Put32(f, 34, s.sizeImageOverride != UINT32_MAX ? s.sizeImageOverride : static_cast<uint32_t>(stride * s.height));
    Put32(f, 38, static_cast<uint32_t>(s.xPels));
    Put32(f, 42, static_cast<uint32_t>(s.yPels));
    Put32(f, 46, s.clrUsed);
    std::copy(palette.begin(), palette.end(), f.begin() + 54);
    for (int y = 0; y < s.height; ++y) {
        int stored = s.topDown ? y : s.height - 1 - y;  // position of picture row y in the file
        size_t at = offBits + stride * stored;
        size_t n = std::min(rowBytes, s.pixels.size() - std::min(s.pixels.size(), rowBytes * y));
        // Short or empty pixel lists are allowed; memcpy must not see their null data().
        if (n > 0) std::memcpy(f.data() + at, s.pixels.data() + rowBytes * y, n);
    }
    return f;
}

void WriteFrame(const std::string& path, const std::vector<uint8_t>& pixels, int width) {
    BmpLayout layout;
    layout.width = width > 0 ? width : static_cast<int>(pixels.size());
    layout.height = static_cast<int>(pixels.size()) / layout.width;
    layout.pixels = pixels;
    WriteBytes(path, BuildBmp(layout));
}

std::vector<uint8_t> FramePixels(const std::string& path) {
    BmpRecord record;
    record.fileName = path;
    EXPECT_EQ(ReadBmpFile(&record), BMP_NO_ERROR) << path;
    std::vector<uint8_t> pixels = record.pixels ? std::vector<uint8_t>(record.pixels, record.pixels + BmpPixelBytes(record))
                                                : std::vector<uint8_t>{};
    FreeBmpBuffers(record);
    return pixels;
}

}  // namespace vt
