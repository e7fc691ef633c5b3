#include "untFlatKernel.h"

#include <algorithm>
#include <cstring>

#include "untSimdClones.h"

namespace {

// Pixels summed together; their 16-bit sums stay in registers while the
// stack's rows stream past.
constexpr size_t kBlock = 128;
// 255 x 257 is the largest sum a 16-bit counter holds.
constexpr size_t kMaxNarrowStack = 257;

void MeanScalar(const uint8_t* const* inputs, size_t n, size_t offset, uint8_t* out, size_t count) {
    uint32_t sum[kBlock] = {};
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* s = inputs[i] + offset;
        for (size_t p = 0; p < count; ++p) sum[p] += s[p];
    }
    for (size_t p = 0; p < count; ++p) out[p] = static_cast<uint8_t>(sum[p] / n);
}

#if defined(__GNUC__)
typedef uint8_t VU8x16 __attribute__((vector_size(16)));
typedef uint8_t VU8x8 __attribute__((vector_size(8)));
typedef uint16_t VU16x16 __attribute__((vector_size(32)));
typedef uint16_t VU16x8 __attribute__((vector_size(16)));
typedef int32_t VI32x8 __attribute__((vector_size(32)));
typedef float VF32x8 __attribute__((vector_size(32)));
constexpr size_t kLanes = 16;

// The quotient in single precision is exact here: sums below 2^24 and N
// are exact floats, a whole quotient comes out whole, and any other lies
// 1/N or more from a whole number while the division errs by at most
// 256 x 2^-24.
VELMORA_WIDE_CLONES
void MeanBlockVector(const uint8_t* const* inputs, size_t n, size_t offset, uint8_t* out) {
    VU16x16 sum[kBlock / kLanes] = {};
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* s = inputs[i] + offset;
        for (size_t v = 0; v < kBlock / kLanes; ++v) {
            VU8x16 x;
            std::memcpy(&x, s + v * kLanes, sizeof x);
            sum[v] += __builtin_convertvector(x, VU16x16);
        }
    }
    const VF32x8 divisor = VF32x8{} + static_cast<float>(n);
    for (size_t v = 0; v < kBlock / kLanes; ++v) {
        for (size_t half = 0; half < 2; ++half) {
            VU16x8 h;
            std::memcpy(&h, reinterpret_cast<const uint16_t*>(&sum[v]) + half * 8, sizeof h);
            const VF32x8 q = __builtin_convertvector(__builtin_convertvector(h, VI32x8), VF32x8) / divisor;
            const VU8x8 b = __builtin_convertvector(__builtin_convertvector(q, VI32x8), VU8x8);
            std::memcpy(out + v * kLanes + half * 8, &b, sizeof b);
        }
    }
}
#endif

}  // namespace

void TruncatedMeanRow(const uint8_t* const* inputs, size_t n, uint8_t* out, size_t width) {
    ForEachBlock<kBlock>(width, [&](size_t x, size_t count) {
#if defined(__GNUC__)
        if (n <= kMaxNarrowStack && count == kBlock) return MeanBlockVector(inputs, n, x, out + x);
#endif
        MeanScalar(inputs, n, x, out + x, count);
    });
}
