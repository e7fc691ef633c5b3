// Rows shared among threads: every row exactly once, each worker one thread
// of its own (so per-worker scratch is never shared), progress and band 0
// on the calling thread, and bands cut where their contract says. That one
// thread and many give the same bytes is checked on the kernels that use
// them (StackKernels in tests/calibration, PostProcessingKernels).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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
    EXPECT_EQ(ParallelThreads(5, 0, 100, 10), 1u);
}

TEST(ParallelRows, EveryRowOnceEachWorkerOneThreadProgressOnTheCallingThread) {
    const auto caller = std::this_thread::get_id();
    for (int rows : {1, 2, 7, 300})
        for (unsigned threads : {1u, 2u, 3u, 8u, 500u}) {
            SCOPED_TRACE(std::to_string(rows) + " rows, " + std::to_string(threads) + " threads");
            std::vector<std::atomic<int>> visits(static_cast<size_t>(rows));
            std::vector<std::thread::id> threadOf(std::min<size_t>(threads, static_cast<size_t>(rows)));
            std::mutex mutex;
            std::atomic<int> done{0}, callerRows{0};
            int zeroAt = -1, progress = 0;
            ParallelRows(
                rows, threads,
                [&](int y, unsigned worker) {
                    const int at = done++;
                    if (y == 0) zeroAt = at;
                    ++visits[static_cast<size_t>(y)];
                    if (worker == 0) ++callerRows;
                    std::lock_guard<std::mutex> lock(mutex);
                    ASSERT_LT(worker, threadOf.size());
                    if (threadOf[worker] == std::thread::id()) threadOf[worker] = std::this_thread::get_id();
                    EXPECT_EQ(threadOf[worker], std::this_thread::get_id()) << "worker " << worker;
                },
                [&] {
                    EXPECT_EQ(std::this_thread::get_id(), caller);
                    ++progress;
                });
            EXPECT_EQ(zeroAt, 0) << "row 0 comes first";
            EXPECT_EQ(threadOf[0], caller);
            EXPECT_EQ(progress, callerRows.load());
            for (int y = 0; y < rows; ++y) EXPECT_EQ(visits[static_cast<size_t>(y)], 1) << "row " << y;
        }
}

TEST(ParallelBands, ContiguousBandsInOrderBandZeroOnTheCallingThread) {
    const auto caller = std::this_thread::get_id();
    for (int rows : {1, 5, 300})
        for (unsigned bands : {0u, 1u, 2u, 3u, 7u, 400u}) {
            SCOPED_TRACE(std::to_string(rows) + " rows, " + std::to_string(bands) + " bands");
            const unsigned n = std::clamp(bands, 1u, static_cast<unsigned>(rows));
            std::vector<std::pair<int, int>> cut(n, {-1, -1});
            ParallelBands(rows, bands, [&](unsigned band, int firstRow, int endRow) {
                ASSERT_LT(band, n);
                cut[band] = {firstRow, endRow};
                if (band == 0) {
                    EXPECT_EQ(std::this_thread::get_id(), caller);
                }
            });
            for (unsigned b = 0; b < n; ++b)
                EXPECT_EQ(cut[b], (std::pair{int(int64_t{rows} * b / n), int(int64_t{rows} * (b + 1) / n)})) << b;
        }
}
