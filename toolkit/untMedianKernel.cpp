#include "untMedianKernel.h"

#include <algorithm>
#include <cstring>

#include "untSimdClones.h"

namespace {

// Pixels handled together. The stack's slice of one block (n * kBlock bytes)
// stays in the first-level cache through the eight passes below.
constexpr size_t kBlock = 128;

// The k-th smallest value v at a position is the largest c with
// count(values < c) < k. Building c bit by bit from the top takes eight
// counting passes over the stack, each a compare-and-add over many pixels at
// once; sorting each pixel's samples cannot be vectorised that way.
template <typename Count>
void MedianBlockScalar(const uint8_t* const* inputs, size_t n, size_t offset, uint8_t* out, size_t count) {
    const Count k = static_cast<Count>((n + 1) / 2);
    uint8_t prefix[kBlock] = {};
    uint8_t cand[kBlock];
    Count below[kBlock];
    for (int bit = 7; bit >= 0; --bit) {
        const uint8_t b = static_cast<uint8_t>(1u << bit);
        for (size_t p = 0; p < count; ++p) {
            cand[p] = prefix[p] | b;
            below[p] = 0;
        }
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* s = inputs[i] + offset;
            for (size_t p = 0; p < count; ++p) below[p] += static_cast<Count>(s[p] < cand[p]);
        }
        for (size_t p = 0; p < count; ++p) prefix[p] = below[p] < k ? cand[p] : prefix[p];
    }
    std::copy(prefix, prefix + count, out);
}

#if defined(__GNUC__)
// The same search on whole blocks with the compiler's vector types: the
// counters live in registers and one compare covers 32 pixels. Byte
// counters, so at most 255 frames.
typedef uint8_t VU8 __attribute__((vector_size(32)));
constexpr size_t kLanes = sizeof(VU8);
constexpr size_t kVectors = kBlock / kLanes;

VELMORA_WIDE_CLONES
void MedianBlockVector(const uint8_t* const* inputs, size_t n, size_t offset, uint8_t* out) {
    const VU8 k = VU8{} + static_cast<uint8_t>((n + 1) / 2);
    VU8 prefix[kVectors] = {};
    for (int bit = 7; bit >= 0; --bit) {
        const uint8_t b = static_cast<uint8_t>(1u << bit);
        VU8 cand[kVectors], below[kVectors];
        for (size_t v = 0; v < kVectors; ++v) {
            cand[v] = prefix[v] | b;
            below[v] = VU8{};
        }
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* s = inputs[i] + offset;
            for (size_t v = 0; v < kVectors; ++v) {
                VU8 x;
                std::memcpy(&x, s + v * kLanes, kLanes);
                below[v] -= reinterpret_cast<VU8>(x < cand[v]);  // a true lane is all ones
            }
        }
        for (size_t v = 0; v < kVectors; ++v) prefix[v] = below[v] < k ? cand[v] : prefix[v];
    }
    std::memcpy(out, prefix, kBlock);
}
#endif

}  // namespace

void LowerMedianRow(const uint8_t* const* inputs, size_t n, uint8_t* out, size_t width) {
    ForEachBlock<kBlock>(width, [&](size_t x, size_t count) {
#if defined(__GNUC__)
        if (n <= 255 && count == kBlock) return MedianBlockVector(inputs, n, x, out + x);
#endif
        if (n <= 255) MedianBlockScalar<uint8_t>(inputs, n, x, out + x, count);
        else if (n <= 65535) MedianBlockScalar<uint16_t>(inputs, n, x, out + x, count);
        else MedianBlockScalar<uint32_t>(inputs, n, x, out + x, count);
    });
}
