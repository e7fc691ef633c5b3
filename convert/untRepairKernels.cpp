#include "untRepairKernels.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "untBmpFormat.h"

namespace {

// The frame as the kernels walk it: rowBytes = width * bpp, rows top first.
struct TFrame {
    int64_t width = 0;
    int64_t height = 0;
    int bpp = 1;
    size_t rowBytes = 0;
    uint8_t* pixels = nullptr;
};

uint32_t Fail(BmpRecord* record, uint32_t code) {
    record->status = code;
    return code;
}

uint32_t CheckFrame(BmpRecord* record, TFrame& f) {
    if (!record) return BMP_BAD_POINTER;
    if (!record->infoHeader || !record->pixels) return Fail(record, BMP_BAD_POINTER);
    const BITMAPINFOHEADER& ih = *record->infoHeader;
    if ((ih.biBitCount != 8 && ih.biBitCount != 24) || ih.biWidth <= 0 || ih.biHeight <= 0)
        return Fail(record, BMP_IMPROPER_TYPE);
    f.width = ih.biWidth;
    f.height = ih.biHeight;
    f.bpp = BmpBytesPerPixel(*record);
    f.rowBytes = static_cast<size_t>(f.width) * static_cast<size_t>(f.bpp);
    f.pixels = record->pixels;
    return BMP_NO_ERROR;
}

void SetSize(BmpRecord* record, int64_t width, int64_t height, int bpp) {
    BITMAPINFOHEADER& ih = *record->infoHeader;
    ih.biWidth = static_cast<int32_t>(width);
    ih.biHeight = static_cast<int32_t>(height);
    ih.biSizeImage = static_cast<uint32_t>(width * height * bpp);
}

}  // namespace

uint32_t EnlargeFrame(BmpRecord* record, int32_t factor) {
    if (!record) return BMP_BAD_POINTER;
    if (!record->infoHeader || !record->pixels) return BMP_NO_ERROR;
    TFrame f;
    if (const uint32_t status = CheckFrame(record, f)) return status;
    if (factor < 1) return Fail(record, BMP_IMPROPER_TYPE);
    if (factor == 1) return BMP_NO_ERROR;

    const int64_t n = factor;
    const int64_t width = f.width * n, height = f.height * n;  // both below 2^62
    if (width > INT32_MAX || height > INT32_MAX) return Fail(record, BMP_NO_MEMORY);
    const uint64_t rowBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(f.bpp);
    // The codec's ceiling, so that the enlarged frame can be written and read back.
    if (BmpStride(rowBytes) * static_cast<uint64_t>(height) > kMaxRecordArrayBytes)
        return Fail(record, BMP_NO_MEMORY);
    auto* out = new (std::nothrow) uint8_t[rowBytes * static_cast<uint64_t>(height)];
    if (!out) return Fail(record, BMP_NO_MEMORY);

    const size_t b = static_cast<size_t>(f.bpp), nn = static_cast<size_t>(n);
    for (int64_t y = 0; y < f.height; ++y) {
        const uint8_t* src = f.pixels + static_cast<size_t>(y) * f.rowBytes;
        uint8_t* first = out + static_cast<size_t>(y * n) * rowBytes;
        uint8_t* d = first;
        if (b == 1) {
            for (int64_t x = 0; x < f.width; ++x, d += nn) std::memset(d, src[x], nn);
        } else {
            for (int64_t x = 0; x < f.width; ++x, src += b)
                for (size_t k = 0; k < nn; ++k, d += b) std::memcpy(d, src, b);
        }
        for (size_t k = 1; k < nn; ++k) std::memcpy(first + k * rowBytes, first, rowBytes);
    }
    delete[] record->pixels;
    record->pixels = out;
    SetSize(record, width, height, f.bpp);
    return BMP_NO_ERROR;
}

