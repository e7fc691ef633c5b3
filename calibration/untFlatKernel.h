// Per-pixel truncated mean of a stack of 8-bit rows.
//
// For N values at a position the result is their sum divided by N, rounded
// toward zero: two values 10 and 11 give 10, three values 10, 11 and 12
// give 11. This is exactly the double-precision quotient truncated, whatever
// N: the sum is taken in integers, and a quotient that is not a whole number
// lies at least 1/N away from one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// out[x] = (inputs[0][x] + ... + inputs[n - 1][x]) / n for x < width.
// n must be at least 1; out may alias none of the inputs.
void TruncatedMeanRow(const uint8_t* const* inputs, size_t n, uint8_t* out, size_t width);

// The same over whole frames: row y of input i is rowOf(i, y), row y of the
// output is outRow(y). Rows are shared out among `threads` threads (0 means
// one per core); the calling thread takes part and calls progress() between
// its rows, so a window can repaint. Every byte equals the one-thread result.
void TruncatedMeanFrames(size_t n, int width, int height,
                         const std::function<const uint8_t*(size_t input, int y)>& rowOf,
                         const std::function<uint8_t*(int y)>& outRow, unsigned threads,
                         const std::function<void()>& progress);
