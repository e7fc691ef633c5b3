#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untBitmap.h"
#include "untFlatAvg.h"
#include "untFlatKernel.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes KernelMean(const std::vector<Bytes>& frames, int width, int height, unsigned threads) {
    Bytes out(static_cast<size_t>(width) * height, 0xAA);
    auto rowOf = [&](size_t i, int y) { return frames[i].data() + static_cast<size_t>(y) * width; };
    TruncatedMeanFrames(frames.size(), width, height, rowOf,
                        [&](int y) { return out.data() + static_cast<size_t>(y) * width; }, threads, nullptr);
    return out;
}

}  // namespace

TEST(TruncatedMean, RoundsDownAndAgreesWithTheDoubleRuleOnRandomStacks) {
    EXPECT_EQ(KernelMean({{10}, {11}}, 1, 1, 1), Bytes{10});
    EXPECT_EQ(KernelMean({{10}, {11}, {12}}, 1, 1, 1), Bytes{11});

    std::mt19937 rng(7);
    for (size_t n : {1u, 2u, 3u, 7u, 32u, 255u, 256u, 257u, 258u, 300u}) {
        // 32 frames of 600 x 64 are stack enough for the rows to be shared among threads.
        const int width = n == 32 ? 600 : 1 + static_cast<int>(rng() % 700);
        const int height = n == 32 ? 64 : 1 + static_cast<int>(rng() % 4);
        std::vector<Bytes> frames(n, Bytes(static_cast<size_t>(width) * height));
        // Odd counts hold only 255s, the largest sums; even ones random values, every remainder.
        for (auto& f : frames)
            for (auto& v : f) v = n % 2 ? 255 : static_cast<uint8_t>(rng());
        const Bytes one = KernelMean(frames, width, height, 1);
        for (size_t p = 0; p < one.size(); ++p) {
            double sum = 0;
            for (const auto& f : frames) sum += f[p];
            ASSERT_EQ(one[p], static_cast<uint8_t>(sum / static_cast<double>(n))) << n << " frames, pixel " << p;
        }
        EXPECT_EQ(KernelMean(frames, width, height, 3), one) << n << " frames";
    }
}

namespace {

struct FlatRun {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;

    std::string Frame(const std::string& name, int w, Bytes pixels, int bits = 8, Bytes palette = {}) {
        vt::BmpLayout s;
        s.width = w;
        s.height = static_cast<int>(pixels.size() / static_cast<size_t>((w * bits + 7) / 8));
        s.bitCount = bits;
        s.pixels = std::move(pixels);
        s.paletteBGRA = std::move(palette);
        vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
        return dir.file(name);
    }
};

}  // namespace

TEST(CreateFlat, AveragesTheFramesIntoANewFileWithTheFirstFramesPalette) {
    FlatRun r;
    Bytes inverted;
    for (int i = 255; i >= 0; --i) inverted.insert(inverted.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    const auto a = r.Frame("a.bmp", 2, {10, 0}, 8, inverted);
    const auto b = r.Frame("b.bmp", 2, {11, 255});
    r.port.open().Title = "Select Images to correct";  // left there by an earlier command
    r.state.LastPathSave = "/save/";
    r.port.AnswerOpen({a, b, a});  // a file chosen twice counts twice
    r.port.AnswerSave(r.dir.file("flat"));
    CreateFlatAvg(r.state, r.port);

    EXPECT_EQ(r.port.statuses, (std::vector<std::string>{"Loading input files...", "Validating input files...",
                                                         "Creating flat ...", "", "Saving output file...",
                                                         "Cleaning up...", "Idle"}));
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.open().Title, "");
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    EXPECT_EQ(r.port.save().initialDirsSeen, std::vector<std::string>{"/save/"});
    EXPECT_EQ(r.port.save().FileName, r.dir.file("flat.bmp"));
    TBitmap flat;
    flat.LoadFromFile(r.dir.file("flat.bmp"));
    EXPECT_EQ((Bytes{flat.ScanLine(0)[0], flat.ScanLine(0)[1]}), (Bytes{10, 85}));
    EXPECT_EQ(flat.Palette()[10].rgbRed, 245);
    EXPECT_TRUE(r.state.FrameList.empty());
    EXPECT_EQ(r.dir.entries().size(), 3u);  // the inputs are not changed, nothing else is left
}

TEST(CreateFlat, RefusalsAndQuietEndingsWriteNothing) {
    const std::vector<std::string> refused = {"Loading input files...", "Validating input files...", "Cleaning up...",
                                              "Idle"};
    struct Case {
        const char* why;
        std::vector<int> bits;  // one frame each; 0 stands for an 8-bit frame of another width
        std::string message;    // empty: none
        std::vector<std::string> statuses;
        bool cancelSave = false;
    };
    const std::vector<Case> cases = {
        {"sizes differ", {8, 8, 0}, "All files must be the same size", refused},
        {"a 24-bit frame", {8, 24}, "256 color or monochrome bitmaps are reguired.", refused},
        {"a 1-bit frame", {1, 8}, "f0.bmp has 1 bit per pixel: only 8-bit frames can be averaged into a flat.",
         refused},
        {"one frame", {8}, "", {"Idle"}},
        {"save cancelled", {8, 8}, "", {"Loading input files...", "Validating input files...", "Creating flat ...", "",
                                       "Cleaning up...", "Idle"}, true},
    };
    for (const auto& c : cases) {
        FlatRun r;
        std::vector<std::string> files;
        for (size_t i = 0; i < c.bits.size(); ++i) {
            const int bits = c.bits[i] ? c.bits[i] : 8, w = c.bits[i] ? 8 : 9;
            const Bytes pixels(static_cast<size_t>((w * bits + 7) / 8) * 2, 1);
            files.push_back(r.Frame("f" + std::to_string(i) + ".bmp", w, pixels, bits,
                                    bits == 1 ? Bytes{0, 0, 0, 0, 255, 255, 255, 0} : Bytes{}));
        }
        r.port.AnswerOpen(files);
        if (c.cancelSave) r.port.CancelSave();
        CreateFlatAvg(r.state, r.port);
        ASSERT_EQ(r.port.messages.size(), c.message.empty() ? 0u : 1u) << c.why;
        if (!c.message.empty()) {
            const std::string& text = r.port.messages[0].text;
            EXPECT_EQ(text.substr(text.find_last_of('/') + 1), c.message) << c.why;
            EXPECT_EQ(r.port.messages[0].title, "Error") << c.why;
        }
        EXPECT_EQ(r.port.statuses, c.statuses) << c.why;
        EXPECT_TRUE(r.state.FrameList.empty()) << c.why;
        EXPECT_EQ(r.dir.entries().size(), files.size()) << c.why;
    }
}
