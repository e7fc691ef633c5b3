#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "untMedianKernel.h"

namespace {

// The plain rule: sort the samples and take the ((n + 1) / 2)-th smallest.
std::vector<uint8_t> NaiveMedian(const std::vector<std::vector<uint8_t>>& frames) {
    const size_t len = frames[0].size();
    std::vector<uint8_t> out(len);
    std::vector<uint8_t> s(frames.size());
    for (size_t p = 0; p < len; ++p) {
        for (size_t i = 0; i < frames.size(); ++i) s[i] = frames[i][p];
        std::sort(s.begin(), s.end());
        out[p] = s[(frames.size() + 1) / 2 - 1];
    }
    return out;
}

std::vector<uint8_t> KernelMedian(const std::vector<std::vector<uint8_t>>& frames, int width, int height,
                                  unsigned threads) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height, 0xAA);
    LowerMedianFrames(
        frames.size(), width, height, [&](size_t i, int y) { return frames[i].data() + static_cast<size_t>(y) * width; },
        [&](int y) { return out.data() + static_cast<size_t>(y) * width; }, threads, nullptr);
    return out;
}

uint8_t MedianOf(std::vector<uint8_t> v) {
    std::vector<const uint8_t*> rows;
    for (auto& x : v) rows.push_back(&x);
    uint8_t out = 0;
    LowerMedianRow(rows.data(), rows.size(), &out, 1);
    return out;
}

}  // namespace

TEST(LowerMedian, TakesTheMiddleOrTheLowerMiddleValue) {
    EXPECT_EQ(MedianOf({10, 250, 12}), 12);
    EXPECT_EQ(MedianOf({100, 130, 140}), 130);
    EXPECT_EQ(MedianOf({5, 9, 7, 100}), 7);  // even count: never the average 8
    EXPECT_EQ(MedianOf({255, 0}), 0);
    EXPECT_EQ(MedianOf({77}), 77);
    EXPECT_EQ(MedianOf({0, 0, 0}), 0);
    EXPECT_EQ(MedianOf({255, 255, 255, 255}), 255);
    EXPECT_EQ(MedianOf({128, 127, 129}), 128);  // unsigned order around the sign bit
    EXPECT_EQ(MedianOf({200, 100, 150, 250, 50, 0}), 100);
}

TEST(LowerMedian, AgreesWithSortAndPickOnRandomStacks) {
    std::mt19937 rng(12345);
    for (size_t n : {1u, 2u, 3u, 4u, 5u, 8u, 15u, 16u, 31u, 32u, 33u, 254u, 255u, 256u, 257u, 300u}) {
        const int width = 1 + static_cast<int>(rng() % 600), height = 1 + static_cast<int>(rng() % 5);
        std::vector<std::vector<uint8_t>> frames(n, std::vector<uint8_t>(static_cast<size_t>(width) * height));
        // Narrow value ranges give many ties, wide ones many distinct values.
        const unsigned range = (n % 2) ? 256 : 4;
        for (auto& f : frames)
            for (auto& b : f) b = static_cast<uint8_t>(rng() % range + (range == 4 ? 126 : 0));
        EXPECT_EQ(KernelMedian(frames, width, height, 1), NaiveMedian(frames)) << "n=" << n << " width=" << width;
    }
}

TEST(LowerMedian, ThreadsGiveTheSameBytesAsOneThread) {
    std::mt19937 rng(7);
    const int width = 1021, height = 257;  // odd sizes: blocks and rows that do not divide evenly
    for (size_t n : {6u, 9u}) {
        std::vector<std::vector<uint8_t>> frames(n, std::vector<uint8_t>(static_cast<size_t>(width) * height));
        for (auto& f : frames)
            for (auto& b : f) b = static_cast<uint8_t>(rng());
        const auto one = KernelMedian(frames, width, height, 1);
        EXPECT_EQ(one, NaiveMedian(frames));
        EXPECT_EQ(KernelMedian(frames, width, height, 2), one);
        EXPECT_EQ(KernelMedian(frames, width, height, 5), one);
        EXPECT_EQ(KernelMedian(frames, width, height, 0), one);
    }
}

TEST(LowerMedian, CallsProgressOnTheCallingThreadAndTouchesOnlyItsRows) {
    const int width = 3, height = 4;
    std::vector<std::vector<uint8_t>> frames = {std::vector<uint8_t>(12, 1), std::vector<uint8_t>(12, 2),
                                                std::vector<uint8_t>(12, 3)};
    int calls = 0;
    std::vector<uint8_t> out(12, 0);
    LowerMedianFrames(
        3, width, height, [&](size_t i, int y) { return frames[i].data() + y * width; },
        [&](int y) { return out.data() + y * width; }, 1, [&] { ++calls; });
    EXPECT_EQ(calls, height);
    EXPECT_EQ(out, std::vector<uint8_t>(12, 2));
}
