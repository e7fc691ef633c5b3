// Rows shared among threads: every row exactly once, each worker one thread
// of its own (so per-worker scratch is never shared), row 0 first, progress
// and band 0 on the calling thread, bands cut where their contract says.
// That one thread and many give the same bytes is checked on the kernels
// that use them (StackKernels in tests/calibration, PostProcessingKernels).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

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
            ParallelRows(rows, threads, row, [&] {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                ++progress;
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
