#include "untStarPick.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct TPeak {
    int x, y, v;
};

// The frame's sky level and noise from a sample of its pixels (median and
// scaled median deviation), which stars and a galaxy hardly move.
void SkyAndNoise(const TGreyPlane& plane, double& sky, double& noise) {
    std::vector<int> sample;
    const size_t n = plane.pixels.size(), step = std::max<size_t>(1, n / 200000);
    for (size_t i = 0; i < n; i += step) sample.push_back(plane.pixels[i]);
    auto median = [](std::vector<int>& v) {
        const auto mid = v.begin() + static_cast<long>(v.size() / 2);
        std::nth_element(v.begin(), mid, v.end());
        return static_cast<double>(*mid);
    };
    sky = median(sample);
    for (int& v : sample) v = std::abs(v - static_cast<int>(sky));
    noise = std::max(1.4826 * median(sample), 0.5);
}

// The summits of the picture smoothed over 3 x 3 pixels (noise on a
// star's flank makes no summit of its own there): pixels whose 3 x 3 sum is
// above `threshold`, larger than those of their left and upper neighbours
// and at least those of the others, one per flat top. Each is placed on the
// brightest pixel of its 3 x 3, with that pixel's value.
std::vector<TPeak> Summits(const TGreyPlane& plane, int threshold) {
    const int w = plane.width, h = plane.height;
    std::vector<int> sum(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    auto at = [&](int x, int y) -> int& { return sum[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)]; };
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            int s = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) s += plane.at(x + dx, y + dy);
            at(x, y) = s;
        }
    std::vector<TPeak> peaks;
    for (int y = 2; y + 2 < h; ++y)
        for (int x = 2; x + 2 < w; ++x) {
            const int v = at(x, y);
            if (v < threshold) continue;
            if (v <= at(x - 1, y) || v <= at(x - 1, y - 1) || v <= at(x, y - 1) || v <= at(x + 1, y - 1)) continue;
            if (v < at(x + 1, y) || v < at(x - 1, y + 1) || v < at(x, y + 1) || v < at(x + 1, y + 1)) continue;
            TPeak peak{x, y, plane.at(x, y)};
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (plane.at(x + dx, y + dy) > peak.v) peak = {x + dx, y + dy, plane.at(x + dx, y + dy)};
            peaks.push_back(peak);
        }
    std::stable_sort(peaks.begin(), peaks.end(), [](const TPeak& a, const TPeak& b) { return a.v > b.v; });
    return peaks;
}

}  // namespace

TStarChoice PickReferenceStar(const TGreyPlane& plane, int radius) {
    TStarChoice choice;
    if (plane.width <= 4 * radius || plane.height <= 4 * radius) return choice;
    double sky = 0, noise = 0;
    SkyAndNoise(plane, sky, noise);
    // A 3 x 3 sum has three times the noise of a pixel.
    const int threshold = static_cast<int>(std::ceil(9.0 * sky + std::max(24.0 * noise, 30.0)));
    const std::vector<TPeak> peaks = Summits(plane, threshold);
    // The brightest few hundred are enough to find a star among; the rest
    // still count as neighbours.
    const size_t looked = std::min<size_t>(peaks.size(), 400);
    const double reach = 2.0 * radius;
    for (size_t i = 0; i < looked; ++i) {
        const TPeak& c = peaks[i];
        ++choice.candidates;
        if (c.v >= 250) {
            ++choice.saturated;
            continue;
        }
        if (c.x < 2 * radius || c.y < 2 * radius || c.x >= plane.width - 2 * radius ||
            c.y >= plane.height - 2 * radius) {
            ++choice.atEdge;
            continue;
        }
        const double height = c.v - sky;
        double nearest = -1;
        for (const TPeak& o : peaks) {
            if (&o == &c || o.v - sky < height / 3.0) continue;
            const double d = std::hypot(o.x - c.x, o.y - c.y);
            if (nearest < 0 || d < nearest) nearest = d;
        }
        if (nearest >= 0 && nearest < reach) {
            ++choice.crowded;
            continue;
        }
        const TStarFit fit = FitStar(plane, c.x, c.y, radius);
        int lx = c.x, ly = c.y;
        double fx = 0, fy = 0;
        const bool round = fit.ok && fit.fwhm >= 1.0 && fit.fwhm <= radius &&
                           std::max(fit.fwhmX, fit.fwhmY) <= 1.3 * std::min(fit.fwhmX, fit.fwhmY) &&
                           LockOnStar(plane, radius, lx, ly, fx, fy);
        if (!round) {
            ++choice.notRound;
            continue;
        }
        choice.found = true;
        choice.x = c.x;
        choice.y = c.y;
        choice.fit = fit;
        choice.peak = c.v;
        choice.nearest = nearest;
        return choice;
    }
    return choice;
}

std::string ChoiceText(const TStarChoice& c, int radius) {
    char text[512];
    if (c.found) {
        char nearest[64] = "no comparable star in the frame";
        if (c.nearest >= 0) std::snprintf(nearest, sizeof nearest, "the nearest comparable star %.0f px away", c.nearest);
        std::snprintf(text, sizeof text,
                      "the star at %d,%d: unsaturated (peak %d), round (FWHM %.2f x %.2f px), isolated (%s, %d "
                      "needed) and at least %d px from the edges; %d brighter candidates were passed over (%d "
                      "saturated, %d near an edge, %d crowded, %d not round)",
                      c.x, c.y, c.peak, c.fit.fwhmX, c.fit.fwhmY, nearest, 2 * radius, 2 * radius, c.candidates - 1,
                      c.saturated, c.atEdge, c.crowded, c.notRound);
    } else {
        std::snprintf(text, sizeof text,
                      "no star fit to lock on with radius %d: of %d candidates %d are saturated (peak 250 or "
                      "more), %d closer than %d px to an edge, %d have a comparable star within %d px and %d are "
                      "not round stars",
                      radius, c.candidates, c.saturated, c.atEdge, 2 * radius, c.crowded, 2 * radius, c.notRound);
    }
    return text;
}
