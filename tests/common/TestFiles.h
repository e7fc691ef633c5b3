// Helpers the test programs share: temporary folders, whole-file reads and
// writes, the shared test data folder, and a builder of bitmap files whose
// every byte the test decides.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vt {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Every file in the folder with its bytes: equal manifests mean nothing was written.
std::map<std::string, std::vector<uint8_t>> Manifest(const TempDir& dir);

// The shared test data folder ("" when it is not beside the checkout).
std::string TestDataDir();

#define VT_REQUIRE_TESTDATA()                                                              \
    do {                                                                                   \
        if (vt::TestDataDir().empty())                                                     \
            GTEST_SKIP() << "shared test data not found beside the checkout (VELMORA_SHARED_DIR)"; \
    } while (0)

// Runs a shell command; returns its exit status and fills *out with stdout+stderr.
int RunCommand(const std::string& command, std::string* out = nullptr);
std::string ShellQuote(const std::string& s);

// A bitmap file built byte by byte. rows are given top row first, each
// width * bitCount / 8 bytes (rounded up) long; the builder pads and orders
// them as the header says.
struct BmpLayout {
    int width = 1;
    int height = 1;
    int bitCount = 8;
    bool topDown = false;
    std::vector<uint8_t> pixels;         // unpadded, top row first
    std::vector<uint8_t> paletteBGRA;    // 4 bytes an entry; default grey ramp of 256 for 8-bit
    int32_t xPels = 2835, yPels = 2835;
    uint32_t clrUsed = 0;
};
std::vector<uint8_t> BuildBmp(const BmpLayout& layout);

// An 8-bit grey frame file holding these bytes, width pixels a row (all of
// them in one row when width is 0), top row first.
void WriteFrame(const std::string& path, const std::vector<uint8_t>& pixels, int width = 0);
// The pixels of a frame file as the codec reads them, top row first.
std::vector<uint8_t> FramePixels(const std::string& path);

}  // namespace vt
