// Rows shared among threads: every row exactly once, each worker one thread
// of its own (so per-worker scratch is never shared), row 0 first, progress
// and band 0 on the calling thread, bands cut where their contract says.
// That one thread and many give the same bytes is checked on the kernels
// that use them (StackKernels in tests/calibration, PostProcessingKernels).
// Frames load in parallel but land in the order chosen, and the first bad
// file in that order ends the load, whatever the number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "untFrameLoader.h"
#include "untParallelRows.h"

TEST(ParallelThreads, OnePerCoreByDefaultNeverMoreThanRowsAndOneForSmallJobs) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(ParallelThreads(0, 1000, 100, 10), std::min(cores, 1000u));
    EXPECT_EQ(ParallelThreads(5, 1000, 10, 10), 5u);
    EXPECT_EQ(ParallelThreads(5, 3, 100, 10), 3u);
    EXPECT_EQ(ParallelThreads(5, 1000, 9, 10), 1u);
}

TEST(ParallelRows, EveryRowOnceRowsByWorkerAndBandsInOrder) {
    const auto caller = std::this_thread::get_id();
    for (int rows : {1, 2, 7, 300})
        for (unsigned threads : {0u, 1u, 2u, 3u, 8u, 500u}) {
            SCOPED_TRACE(std::to_string(rows) + " rows, " + std::to_string(threads) + " threads");
            const unsigned n = std::clamp(threads, 1u, static_cast<unsigned>(rows));
            std::vector<std::atomic<int>> visits(static_cast<size_t>(rows));
            std::vector<std::thread::id> threadOf(n);
            std::mutex mutex;
            std::atomic<int> done{0}, callerRows{0};
            int zeroAt = -1, progress = 0;
            auto row = [&](int y, unsigned worker) {
                if (y == 0) zeroAt = done;
                ++done;
                ++visits[static_cast<size_t>(y)];
                if (worker == 0) ++callerRows;
                std::lock_guard<std::mutex> lock(mutex);
                ASSERT_LT(worker, n);
                if (threadOf[worker] == std::thread::id()) threadOf[worker] = std::this_thread::get_id();
                EXPECT_EQ(threadOf[worker], std::this_thread::get_id()) << "worker " << worker;
                std::this_thread::sleep_for(std::chrono::microseconds(20));  // long enough for every thread to join in
            };
            ParallelRows(rows, threads, row, [&](int) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                ++progress;
                return true;
            });
            EXPECT_EQ(zeroAt, 0) << "row 0 comes first";
            EXPECT_EQ(threadOf[0], caller);
            EXPECT_EQ(progress, callerRows.load());

            std::vector<std::pair<int, int>> cut(n, {-1, -1});
            ParallelBands(rows, threads, [&](unsigned band, int firstRow, int endRow) {
                ASSERT_LT(band, n);
                cut[band] = {firstRow, endRow};
                for (int y = firstRow; y < endRow; ++y) ++visits[static_cast<size_t>(y)];
                if (band == 0) {
                    EXPECT_EQ(std::this_thread::get_id(), caller);
                }
            });
            for (unsigned b = 0; b < n; ++b)
                EXPECT_EQ(cut[b], (std::pair{int(int64_t{rows} * b / n), int(int64_t{rows} * (b + 1) / n)})) << b;
            for (int y = 0; y < rows; ++y) EXPECT_EQ(visits[static_cast<size_t>(y)], 2) << "row " << y;
        }
}

TEST(ParallelRows, AStopLeavesTheRowsAfterTheOnesInHand) {
    for (unsigned threads : {1u, 2u, 4u}) {
        std::vector<std::atomic<int>> visits(1000);
        ParallelRows(
            1000, threads,
            [&](int y, unsigned) {
                ++visits[static_cast<size_t>(y)];
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            },
            [](int y) { return y < 10; });
        int done = 0;
        for (auto& v : visits) {
            EXPECT_LE(v, 1);
            done += v;
        }
        // Every row handed out before the caller's first row at 10 or beyond
        // is finished; the rest is left.
        EXPECT_GE(done, 11) << threads;
        if (threads == 1) {
            EXPECT_EQ(done, 11);
        }
        EXPECT_LT(done, 500) << threads;
    }
}

TEST(FrameLoader, AppendsInOrderAndStopsAtTheFirstBadFileWithAnyNumberOfThreads) {
    vt::TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 23; ++i) {
        const int width = 3 + i % 4;  // a different size each, so the order shows
        paths.push_back(dir.file("f" + std::to_string(i) + ".bmp"));
        vt::WriteBytes(paths.back(), vt::BuildBmp({.width = width, .height = 2,
                                                   .pixels = std::vector<uint8_t>(width * 2, uint8_t(i)),
                                                   .paletteBGRA = {}}));
    }
    std::vector<std::string> bad = paths;
    bad[5] = dir.file("bad5.bmp");
    bad[9] = dir.file("bad9.bmp");
    vt::WriteBytes(bad[5], {'B', 'M'});
    vt::WriteBytes(bad[9], {'n', 'o'});
    for (unsigned threads : {1u, 2u, 3u, 0u}) {
        std::vector<std::unique_ptr<TBitmap>> out;
        out.push_back(std::make_unique<TBitmap>());  // what was there stays first
        size_t calls = 0;
        LoadBitmapsInOrder(paths, out, threads, [&] {
            ++calls;
            EXPECT_EQ(out.size(), calls + 1);  // called after each append, one at a time
            return true;
        });
        ASSERT_EQ(out.size(), paths.size() + 1);
        EXPECT_EQ(calls, paths.size());
        for (size_t i = 0; i < paths.size(); ++i) {
            EXPECT_EQ(out[i + 1]->Width(), static_cast<int>(3 + i % 4)) << threads << " threads";
            EXPECT_EQ(*out[i + 1]->ScanLine(1), i);
        }
        out.clear();
        LoadBitmapsInOrder(paths, out, threads, [&] { return out.size() < 5; });
        EXPECT_EQ(out.size(), 5u) << "a stop appends nothing more";
        out.clear();
        EXPECT_NE(vt::ErrorOf([&] { LoadBitmapsInOrder(bad, out, threads, nullptr); }).find("bad5.bmp"), std::string::npos);
        EXPECT_EQ(out.size(), 5u) << threads << " threads";
    }
}
