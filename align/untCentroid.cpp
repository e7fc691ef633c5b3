#include "untCentroid.h"

#include <algorithm>
#include <array>

double HalfMaxCentre(const double* p, int n) {
    // Five-sample smoothing with folded ends needs a sample beyond each end
    // of the peak range; nine is the smallest window a radius gives.
    if (!p || n < 9) return -1.0;
    double m = 100000.0;
    for (int i = 0; i < n; ++i) m = std::min(m, p[i]);
    std::vector<double> q(static_cast<size_t>(n)), s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) q[i] = p[i] - m;
    for (int i = 2; i <= n - 3; ++i) s[i] = q[i - 2] + q[i - 1] + q[i] + q[i + 1] + q[i + 2];
    s[0] = 3.0 * q[0] + q[1] + q[2];
    s[1] = 2.0 * q[1] + q[0] + q[2] + q[3];
    s[n - 1] = 3.0 * q[n - 1] + q[n - 2] + q[n - 3];
    s[n - 2] = 2.0 * q[n - 2] + q[n - 1] + q[n - 3] + q[n - 4];

    double peak = 0.0;
    for (int i = 2; i <= n - 3; ++i) peak = std::max(peak, s[i]);
    const double half = peak * 0.5;

    int left = 0;
    while (left < n && !(s[left] >= half)) ++left;
    if (left == n) return -1.0;
    int right = 0;
    for (int k = left; k < n; ++k) {
        if (s[k] < half) {
            right = k - 1;
            break;
        }
    }
    if (left >= right) return -1.0;

    const double eL = s[left] - half;
    const double eR = s[right] - half;
    const double d = eL + eR;
    if (d == 0.0) return -1.0;
    return left + (right - left) * 0.5 + 0.5 * eR / d - 0.5 * eL / d;
}

TGreyPlane GreyPlaneOf(const TBitmap& frame) {
    TGreyPlane plane;
    const TPixelFormat format = frame.PixelFormat();
    if (frame.Empty() || (format != pf8bit && format != pf24bit)) return plane;
    plane.width = frame.Width();
    plane.height = frame.Height();
    const auto width = static_cast<size_t>(plane.width);
    plane.pixels.resize(width * static_cast<size_t>(plane.height));
    for (int y = 0; y < plane.height; ++y) {
        const uint8_t* row = frame.ScanLine(y);
        uint8_t* out = plane.pixels.data() + static_cast<size_t>(y) * width;
        if (format == pf8bit) {
            std::copy_n(row, width, out);
            continue;
        }
        for (size_t x = 0; x < width; ++x, row += 3) out[x] = static_cast<uint8_t>((row[0] + row[1] + row[2]) / 3);
    }
    return plane;
}

bool LockOnStar(const TGreyPlane& plane, int radius, int& x, int& y, double& fracX, double& fracY) {
    if (radius < 1 || radius > kMaxRadius) return false;
    if (plane.pixels.size() < static_cast<size_t>(plane.width) * static_cast<size_t>(plane.height)) return false;
    if (!(radius < x && x < plane.width - radius && radius < y && y < plane.height - radius)) return false;

    const int n = 2 * radius + 1;
    std::array<double, 2 * kMaxRadius + 1> columns{}, rows{};
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const double v = plane.at(x - radius + j, y - radius + i);
            columns[j] += v;
            rows[i] += v;
        }
    }
    const double cx = HalfMaxCentre(columns.data(), n);
    const double cy = HalfMaxCentre(rows.data(), n);
    // Written to fail on NaN as well.
    if (!(cx >= 0.0) || !(cy >= 0.0)) {
        fracX = fracY = -1.0;
        return false;
    }
    const int ix = static_cast<int>(cx);
    const int iy = static_cast<int>(cy);
    x = x - radius + ix;
    y = y - radius + iy;
    fracX = cx - ix;
    fracY = cy - iy;
    return true;
}

void DrawCrosshair(TBitmap& frame, int x, int y) {
    const TPixelFormat format = frame.PixelFormat();
    const size_t pixelBytes = format == pf8bit ? 1 : format == pf24bit ? 3 : 0;
    if (pixelBytes == 0 || frame.Empty()) return;
    if (x >= 0 && x < frame.Width()) {
        const size_t column = static_cast<size_t>(x) * pixelBytes;
        for (int row = 0; row < frame.Height(); ++row)
            for (size_t b = 0; b < pixelBytes; ++b) frame.ScanLine(row)[column + b] ^= 0xFF;
    }
    if (y >= 0 && y < frame.Height()) {
        uint8_t* row = frame.ScanLine(y);
        const size_t bytes = static_cast<size_t>(frame.Width()) * pixelBytes;
        for (size_t i = 0; i < bytes; ++i) row[i] ^= 0xFF;
    }
}

void StretchBitmap(TBitmap& frame, int factor) {
    // Past 255 every lit byte saturates anyway; the clamp keeps the product
    // in range for any factor.
    const int f = std::clamp(factor, 0, 255);
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>(std::min(v * f, 255));
    for (int y = 0; y < frame.Height(); ++y) {
        uint8_t* row = frame.ScanLine(y);
        for (size_t i = 0; i < frame.RowBytes(); ++i) row[i] = table[row[i]];
    }
}
