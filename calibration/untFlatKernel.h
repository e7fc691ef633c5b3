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

// out[x] = (inputs[0][x] + ... + inputs[n - 1][x]) / n for x < width.
// n must be at least 1; out may alias none of the inputs.
void TruncatedMeanRow(const uint8_t* const* inputs, size_t n, uint8_t* out, size_t width);
