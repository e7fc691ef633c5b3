#include "untStackRows.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

void RunStackRows(size_t n, int width, int height, const std::function<const uint8_t*(size_t input, int y)>& rowOf,
                  const std::function<uint8_t*(int y)>& outRow, unsigned threads,
                  const std::function<void()>& progress, TStackRowKernel kernel) {
    if (n == 0 || width <= 0 || height <= 0) return;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    // Below about a megabyte of stack the threads cost more than they save.
    if (n * static_cast<size_t>(width) * static_cast<size_t>(height) < (1u << 20)) threads = 1;
    threads = std::min<unsigned>(threads, static_cast<unsigned>(height));

    auto doRow = [&](std::vector<const uint8_t*>& rows, int y) {
        for (size_t i = 0; i < n; ++i) rows[i] = rowOf(i, y);
        kernel(rows.data(), n, outRow(y), static_cast<size_t>(width));
    };
    std::atomic<int> nextRow{1};
    auto work = [&](bool caller) {
        std::vector<const uint8_t*> rows(n);
        for (int y; (y = nextRow.fetch_add(1, std::memory_order_relaxed)) < height;) {
            doRow(rows, y);
            if (caller && progress) progress();
        }
    };
    {
        std::vector<const uint8_t*> rows(n);
        doRow(rows, 0);
        if (progress) progress();
    }
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, false);
    work(true);
    for (auto& t : pool) t.join();
}