uint32_t ErodeFrame(BmpRecord* record, int32_t passes, int32_t threshold) {
    TFrame f;
    if (const uint32_t status = CheckFrame(record, f)) return status;
    if (passes <= 0 || f.width < 3 || f.height < 3) return BMP_NO_ERROR;

    const size_t bytes = f.rowBytes * static_cast<size_t>(f.height);
    auto* other = new (std::nothrow) uint8_t[bytes];
    if (!other) return Fail(record, BMP_NO_MEMORY);
    // The outermost rows and columns are never written, so both buffers must carry them.
    std::memcpy(other, f.pixels, bytes);

    // |p - m| is at most 255: any threshold above behaves as 255, and any
    // negative one as -1 (every pixel replaced). Clamping keeps p + t in range.
    const int t = std::clamp<int32_t>(threshold, -1, 255);
    const size_t b = static_cast<size_t>(f.bpp), row = f.rowBytes;
    const size_t first = b, last = row - b;  // interior bytes of a row, all channels
    uint8_t* src = f.pixels;
    uint8_t* dst = other;
    for (int32_t pass = 0; pass < passes; ++pass) {
        bool changed = false;
        for (int64_t y = 1; y < f.height - 1; ++y) {
            const uint8_t* mid = src + static_cast<size_t>(y) * row;
            const uint8_t* up = mid - row;
            const uint8_t* down = mid + row;
            uint8_t* out = dst + static_cast<size_t>(y) * row;
            for (size_t i = first; i < last; ++i) {
                const int m = (up[i - b] + up[i] + up[i + b] + mid[i - b] + mid[i + b] + down[i - b] + down[i] +
                               down[i + b]) >> 3;
                const int p = mid[i];
                const bool replace = p - t > m || p + t < m;
                out[i] = static_cast<uint8_t>(replace ? m : p);
                changed |= replace && m != p;
            }
        }
        std::swap(src, dst);
        // A round that changed nothing would be repeated identically by every later one.
        if (!changed) break;
    }
    record->pixels = src;
    delete[] dst;
    return BMP_NO_ERROR;
}

uint32_t StripTopBottom(BmpRecord* record) {
    TFrame f;
    if (const uint32_t status = CheckFrame(record, f)) return status;
    if (f.height <= 32) return Fail(record, BMP_IMPROPER_TYPE);
    // Moved in place: the buffer stays as long as it was, which only wastes
    // the 32 rows no one reads any more.
    std::memmove(f.pixels, f.pixels + 24 * f.rowBytes, static_cast<size_t>(f.height - 32) * f.rowBytes);
    SetSize(record, f.width, f.height - 32, f.bpp);
    return BMP_NO_ERROR;
}

uint32_t StripSides(BmpRecord* record) {
    TFrame f;
    if (const uint32_t status = CheckFrame(record, f)) return status;
    if (f.width <= 26) return Fail(record, BMP_IMPROPER_TYPE);
    const size_t b = static_cast<size_t>(f.bpp);
    const size_t newRow = static_cast<size_t>(f.width - 26) * b;
    // Each packed row starts no later than its source, so rows move forward safely in place.
    for (int64_t y = 0; y < f.height; ++y)
        std::memmove(f.pixels + static_cast<size_t>(y) * newRow, f.pixels + static_cast<size_t>(y) * f.rowBytes + 20 * b,
                     newRow);
    SetSize(record, f.width - 26, f.height, f.bpp);
    return BMP_NO_ERROR;
}

uint32_t FixVerticalBars(BmpRecord* record) {
    TFrame f;
    if (const uint32_t status = CheckFrame(record, f)) return status;
    const int64_t w = f.width, h = f.height;
    const size_t b = static_cast<size_t>(f.bpp);
    if (w <= 9) return BMP_NO_ERROR;  // only columns from 9 on are ever changed

    // A and S of every column, channels interleaved as in the rows: index x * b + c.
    std::vector<int64_t> amount, smooth;
    try {
        amount.assign(f.rowBytes, 0);
        smooth.assign(f.rowBytes, 0);
    } catch (const std::bad_alloc&) {
        return Fail(record, BMP_NO_MEMORY);
    }
    const size_t from = 9 * b;  // columns 0 to 8 keep A = 0
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* row = f.pixels + static_cast<size_t>(y) * f.rowBytes;
        for (size_t i = from; i < f.rowBytes; ++i) amount[i] += row[i];
    }
    for (size_t c = 0; c < b; ++c) {
        auto A = [&](int64_t x) -> int64_t& { return amount[static_cast<size_t>(x) * b + c]; };
        auto S = [&](int64_t x) -> int64_t& { return smooth[static_cast<size_t>(x) * b + c]; };
        // S comes from the column sums, before they become means.
        for (int64_t x = 3; x <= w - 4; ++x)
            S(x) = (A(x - 3) + A(x - 2) + A(x - 1) + A(x) + A(x + 1) + A(x + 2) + A(x + 3)) / 7;
        int64_t m = 256;  // smallest non-zero column mean
        for (int64_t x = 0; x < w; ++x) {
            A(x) /= h;
            if (A(x) > 0 && A(x) < m) m = A(x);
        }
        for (int64_t x = 3; x <= w - 4; ++x)
            if (S(x) >= m) S(x) -= m;
        // The last three columns have no S and keep their plain mean.
        for (int64_t x = 3; x <= w - 4; ++x)
            if (A(x) >= S(x)) A(x) -= S(x);
    }
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* row = f.pixels + static_cast<size_t>(y) * f.rowBytes;
        for (size_t i = from; i < f.rowBytes; ++i)
            if (row[i] >= amount[i]) row[i] = static_cast<uint8_t>(row[i] - amount[i]);
    }
    return BMP_NO_ERROR;
}

