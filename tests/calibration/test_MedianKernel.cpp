// The lower-median kernel: hand-picked stacks, and the counting search
// against sort-and-pick on random stacks with one thread and several.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "untMedianKernel.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes NaiveMedian(const std::vector<Bytes>& frames) {
    Bytes out(frames[0].size()), s(frames.size());
    for (size_t p = 0; p < out.size(); ++p) {
        for (size_t i = 0; i < frames.size(); ++i) s[i] = frames[i][p];
        std::sort(s.begin(), s.end());
        out[p] = s[(frames.size() + 1) / 2 - 1];
    }
    return out;
}

Bytes KernelMedian(const std::vector<Bytes>& frames, int width, int height, unsigned threads, int* progress = nullptr) {
    Bytes out(static_cast<size_t>(width) * height, 0xAA);
    LowerMedianFrames(
        frames.size(), width, height, [&](size_t i, int y) { return frames[i].data() + static_cast<size_t>(y) * width; },
        [&](int y) { return out.data() + static_cast<size_t>(y) * width; }, threads,
        [&] { if (progress) ++*progress; });
    return out;
}

}  // namespace

TEST(LowerMedian, TakesTheMiddleOrTheLowerMiddleValue) {
    EXPECT_EQ(KernelMedian({{10}, {250}, {12}}, 1, 1, 1), Bytes{12});
    EXPECT_EQ(KernelMedian({{5}, {9}, {7}, {100}}, 1, 1, 1), Bytes{7});    // even count: never the average 8
    EXPECT_EQ(KernelMedian({{128}, {127}, {129}}, 1, 1, 1), Bytes{128});  // unsigned order around the sign bit
    EXPECT_EQ(KernelMedian({{77}}, 1, 1, 1), Bytes{77});
}

TEST(LowerMedian, AgreesWithSortAndPickOnRandomStacksWithAnyNumberOfThreads) {
    std::mt19937 rng(12345);
    // Past 255 frames the byte counters give way to wider ones.
    for (size_t n : {1u, 2u, 3u, 4u, 15u, 16u, 33u, 255u, 256u, 300u}) {
        const int width = 1 + static_cast<int>(rng() % 600), height = 1 + static_cast<int>(rng() % 5);
        std::vector<Bytes> frames(n, Bytes(static_cast<size_t>(width) * height));
        // Narrow value ranges give many ties, wide ones many distinct values.
        const unsigned range = (n % 2) ? 256 : 4;
        for (auto& f : frames)
            for (auto& b : f) b = static_cast<uint8_t>(rng() % range + (range == 4 ? 126 : 0));
        int progress = 0;
        EXPECT_EQ(KernelMedian(frames, width, height, 1, &progress), NaiveMedian(frames)) << n << " x " << width;
        EXPECT_EQ(progress, height);  // once a row, on the calling thread
    }
    // A stack big enough to be shared out; odd sizes so that neither rows nor blocks divide evenly.
    const int width = 1021, height = 257;
    std::vector<Bytes> frames(9, Bytes(static_cast<size_t>(width) * height));
    for (auto& f : frames)
        for (auto& b : f) b = static_cast<uint8_t>(rng());
    const Bytes naive = NaiveMedian(frames);
    for (unsigned threads : {1u, 2u, 5u, 0u}) {
        int progress = 0;  // the calling thread takes part, so a window can repaint
        EXPECT_EQ(KernelMedian(frames, width, height, threads, &progress), naive) << threads;
        EXPECT_GT(progress, 0) << threads;
    }
}
