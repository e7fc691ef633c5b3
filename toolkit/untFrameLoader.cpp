#include "untFrameLoader.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "untParallelRows.h"

namespace {

struct TSlot {
    std::unique_ptr<TBitmap> bitmap;
    std::exception_ptr error;
    bool done = false;
};

}  // namespace

void LoadBitmapsInOrder(const std::vector<std::string>& paths, std::vector<std::unique_ptr<TBitmap>>& out,
                        unsigned threads, const std::function<bool()>& loaded) {
    const size_t count = paths.size();
    threads = ParallelThreads(threads, static_cast<int>(count), 0, 0);
    if (threads <= 1) {
        for (const auto& path : paths) {
            auto bitmap = std::make_unique<TBitmap>();
            bitmap->LoadFromFile(path);
            out.push_back(std::move(bitmap));
            if (loaded && !loaded()) return;
        }
        return;
    }

    std::vector<TSlot> slots(count);
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;

    // Claims the next file nobody has started and loads it; false when none is left.
    auto loadOne = [&]() {
        if (stop.load()) return false;
        const size_t i = next.fetch_add(1);
        if (i >= count) return false;
        auto bitmap = std::make_unique<TBitmap>();
        std::exception_ptr error;
        try {
            bitmap->LoadFromFile(paths[i]);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            slots[i].bitmap = std::move(bitmap);
            slots[i].error = error;
            slots[i].done = true;
        }
        changed.notify_all();
        return true;
    };

    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back([&] {
            while (loadOne()) {
            }
        });
    auto finish = [&] {
        stop = true;
        for (auto& t : pool) t.join();
    };

    try {
        for (size_t i = 0; i < count; ++i) {
            // Help with the loading until file i is there.
            for (;;) {
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    if (slots[i].done) break;
                }
                if (!loadOne()) {
                    std::unique_lock<std::mutex> lock(mutex);
                    changed.wait(lock, [&] { return slots[i].done; });
                    break;
                }
            }
            TSlot& slot = slots[i];
            if (slot.error) std::rethrow_exception(slot.error);
            out.push_back(std::move(slot.bitmap));
            if (loaded && !loaded()) break;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}
