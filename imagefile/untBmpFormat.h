// What the two bitmap codecs share: the frame record's (untBmpUtil) and the
// toolkit's general one (untBmpCodec). The layout rules of the file format,
// the size limits, the grey ramp and the positioned reads. The codecs differ
// in how they report trouble (status codes there, a sentence here), so the
// helpers only say what happened and leave the reporting to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "untBmpUtil.h"

// The most pixel memory one picture may take: 2 GiB. Frames of today's
// cameras take a few tens of megabytes; a header that claims more is damaged
// or describes a picture this program has no business holding in memory.
inline constexpr uint64_t kMaxPixelBytes = uint64_t{1} << 31;
// A frame record's padded pixel array stays below that: the kernels index a
// record with int, and bfSize (the array plus 1078) must fit 32 bits.
inline constexpr uint64_t kMaxRecordArrayBytes = kMaxPixelBytes - 1;

// Bytes of an unpadded row of `width` pixels of `bits` bits each, the last
// byte counted when it is only partly used.
constexpr uint64_t BmpRowBytes(uint64_t width, uint64_t bits) { return (width * bits + 7) / 8; }
// A row as a file stores it: padded to a multiple of four bytes.
constexpr uint64_t BmpStride(uint64_t rowBytes) { return (rowBytes + 3) / 4 * 4; }

// Little-endian fields of a file image.
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// `entries` greys spread evenly from black to white (at most 256; one entry
// is black). With 256, entry i is grey i: a pixel value is its own intensity.
void FillGreyRamp(RGBQUAD* palette, int entries = 256);
std::vector<RGBQUAD> GreyRamp(int entries = 256);

// Reads up to size bytes from offset of an open file, going on after
// interrupted and partial reads. False on a read error, with errno saying
// which; otherwise *got is the count read, short of size only where the file
// ends.
[[nodiscard]] bool ReadAt(int fd, void* buffer, size_t size, uint64_t offset, size_t* got);
