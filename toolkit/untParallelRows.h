// Sharing the rows of a picture among threads, for row kernels whose rows are
// independent of each other: every row is computed by exactly one thread, so
// the bytes are those one thread gives, whatever the thread count.
//
// Two ways to share them:
//  - ParallelRows hands out single rows as threads become free (rows of
//    uneven cost balance themselves) and lets the calling thread report
//    progress after each of its rows;
//  - ParallelBands cuts the rows into contiguous bands, one per thread, for
//    kernels that carry state from one row to the next (a sliding window)
//    or whose partial results must be combined in row order.
// Both tell the body which worker (or band) it runs as, so a caller can make
// one scratch area per worker before the threads start: a thread has no way
// to report a failed allocation. Bodies must not throw.
//
// Typical use, a kernel over a picture of `rows` rows and `bytes` bytes:
//
//     const unsigned threads = ParallelThreads(requested, rows, bytes, 1u << 20);
//     std::vector<TScratch> scratch(threads);
//     ParallelRows(rows, threads, [&](int y, unsigned worker) { Kernel(y, scratch[worker]); },
//                  [&](int y) { return RowDone(port, y, rows); });
#pragma once

#include <cstdint>
#include <functional>

// The number of threads a job gets: `requested`, or one per core when it is
// 0; never more than `rows`; and 1 when the job touches fewer than
// `serialBelow` bytes, where starting threads costs more than they save.
// At least 1.
[[nodiscard]] unsigned ParallelThreads(unsigned requested, int rows, uint64_t bytes, uint64_t serialBelow);

// row(y, worker) for every y in [0, rows), each exactly once, on `threads`
// threads (1 or less: all on the calling thread; more than rows: rows).
// The calling thread is worker 0: it does row 0 before any other thread
// starts, then takes rows with the others (workers 1 .. threads - 1) until
// none is left, and calls progress(y), when given, after each row y it did
// itself, row 0 included. progress is therefore only ever called on the
// calling thread (where a window may repaint), at least once, and for a
// single thread once per row. Rows are handed out in order, so y tells how
// far the picture is. When progress returns false no row is handed out
// after it: ParallelRows returns once the rows in hand are done, leaving
// the rest undone (a stop). A thread that cannot be started leaves its
// share to the others. Returns when every row is done.
void ParallelRows(int rows, unsigned threads, const std::function<void(int y, unsigned worker)>& row,
                  const std::function<bool(int y)>& progress = {});

// band(b, firstRow, endRow) for b in [0, bands): the rows [0, rows) cut into
// `bands` contiguous bands in order (band b starts at rows * b / bands), each
// band on a thread of its own. bands is cut to [1, rows]. The calling thread
// runs band 0, and any band no thread could be started for after it.
// Returns when every band is done; nothing is called for rows <= 0.
void ParallelBands(int rows, unsigned bands, const std::function<void(unsigned band, int firstRow, int endRow)>& band);
