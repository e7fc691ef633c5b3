// Per-pixel lower median of a stack of 8-bit rows.
//
// For N values at a position the result is the ((N + 1) / 2)-th smallest
// (1-based, integer division): the middle value for odd N, the lower of the
// two middle values for even N, never an average, so it is always one of the
// input values. Values are compared as unsigned bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// out[x] = lower median of inputs[0][x] .. inputs[n - 1][x] for x < width.
// n must be at least 1; out may alias none of the inputs.
void LowerMedianRow(const uint8_t* const* inputs, size_t n, uint8_t* out, size_t width);
