#include "untParallelRows.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

// Joins whatever was started, however the caller's part ends.
class TPool {
public:
    TPool() = default;
    TPool(const TPool&) = delete;
    TPool& operator=(const TPool&) = delete;
    ~TPool() {
        for (auto& t : threads_) t.join();
    }

    // False when the system has no thread to give: the caller does the work.
    template <class F>
    bool Start(F&& f) {
        try {
            threads_.emplace_back(std::forward<F>(f));
            return true;
        } catch (...) {
            return false;
        }
    }

private:
    std::vector<std::thread> threads_;
};

int BandStart(unsigned band, unsigned bands, int rows) {
    return static_cast<int>(static_cast<int64_t>(rows) * band / bands);
}

}  // namespace

unsigned ParallelThreads(unsigned requested, int rows, uint64_t bytes, uint64_t serialBelow) {
    if (rows <= 1 || bytes < serialBelow) return 1;
    const unsigned threads = requested ? requested : std::max(1u, std::thread::hardware_concurrency());
    return std::min(threads, static_cast<unsigned>(rows));
}

void ParallelRows(int rows, unsigned threads, const std::function<void(int y, unsigned worker)>& row,
                  const std::function<bool(int y)>& progress) {
    if (rows <= 0) return;
    threads = std::clamp(threads, 1u, static_cast<unsigned>(rows));
    // Row 0 first, alone: a window repaints at least once however the rows
    // are shared out later.
    row(0, 0);
    if (progress && !progress(0)) return;
    std::atomic<int> next{1};
    auto work = [&](unsigned worker) {
        for (int y; (y = next.fetch_add(1, std::memory_order_relaxed)) < rows;) {
            row(y, worker);
            // A stop: every thread finds no row left after the one in hand.
            if (worker == 0 && progress && !progress(y)) next.store(rows, std::memory_order_relaxed);
        }
    };
    TPool pool;
    for (unsigned w = 1; w < threads; ++w) pool.Start([&work, w] { work(w); });
    work(0);
}

void ParallelBands(int rows, unsigned bands, const std::function<void(unsigned band, int firstRow, int endRow)>& band) {
    if (rows <= 0) return;
    bands = std::clamp(bands, 1u, static_cast<unsigned>(rows));
    std::vector<unsigned> unstarted;
    TPool pool;
    for (unsigned b = 1; b < bands; ++b)
        if (!pool.Start([&band, b, bands, rows] { band(b, BandStart(b, bands, rows), BandStart(b + 1, bands, rows)); }))
            unstarted.push_back(b);
    band(0, 0, BandStart(1, bands, rows));
    for (unsigned b : unstarted) band(b, BandStart(b, bands, rows), BandStart(b + 1, bands, rows));
}
