// Choosing the reference star of a frame without a user's click: the
// brightest star that the lock can follow well.
#pragma once

#include <string>

#include "untStarFit.h"

struct TStarChoice {
    bool found = false;
    int x = 0, y = 0;  // the star's brightest pixel: where a user would click
    TStarFit fit;
    int peak = 0;          // its brightest pixel's value
    double nearest = -1;   // distance to the nearest comparable star; -1: none in the frame
    // The candidates looked at and why those before the chosen one (or all) were passed over.
    int candidates = 0, saturated = 0, atEdge = 0, crowded = 0, notRound = 0;
};

// The brightest local maximum well above the frame's noise that is
// unsaturated (peak below 250), at least 2 radius from every edge, without
// a comparable star (a third of its height or more) within 2 radius, and
// round (a model fit with a FWHM of 1 to radius pixels, its two axes within
// 30 % of each other) where the half-maximum lock of that radius holds.
TStarChoice PickReferenceStar(const TGreyPlane& plane, int radius);

// Why it was chosen, or why none was, in a sentence for the user.
std::string ChoiceText(const TStarChoice& choice, int radius);