namespace {

// Adds (dark - mean) to every byte of a line whose mean lies below the dark
// level: p + (D - mean), truncated toward zero, at most 255.
inline void Lift(uint8_t& p, double lift) {
    const double v = p + lift;
    p = v >= 255.0 ? uint8_t{255} : static_cast<uint8_t>(v);
}

}  // namespace

uint32_t FixFrameEdges(BmpRecord* record) {
    TFrame f;
    if (const uint32_t status = CheckFrame(record, f)) return status;
    const size_t b = static_cast<size_t>(f.bpp), w = static_cast<size_t>(f.width), h = static_cast<size_t>(f.height);
    std::vector<uint64_t> columnSums;
    std::vector<double> lifts;
    try {
        columnSums.assign(f.rowBytes, 0);
        lifts.assign(f.rowBytes, 0.0);
    } catch (const std::bad_alloc&) {
        return Fail(record, BMP_NO_MEMORY);
    }

    // One histogram per channel gives the frame mean and the dark level in a
    // single pass; integer sums make both exact up to the final division.
    std::array<std::array<uint64_t, 256>, 3> histogram{};
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = f.pixels + y * f.rowBytes;
        for (size_t i = 0; i < f.rowBytes; i += b)
            for (size_t c = 0; c < b; ++c) ++histogram[c][row[i + c]];
    }
    std::array<double, 3> dark{};
    std::array<bool, 3> hasDark{};
    for (size_t c = 0; c < b; ++c) {
        uint64_t sum = 0;
        for (unsigned v = 0; v < 256; ++v) sum += v * histogram[c][v];
        const double mean = static_cast<double>(sum) / static_cast<double>(w * h);
        uint64_t belowSum = 0, belowCount = 0;
        for (unsigned v = 0; v < 256 && v < mean; ++v) {
            belowSum += v * histogram[c][v];
            belowCount += histogram[c][v];
        }
        hasDark[c] = belowCount > 0;
        if (hasDark[c]) dark[c] = static_cast<double>(belowSum) / static_cast<double>(belowCount);
    }
    if (!hasDark[0] && !hasDark[1] && !hasDark[2]) return BMP_NO_ERROR;

    // Rows first.
    for (size_t y = 0; y < h; ++y) {
        uint8_t* row = f.pixels + y * f.rowBytes;
        for (size_t c = 0; c < b; ++c) {
            if (!hasDark[c]) continue;
            uint64_t sum = 0;
            for (size_t i = c; i < f.rowBytes; i += b) sum += row[i];
            const double mean = std::min(static_cast<double>(sum) / static_cast<double>(w), dark[c]);
            const double lift = dark[c] - mean;
            if (lift > 0.0)
                for (size_t i = c; i < f.rowBytes; i += b) Lift(row[i], lift);
        }
    }

    // Then columns, over the lifted rows.
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = f.pixels + y * f.rowBytes;
        for (size_t i = 0; i < f.rowBytes; ++i) columnSums[i] += row[i];
    }
    bool anyColumn = false;
    for (size_t i = 0; i < f.rowBytes; ++i) {
        const size_t c = i % b;
        if (!hasDark[c]) continue;
        const double mean = std::min(static_cast<double>(columnSums[i]) / static_cast<double>(h), dark[c]);
        lifts[i] = dark[c] - mean;
        anyColumn |= lifts[i] > 0.0;
    }
    if (!anyColumn) return BMP_NO_ERROR;
    for (size_t y = 0; y < h; ++y) {
        uint8_t* row = f.pixels + y * f.rowBytes;
        for (size_t i = 0; i < f.rowBytes; ++i)
            if (lifts[i] > 0.0) Lift(row[i], lifts[i]);
    }
    return BMP_NO_ERROR;
}
