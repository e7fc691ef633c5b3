// Measuring a star by fitting a model to its pixels: a centre to a few
// hundredths of a pixel, its width (FWHM) and its brightness. The window
// lock of the centroid finds the star; the fit refines where it sits.
#pragma once

#include <string>

#include "untCentroid.h"

struct TStarFit {
    bool ok = false;
    // The centre in the lock's terms: pixel (i, j) is centred on (i, j).
    double x = 0.0, y = 0.0;
    double fwhmX = 0.0, fwhmY = 0.0;  // along the rows and the columns
    double fwhm = 0.0;                // their geometric mean
    double amplitude = 0.0;           // the model's height above the background
    double background = 0.0;
    int brightest = 0;                // the star's brightest pixel (the window's, when no star was found)
    int pixelsUsed = 0;               // those fitted (saturated ones are left out)
    std::string failure;              // why not ok
};

// Fits an elliptical Gaussian with a flat background, by Levenberg-
// Marquardt, to the star that (cx, cy) sits on: the local maximum reached
// uphill from there inside the (2 radius + 1)-square window, whose outer
// ring gives the background and noise. Pixels at 255 are left out: a
// saturated core would flatten the model. The fit is made on a small window
// around that maximum, then again on about two FWHM around the centre
// found, so a neighbour pulls as little as may be. Not ok (with the reason)
// when the window leaves the plane, there is no star above its noise, or
// the fit does not converge to a centre inside the window with a width
// between 0.3 pixel and the radius.
TStarFit FitStar(const TGreyPlane& plane, int cx, int cy, int radius);

// Centroid methods of the command line: the half-maximum window lock the
// window uses, or that lock refined by FitStar.
enum class TCentroidMethod { HalfMax, Refined };

// What one lock did.
struct TLockReport {
    bool refined = false;   // the fit's centre was taken
    std::string fallback;   // why the half-maximum centre was kept, when it was
};

// The lock as LockOnStar does it; with Refined, the same window is centred
// by FitStar instead (x, y become the whole pixel, fracX, fracY the parts in
// [0, 1)), and the half-maximum lock is the fallback where the fit fails
// (the reason reported). False when neither finds the star.
bool LockWithMethod(TCentroidMethod method, const TGreyPlane& plane, int radius, int& x, int& y, double& fracX,
                    double& fracY, TLockReport* report = nullptr);
