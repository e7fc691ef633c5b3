#include "untStarFit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <Eigen/Core>
#include <unsupported/Eigen/NonLinearOptimization>

namespace {

constexpr double kSigmaToFwhm = 2.3548200450309493;  // 2 sqrt(2 ln 2)

struct TSample {
    double x, y, v;
};

// The window's pixels below saturation, with the background and noise of
// its outer ring (median and scaled median deviation).
struct TWindow {
    std::vector<TSample> samples;
    double background = 0.0;
    double noise = 0.0;
    int brightest = 0;
    double bx = 0.0, by = 0.0;  // where the brightest pixel is
};

double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    const auto mid = v.begin() + static_cast<long>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

bool ReadWindow(const TGreyPlane& plane, int cx, int cy, int r, TWindow& w) {
    if (r < 2 || cx - r < 0 || cy - r < 0 || cx + r >= plane.width || cy + r >= plane.height) return false;
    if (plane.pixels.size() < static_cast<size_t>(plane.width) * static_cast<size_t>(plane.height)) return false;
    std::vector<double> ring;
    w.samples.clear();
    w.brightest = -1;
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x) {
            const int v = plane.at(x, y);
            if (v > w.brightest) {
                w.brightest = v;
                w.bx = x;
                w.by = y;
            }
            if (std::abs(x - cx) == r || std::abs(y - cy) == r) ring.push_back(v);
            if (v < 255) w.samples.push_back({double(x), double(y), double(v)});
        }
    w.background = Median(ring);
    for (double& v : ring) v = std::abs(v - w.background);
    w.noise = std::max(1.4826 * Median(ring), 0.5);
    return true;
}

// The residuals of B + A exp(-(dx² / 2 sx² + dy² / 2 sy²)) over the samples.
struct TGaussianResiduals {
    using Scalar = double;
    enum { InputsAtCompileTime = Eigen::Dynamic, ValuesAtCompileTime = Eigen::Dynamic };
    using InputType = Eigen::VectorXd;
    using ValueType = Eigen::VectorXd;
    using JacobianType = Eigen::MatrixXd;

    const std::vector<TSample>& samples;
    int inputs() const { return 6; }
    int values() const { return static_cast<int>(samples.size()); }

    int operator()(const Eigen::VectorXd& p, Eigen::VectorXd& r) const {
        const double ax = 0.5 / (p[4] * p[4]), ay = 0.5 / (p[5] * p[5]);
        for (size_t k = 0; k < samples.size(); ++k) {
            const double dx = samples[k].x - p[2], dy = samples[k].y - p[3];
            r[static_cast<long>(k)] = p[0] + p[1] * std::exp(-(ax * dx * dx + ay * dy * dy)) - samples[k].v;
        }
        return 0;
    }
    int df(const Eigen::VectorXd& p, Eigen::MatrixXd& j) const {
        const double sx2 = p[4] * p[4], sy2 = p[5] * p[5];
        for (size_t k = 0; k < samples.size(); ++k) {
            const auto row = static_cast<long>(k);
            const double dx = samples[k].x - p[2], dy = samples[k].y - p[3];
            const double e = std::exp(-(0.5 * dx * dx / sx2 + 0.5 * dy * dy / sy2));
            const double ae = p[1] * e;
            j(row, 0) = 1.0;
            j(row, 1) = e;
            j(row, 2) = ae * dx / sx2;
            j(row, 3) = ae * dy / sy2;
            j(row, 4) = ae * dx * dx / (sx2 * p[4]);
            j(row, 5) = ae * dy * dy / (sy2 * p[5]);
        }
        return 0;
    }
};

// One Levenberg-Marquardt fit from p; false when it did not converge.
bool Fit(const std::vector<TSample>& samples, Eigen::VectorXd& p) {
    if (samples.size() < 12) return false;
    TGaussianResiduals residuals{samples};
    Eigen::LevenbergMarquardt<TGaussianResiduals> lm(residuals);
    lm.parameters.maxfev = 400;
    const auto status = lm.minimize(p);
    using namespace Eigen::LevenbergMarquardtSpace;
    const bool converged = status == RelativeReductionTooSmall || status == RelativeErrorTooSmall ||
                           status == RelativeErrorAndReductionTooSmall || status == CosinusTooSmall ||
                           status == XtolTooSmall || status == FtolTooSmall || status == GtolTooSmall;
    return converged && p.allFinite();
}

}  // namespace

