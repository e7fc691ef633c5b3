#include "untPrescaleKernels.h"

#include <algorithm>
#include <array>

namespace {

using TByteTable = std::array<uint8_t, 256>;

// Every byte of a frame goes through the same formula, so the formula is
// worked out once per value and the frame only looks its bytes up: the very
// same doubles, a fraction of the work.
void ApplyTable(uint8_t* pixels, size_t count, const TByteTable& table) {
    for (size_t i = 0; i < count; ++i) pixels[i] = table[pixels[i]];
}

// Stores v as a byte by truncation; v is already at most 255.
uint8_t TruncToByte(double v) {
    // "!(v >= 0)" also catches NaN, whose conversion would be undefined.
    if (!(v >= 0.0)) return 0;
    return static_cast<uint8_t>(v);
}

enum class TBackground { Wide, SmartWide };

void Stretch(BmpRecord* record, TBackground kind) {
    if (!record || !record->infoHeader || !record->pixels) return;
    uint8_t* const pixels = record->pixels;
    const size_t count = RecordByteCount(*record);
    if (count == 0) return;

    // Everything the stretch needs of the frame is in its histogram; integer
    // sums are exact, the same values the double sums of the rule hold.
    std::array<uint64_t, 256> histogram{};
    for (size_t i = 0; i < count; ++i) ++histogram[pixels[i]];
    int highest = 0;
    uint64_t sum = 0;
    for (int v = 0; v < 256; ++v) {
        if (histogram[v] == 0) continue;
        highest = v;
        sum += histogram[v] * static_cast<uint64_t>(v);
    }
    const double mean = static_cast<double>(sum) / static_cast<double>(count);
    const int m = static_cast<int>(mean);
    uint64_t belowSum = 0, belowCount = 0;
    for (int v = 0; v < m; ++v) {
        belowSum += histogram[v] * static_cast<uint64_t>(v);
        belowCount += histogram[v];
    }
    if (belowCount == 0) return;
    const double belowMean = static_cast<double>(belowSum) / static_cast<double>(belowCount);

    int background = 0;
    if (kind == TBackground::Wide) {
        background = static_cast<int>(belowMean);
        if (background == 0) background = 4;
    } else {
        background = static_cast<int>(std::max(belowMean - 2.0, 2.0));
    }
    int range = highest - background;
    if (range < 0) return;
    if (range == 0) range = 1;
    const double scale = 255.0 / range;

    TByteTable table;
    for (int p = 0; p < 256; ++p) {
        double v = (p - background) * scale;
        if (v < 0.0) v = 0.0;
        if (v > 255.0) v = 255.0;
        table[p] = TruncToByte(v);
    }
    ApplyTable(pixels, count, table);
}

}  // namespace

uint32_t ScaleBmpRecord(BmpRecord* record, double factor) {
    if (!record || !record->infoHeader || !record->pixels) return BMP_BAD_POINTER;
    TByteTable table;
    for (int p = 0; p < 256; ++p) {
        double v = p * factor + 0.5;
        if (v > 254.5) v = 255.0;
        table[p] = TruncToByte(v);
    }
    ApplyTable(record->pixels, BmpPixelBytes(*record), table);
    return BMP_NO_ERROR;
}

void StretchWide(BmpRecord* record) { Stretch(record, TBackground::Wide); }

void StretchSmartWide(BmpRecord* record) { Stretch(record, TBackground::SmartWide); }
