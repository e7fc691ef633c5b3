// Wide-vector clones of a hot loop. A function marked VELMORA_WIDE_CLONES is
// compiled twice, for AVX2 and for the plain x86-64 baseline, and the loader
// picks the clone the processor can run: the program still starts on any
// x86-64 machine, yet the 32-byte vector types of the row kernels become
// single instructions where AVX2 is there. Both clones compute the same
// bytes; only their speed differs.
//
// Only GCC builds for x86-64 are cloned. The sanitizer build is not: the
// loader runs the clone chooser before the sanitizer runtime is ready.
#pragma once

#include <algorithm>
#include <cstddef>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define VELMORA_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_WIDE_CLONES
#endif

// Walks a row of `width` pixels in blocks of Block: block(x, count) for the
// pixels from x on, count == Block for all but a shorter last block, which
// a vector kernel leaves to its scalar twin.
template <size_t Block, class F>
inline void ForEachBlock(size_t width, F&& block) {
    for (size_t x = 0; x < width; x += Block) block(x, std::min(Block, width - x));
}