TStarFit FitStar(const TGreyPlane& plane, int cx, int cy, int radius) {
    TStarFit fit;
    TWindow w;
    if (!ReadWindow(plane, cx, cy, radius, w)) {
        fit.failure = "the window leaves the frame";
        return fit;
    }
    fit.brightest = w.brightest;
    fit.background = w.background;
    const double height = w.brightest - w.background;
    if (height < std::max(5.0 * w.noise, 3.0)) {
        fit.failure = "no star above the noise";
        return fit;
    }

    // The star the search point sits on: uphill from the window's centre, on
    // the picture smoothed over 3 x 3 pixels so that noise makes no false
    // summits, so a brighter neighbour elsewhere in the window is not taken
    // for it.
    auto smoothed = [&](int x, int y) {
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) sum += plane.at(x + dx, y + dy);
        return sum;
    };
    int px = cx, py = cy;
    for (bool moved = true; moved;) {
        int bx = px, by = py, best = smoothed(px, py);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = px + dx, y = py + dy;
                if (std::abs(x - cx) >= radius || std::abs(y - cy) >= radius) continue;
                if (const int v = smoothed(x, y); v > best) bx = x, by = y, best = v;
            }
        moved = bx != px || by != py;
        px = bx;
        py = by;
    }
    // The brightest pixel of that summit's 3 x 3.
    for (int dy = -1, sx = px, sy = py; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (plane.at(sx + dx, sy + dy) > plane.at(px, py)) px = sx + dx, py = sy + dy;
    fit.brightest = plane.at(px, py);
    const double top = plane.at(px, py) - w.background;
    if (top < std::max(5.0 * w.noise, 3.0)) {
        fit.failure = "no star at the search point";
        return fit;
    }

    // First on a small window around that maximum, then on about two FWHM
    // around the centre found, where a neighbour pulls least.
    Eigen::VectorXd p(6);
    p << w.background, top, double(px), double(py), 1.5, 1.5;
    const std::vector<TSample>* used = nullptr;
    TWindow first, second;
    if (!ReadWindow(plane, px, py, std::min(radius, 6), first) || !Fit(first.samples, p)) {
        fit.failure = "the fit did not converge";
        return fit;
    }
    used = &first.samples;
    const double reach = 2.0 * kSigmaToFwhm * std::max(std::abs(p[4]), std::abs(p[5]));
    if (std::isfinite(reach) && std::isfinite(p[2]) && std::isfinite(p[3])) {
        const int r2 = std::clamp(static_cast<int>(std::ceil(reach)), 3, radius);
        Eigen::VectorXd q = p;
        if (ReadWindow(plane, static_cast<int>(std::lround(p[2])), static_cast<int>(std::lround(p[3])), r2, second) &&
            Fit(second.samples, q)) {
            p = q;
            used = &second.samples;
        }
    }

    const double sx = std::abs(p[4]), sy = std::abs(p[5]);
    if (!(p[1] >= 3.0 * w.noise)) {
        fit.failure = "the fitted star is lost in the noise";
    } else if (!(std::abs(p[2] - cx) <= radius && std::abs(p[3] - cy) <= radius)) {
        fit.failure = "the fitted centre lies outside the window";
    } else if (!(sx >= 0.3 && sy >= 0.3 && sx <= radius && sy <= radius)) {
        fit.failure = "the fitted width is not a star's";
    } else {
        fit.ok = true;
    }
    fit.x = p[2];
    fit.y = p[3];
    fit.fwhmX = kSigmaToFwhm * sx;
    fit.fwhmY = kSigmaToFwhm * sy;
    fit.fwhm = std::sqrt(fit.fwhmX * fit.fwhmY);
    fit.amplitude = p[1];
    fit.background = p[0];
    fit.pixelsUsed = static_cast<int>(used->size());
    return fit;
}

bool LockWithMethod(TCentroidMethod method, const TGreyPlane& plane, int radius, int& x, int& y, double& fracX,
                    double& fracY, TLockReport* report) {
    TLockReport local;
    TLockReport& r = report ? *report : local;
    r = TLockReport{};
    if (method == TCentroidMethod::HalfMax) return LockOnStar(plane, radius, x, y, fracX, fracY);
    // The same window as the half-maximum lock, which stays the fallback.
    if (!(radius < x && x < plane.width - radius && radius < y && y < plane.height - radius))
        return LockOnStar(plane, radius, x, y, fracX, fracY);
    const TStarFit fit = FitStar(plane, x, y, radius);
    if (!fit.ok) {
        r.fallback = fit.failure;
        return LockOnStar(plane, radius, x, y, fracX, fracY);
    }
    const double fx = std::floor(fit.x), fy = std::floor(fit.y);
    x = static_cast<int>(fx);
    y = static_cast<int>(fy);
    fracX = fit.x - fx;
    fracY = fit.y - fy;
    r.refined = true;
    return true;
}
