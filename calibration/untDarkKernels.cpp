#include "untDarkKernels.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "untSimdClones.h"

namespace {

inline uint8_t StoreClamped(double r, int highestLevel) {
    if (r > highestLevel) r = highestLevel;
    if (r < 0) r = 0;
    return static_cast<uint8_t>(r);
}

void Subtract64Levels(const uint8_t* dark, uint8_t* light, double factor, int width) {
    for (int x = 0; x < width; ++x) {
        double d = factor * dark[x];
        if (d > 63) d = 63;
        const double p = light[x];
        light[x] = static_cast<uint8_t>(p >= d ? 63.0 : 63.0 - (d - p));
    }
}

void SubtractMapped(const uint8_t* dark, uint8_t* light, int highestLevel, double factor, int width,
                    uint32_t mapLevel) {
    const uint64_t hotAbove = uint64_t{3} * mapLevel;
    for (int x = 0; x < width; ++x) {
        const uint8_t d = dark[x];
        const double p = light[x];
        double r;
        if (d > hotAbove)
            r = x > 0 ? light[x - 1] : static_cast<double>(mapLevel);
        else if (p >= 251.0)
            r = x > 0 ? (p + light[x - 1]) * 0.5 : p;
        else
            r = p - d * factor + 0.5;
        light[x] = StoreClamped(r, highestLevel);
    }
}

void SubtractScaled(const uint8_t* dark, uint8_t* light, int highestLevel, double factor, int width) {
    for (int x = 0; x < width; ++x) light[x] = StoreClamped(light[x] - dark[x] * factor + 0.5, highestLevel);
}

// With factor 1.0, p - d + 0.5 clamped and truncated is max(p - d, 0)
// capped at the highest level: whole bytes, so 32 pixels go at once.
VELMORA_WIDE_CLONES
void SubtractUnscaled(const uint8_t* dark, uint8_t* light, uint8_t highest, size_t width) {
    size_t x = 0;
#if defined(__GNUC__)
    typedef uint8_t VU8 __attribute__((vector_size(32)));
    const VU8 top = VU8{} + highest;
    for (; x + sizeof(VU8) <= width; x += sizeof(VU8)) {
        VU8 d, p;
        std::memcpy(&d, dark + x, sizeof d);
        std::memcpy(&p, light + x, sizeof p);
        VU8 r = (p > d ? p : d) - d;
        r = r < top ? r : top;
        std::memcpy(light + x, &r, sizeof r);
    }
#endif
    for (; x < width; ++x) {
        const int r = std::max(light[x] - dark[x], 0);
        light[x] = static_cast<uint8_t>(std::min<int>(r, highest));
    }
}

// d' is d + offset saturated at 255 (offset >= 0) or d - |offset| saturated
// at 0 (offset < 0); then p - d' saturated at 0.
VELMORA_WIDE_CLONES
void SubtractBytes24(const uint8_t* dark, uint8_t* light, bool raise, uint8_t amount, size_t count) {
    size_t i = 0;
#if defined(__GNUC__)
    typedef uint8_t VU8 __attribute__((vector_size(32)));
    const VU8 a = VU8{} + amount;
    const VU8 limit = VU8{} + static_cast<uint8_t>(255 - amount);
    const VU8 full = VU8{} + static_cast<uint8_t>(255);
    const VU8 zero = VU8{};
    for (; i + sizeof(VU8) <= count; i += sizeof(VU8)) {
        VU8 d, p;
        std::memcpy(&d, dark + i, sizeof d);
        std::memcpy(&p, light + i, sizeof p);
        const VU8 dd = raise ? (d > limit ? full : d + a) : (d > a ? d - a : zero);
        const VU8 r = (p > dd ? p : dd) - dd;
        std::memcpy(light + i, &r, sizeof r);
    }
#endif
    for (; i < count; ++i) {
        const int d = dark[i];
        const int dd = raise ? std::min(d + amount, 255) : std::max(d - amount, 0);
        light[i] = static_cast<uint8_t>(std::max(light[i] - dd, 0));
    }
}

void SortedSample(const uint8_t* row, size_t stride, uint8_t (&sample)[kCompensationSampleWidth]) {
    for (int i = 0; i < kCompensationSampleWidth; ++i) sample[i] = row[static_cast<size_t>(i) * stride];
    std::qsort(sample, kCompensationSampleWidth, 1, CompareSamples);
}

}  // namespace

TFrameDataType FrameDataType(bool rgb24, const RGBQUAD* palette, size_t entries, int* levelCount) {
    if (rgb24) {
        if (levelCount) *levelCount = 16777216;
        return TFrameDataType::Rgb24;
    }
    const size_t n = std::min<size_t>(entries, 256);
    if (levelCount) *levelCount = static_cast<int>(n);
    if (n >= 64 && palette[n - 1].rgbRed == 0 && palette[63].rgbRed == 0) {
        if (levelCount) *levelCount = 64;
        return TFrameDataType::Indexed64;
    }
    return TFrameDataType::Indexed;
}

void SubtractRow8(const uint8_t* dark, uint8_t* light, int highestLevel, double factor, int width,
                  THotPixelRule hot) {
    if (width <= 0) return;
    if (highestLevel == 63)
        Subtract64Levels(dark, light, factor, width);
    else if (hot.enabled)
        SubtractMapped(dark, light, highestLevel, factor, width, hot.mapLevel);
    else if (factor == 1.0)
        SubtractUnscaled(dark, light, static_cast<uint8_t>(std::clamp(highestLevel, 0, 255)),
                         static_cast<size_t>(width));
    else
        SubtractScaled(dark, light, highestLevel, factor, width);
}

void SubtractRow24(const uint8_t* dark, uint8_t* light, int offset, int width) {
    if (width <= 0) return;
    // Offsets past a byte's range act like the largest one: every d' is 255 (or 0).
    const long long magnitude = offset >= 0 ? offset : -static_cast<long long>(offset);
    SubtractBytes24(dark, light, offset >= 0, static_cast<uint8_t>(std::min(magnitude, 255LL)),
                    3 * static_cast<size_t>(width));
}

double CompensationFactor8(const uint8_t* darkRow, const uint8_t* lightRow) {
    uint8_t dark[kCompensationSampleWidth], light[kCompensationSampleWidth];
    SortedSample(darkRow, 1, dark);
    SortedSample(lightRow, 1, light);
    // A dark of 0 there has no ratio; the others still say how the two compare.
    double sum = 0;
    int used = 0;
    for (int i = 14; i <= 17; ++i) {
        if (dark[i] == 0) continue;
        sum += static_cast<double>(light[i]) / dark[i];
        ++used;
    }
    if (used == 0) return 1.0;
    double factor = sum / used;
    if (factor > 1.0) factor *= 0.96;
    return factor;
}

int CompensationOffset24(const uint8_t* darkRow, const uint8_t* lightRow) {
    auto trimmedMean = [](const uint8_t* row) {
        uint8_t sample[kCompensationSampleWidth];
        SortedSample(row + 1, 3, sample);  // the green byte of each pixel
        int sum = 0;
        for (int i = 1; i < kCompensationSampleWidth - 1; ++i) sum += sample[i];
        return sum / (kCompensationSampleWidth - 2);
    };
    return trimmedMean(lightRow) - trimmedMean(darkRow);
}
