// Running a row kernel over a whole stack of frames on several cores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// kernel(inputs, n, out, width) combines row y of the n inputs into row y of
// the output. Row y of input i is rowOf(i, y), of the output outRow(y).
using TStackRowKernel = void (*)(const uint8_t* const* inputs, size_t n, uint8_t* out, size_t width);

// Every row once, shared out among `threads` threads (0: one per core; small
// stacks stay on one). The calling thread does the first row before the
// others start and takes part throughout, calling progress() after each of
// its rows, so a window repaints at least once. Rows are independent, so
// every byte is what one thread gives.
void RunStackRows(size_t n, int width, int height, const std::function<const uint8_t*(size_t input, int y)>& rowOf,
                  const std::function<uint8_t*(int y)>& outRow, unsigned threads,
                  const std::function<void()>& progress, TStackRowKernel kernel);
