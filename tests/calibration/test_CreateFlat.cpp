// "Create Flat (Avg)": the truncated-mean kernel against the double rule, and
// the command end to end through the scripted port. Its refusals share the
// table of "Create Median", which runs the same way.
#include <gtest/gtest.h>

#include <random>

#include "CalibrationSession.h"
#include "untFlatAvg.h"
#include "untFlatKernel.h"

using namespace vc;

namespace {

Bytes KernelMean(const std::vector<Bytes>& frames, int width, int height, unsigned threads, int* progress = nullptr) {
    Bytes out(static_cast<size_t>(width) * height, 0xAA);
    auto rowOf = [&](size_t i, int y) { return frames[i].data() + static_cast<size_t>(y) * width; };
    TruncatedMeanFrames(frames.size(), width, height, rowOf,
                        [&](int y) { return out.data() + static_cast<size_t>(y) * width; }, threads,
                        [&] { if (progress) ++*progress; });
    return out;
}

}  // namespace

TEST(TruncatedMean, RoundsDownAndAgreesWithTheDoubleRuleOnRandomStacks) {
    EXPECT_EQ(KernelMean({{10}, {11}}, 1, 1, 1), Bytes{10});
    EXPECT_EQ(KernelMean({{10}, {11}, {12}}, 1, 1, 1), Bytes{11});

    std::mt19937 rng(7);
    // Past 257 frames the 16-bit sums give way to wider ones.
    for (size_t n : {1u, 2u, 3u, 32u, 256u, 257u, 258u, 300u}) {
        // 32 frames of 600 x 64 are stack enough for the rows to be shared among threads.
        const int width = n == 32 ? 600 : 1 + static_cast<int>(rng() % 700);
        const int height = n == 32 ? 64 : 1 + static_cast<int>(rng() % 4);
        std::vector<Bytes> frames(n, Bytes(static_cast<size_t>(width) * height));
        // Odd counts and those past 256 hold only 255s, the largest sums; the
        // others random values, every remainder.
        for (auto& f : frames)
            for (auto& v : f) v = n % 2 || n > 256 ? 255 : static_cast<uint8_t>(rng());
        const Bytes one = KernelMean(frames, width, height, 1);
        for (size_t p = 0; p < one.size(); ++p) {
            double sum = 0;
            for (const auto& f : frames) sum += f[p];
            ASSERT_EQ(one[p], static_cast<uint8_t>(sum / static_cast<double>(n))) << n << " frames, pixel " << p;
        }
        int progress = 0;  // the calling thread takes part, so a window can repaint
        EXPECT_EQ(KernelMean(frames, width, height, 3, &progress), one) << n << " frames";
        EXPECT_GT(progress, 0);
    }
}

TEST(CreateFlat, AveragesTheFramesIntoANewFileWithTheFirstFramesPalette) {
    Session r;
    const auto a = r.Frame("a.bmp", 2, {10, 0}, 8, Grey(256, 1, true));
    const auto b = r.Frame("b.bmp", 2, {11, 255});
    r.port.open().Title = "Select Images to correct";  // left there by an earlier command
    r.port.AnswerOpen({a, b, a});                       // a file chosen twice counts twice
    r.port.AnswerSave(r.dir.file("flat"));
    RunCreateFlatAvg(r.state, r.port);

    EXPECT_EQ(r.port.statuses, (Texts{"Loading input files...", "Validating input files...", "Creating flat ...", "",
                                      "Saving output file...", "Cleaning up...", "Idle"}));
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.open().Title, "");
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    RGBQUAD entry{};
    EXPECT_EQ(r.Pixels(r.dir.file("flat.bmp"), &entry, 10), (Bytes{10, 85}));
    EXPECT_EQ(entry.rgbRed, 245);
    EXPECT_EQ(r.dir.entries().size(), 3u);  // the inputs are not changed, nothing else is left
}
