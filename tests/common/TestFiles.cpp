#include "TestFiles.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <tuple>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "untBmpUtil.h"

namespace fs = std::filesystem;

namespace vt {

TempDir::TempDir() {
    path_ = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (!mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
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

std::map<std::string, std::vector<uint8_t>> Manifest(const TempDir& dir) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& name : dir.entries()) files[name] = ReadBytes(dir.file(name));
    return files;
}

std::string TestDataDir() {
    const char* env = std::getenv("VELMORA_SHARED_DIR");
    std::error_code ec;
    const fs::path dir = fs::path(env && *env ? env : VELMORA_SHARED_DIR) / "testdata";
    return fs::is_directory(dir, ec) ? fs::canonical(dir, ec).string() : std::string();
}

int RunCommand(const std::string& command, std::string* out) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
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
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
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
    std::vector<uint8_t> f(offBits + stride * s.height, 0);
    // Little-endian header fields: {offset, value, bytes}.
    const std::tuple<size_t, uint32_t, int> fields[] = {
        {0, 'B' | 'M' << 8, 2}, {2, uint32_t(f.size()), 4}, {10, uint32_t(offBits), 4}, {14, 40, 4},
        {18, uint32_t(s.width), 4}, {22, uint32_t(s.topDown ? -s.height : s.height), 4}, {26, 1, 2},
        {28, uint32_t(s.bitCount), 2}, {34, uint32_t(stride * s.height), 4}, {38, uint32_t(s.xPels), 4},
        {42, uint32_t(s.yPels), 4}, {46, s.clrUsed, 4}};
    for (const auto& [at, value, bytes] : fields)
        for (int i = 0; i < bytes; ++i) f[at + i] = uint8_t(value >> (8 * i));
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
