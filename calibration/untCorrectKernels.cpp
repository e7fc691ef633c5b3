#include "untCorrectKernels.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "untBmpCopy.h"

namespace {

std::unique_ptr<double[]> AllocateMap(size_t n) { return std::unique_ptr<double[]>(new (std::nothrow) double[n]); }

uint64_t ByteSum(const uint8_t* p, size_t n) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += p[i];
    return sum;
}

// m[i] = rule(byte i, mean level) over the record's bytes; null for an
// empty record or when the map cannot be allocated.
template <class Rule>
std::unique_ptr<double[]> MapOf(const BmpRecord& record, Rule rule) {
    const size_t n = RecordByteCount(record);
    if (n == 0) return nullptr;
    auto map = AllocateMap(n);
    if (!map) return nullptr;
    const double mean = RecordMeanLevel(record);
    for (size_t i = 0; i < n; ++i) map[i] = rule(record.pixels[i], mean);
    return map;
}

struct TMapLevels {
    double maxDev = 0.0;
    double avgDev = 0.0;
};

// Summed in buffer order: the maps of these commands hold whole numbers, so
// the sum is exact, but a hand-made map gets the same sum as the plain loop.
TMapLevels LevelsOf(const double* map, size_t n) {
    TMapLevels l;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        if (map[i] > l.maxDev) l.maxDev = map[i];
        sum += map[i];
    }
    l.avgDev = sum / static_cast<double>(n);
    return l;
}

}  // namespace

uint32_t RecordMeanLevel(const BmpRecord& record) {
    const size_t n = RecordByteCount(record);
    return n ? static_cast<uint32_t>(ByteSum(record.pixels, n) / n) : 0;
}

std::unique_ptr<double[]> DeviationMap(const BmpRecord& dark) {
    return MapOf(dark, [](uint8_t p, double mean) { return p - mean; });
}

void ApplyDeviationMap(BmpRecord& light, const double* map) {
    const size_t n = RecordByteCount(light);
    if (n == 0) return;
    const TMapLevels l = LevelsOf(map, n);
    const double threshold = (l.maxDev - l.avgDev) * 0.66 + l.avgDev;
    uint8_t* px = light.pixels;
    // One pass in buffer order: a hot pixel takes its neighbour's value as
    // already corrected, so the bytes cannot be done independently.
    for (size_t i = 0; i < n; ++i) {
        const double m = map[i];
        if (m == 0.0) continue;
        const double q = px[i] - m;
        if (m > 0.0) {
            if (m < threshold && q > 0.0)
                px[i] = static_cast<uint8_t>(q);
            else if (i > 0)
                px[i] = px[i - 1];
        } else {
            px[i] = q >= 255.4 ? 255 : static_cast<uint8_t>(q);
        }
    }
}

uint32_t ApplyMapWithLocalMean(BmpRecord& light, const double* map) {
    const size_t n = RecordByteCount(light);
    if (n == 0) return BMP_NO_ERROR;
    const int w = light.infoHeader->biWidth;
    const int h = light.infoHeader->biHeight;

    TOwnedBmpRecord local;
    if (local.Create(w, h, BmpBytesPerPixel(light)) != BMP_NO_ERROR) return BMP_NO_MEMORY;
    if (CopyBmpRecord(*local, light) != BMP_NO_ERROR) return BMP_NO_MEMORY;
    BoxMean(*local, light, 3);

    auto copy = AllocateMap(n);
    if (!copy) return BMP_NO_MEMORY;
    std::memcpy(copy.get(), map, n * sizeof(double));
    const TMapLevels l = LevelsOf(map, n);
    const double mapThreshold = (l.maxDev - l.avgDev) * 0.5 + l.avgDev;
    const uint8_t* mean = local->pixels;
    for (int y = 3; y <= h - 5; ++y) {
        for (int x = 3; x <= w - 5; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            // A hot pixel in a bright area would be corrected by the dark's
            // full deviation, far more than it stands above its surroundings.
            if (map[i] > mapThreshold && mean[i] > 248) copy[i] = light.pixels[i] - mean[i];
        }
    }
    ApplyDeviationMap(light, copy.get());
    return BMP_NO_ERROR;
}

void BoxMean(BmpRecord& destination, const BmpRecord& source, int r) {
    if (!destination.infoHeader || !destination.pixels || !source.pixels || r < 0) return;
    const int64_t w = destination.infoHeader->biWidth;
    const int64_t h = destination.infoHeader->biHeight;
    const int64_t first = int64_t(r) + 1;
    const int64_t lastY = h - r - 2;
    const int64_t lastX = w - r - 2;
    if (lastY < first || lastX < first) return;
    const uint64_t area = uint64_t(2 * int64_t(r) + 1) * uint64_t(2 * int64_t(r) + 1);
    const uint8_t* src = source.pixels;
    auto row = [&](int64_t y) { return src + y * w; };

    // Column sums over the rows of the square, slid down one row at a time;
    // each window then slides along its row, so every sum is exact and a
    // pixel costs a few additions whatever the radius.
    std::vector<uint64_t> column(static_cast<size_t>(w), 0);
    for (int64_t y = first - r; y <= first + r; ++y)
        for (int64_t x = 0; x < w; ++x) column[x] += row(y)[x];
    for (int64_t y = first; y <= lastY; ++y) {
        if (y > first) {
            const uint8_t* in = row(y + r);
            const uint8_t* out = row(y - r - 1);
            for (int64_t x = 0; x < w; ++x) column[x] = column[x] + in[x] - out[x];
        }
        uint64_t sum = 0;
        for (int64_t x = first - r; x <= first + r; ++x) sum += column[x];
        uint8_t* dst = destination.pixels + y * w;
        for (int64_t x = first; x <= lastX; ++x) {
            if (x > first) sum = sum + column[x + r] - column[x - r - 1];
            dst[x] = static_cast<uint8_t>(sum / area);
        }
    }
}

bool FlatGainUsable(const BmpRecord& flat) {
    const size_t n = RecordByteCount(flat);
    return RecordMeanLevel(flat) > 0 || ByteSum(flat.pixels, n) == 0;
}

std::unique_ptr<double[]> FlatGainMap(const BmpRecord& flat) {
    return MapOf(flat, [](uint8_t p, double mean) { return p > 0 ? p / mean : 1.0; });
}

void DivideByGainMap(BmpRecord& light, const double* gain) {
    const size_t n = RecordByteCount(light);
    uint8_t* px = light.pixels;
    for (size_t i = 0; i < n; ++i) {
        const double q = px[i] / gain[i];
        px[i] = static_cast<uint8_t>(q > 255.0 ? 255.0 : q);
    }
}
