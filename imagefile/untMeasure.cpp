#include "untMeasure.h"

#include <algorithm>

void MeasureFrame(const BmpRecord* record, uint32_t* highest, uint32_t* lowest, uint32_t* mean) {
    if (!record || !record->infoHeader || !record->pixels) return;
    const size_t count = RecordByteCount(*record);
    uint8_t hi = 0, lo = 255;
    // Integer sums are exact here (count < 2^31, bytes < 256), the same
    // value a double would hold.
    uint64_t sum = 0;
    const uint8_t* p = record->pixels;
    for (size_t i = 0; i < count; ++i) {
        hi = std::max(hi, p[i]);
        lo = std::min(lo, p[i]);
        sum += p[i];
    }
    if (count == 0) lo = 0;
    if (highest) *highest = hi;
    if (lowest) *lowest = lo;
    if (mean) *mean = count ? static_cast<uint32_t>(static_cast<double>(sum) / static_cast<double>(count)) : 0;
}
