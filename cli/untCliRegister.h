// velmora-cli register, and the star registration stack shares with it:
// locking every frame on a star (given or chosen), measuring the star in
// each, and ranking the frames by sharpness.
#pragma once

#include <vector>

#include "untAlign.h"
#include "untCliArgs.h"
#include "untStarFit.h"

TCliCommand CliRegister();

struct TStarOptions {
    bool autoStar = false;
    int x = 0, y = 0;
    int radius = 16;
    TCentroidMethod method = TCentroidMethod::HalfMax;
};

// --star (X,Y or auto), --radius and --centroid; throws ECliUsage.
TStarOptions ReadStarOptions(const TCliArgs& args);

// What registration found in one frame.
struct TFrameMeasure {
    bool locked = false;
    int x = 0, y = 0;
    double fracX = 0.0, fracY = 0.0;
    TLockReport lock;
    TStarFit fit;  // the star measured around the lock
};

// Locks the frames of a started run as Auto Register All does from a click
// on the star in the first frame (chosen there first with --star auto; the
// choice is printed). measures gets an entry per frame, locked or not.
// False after the message when no star could be chosen or a lock was lost;
// the lost frame is then named on standard error.
bool RegisterOnStar(TAlignRun& run, TCliPort& port, const TStarOptions& options, std::vector<TFrameMeasure>& measures);

// The star measured around each frame's lock (for frames locked by hand).
void MeasureLocks(const TAlignRun& run, int radius, std::vector<TFrameMeasure>& measures);

// Sharpness ranks: 1 for the smallest FWHM; frames without a measured star
// come last, in frame order.
std::vector<int> SharpnessRanks(const std::vector<TFrameMeasure>& measures);

// The P of --best: above 0 and up to 100, or ECliUsage.
double ReadBestPercent(const std::string& text);
// --best P: leaves out all but the P % of frames with the smallest FWHM
// (marking them unused, as excluding them in the window does) and prints
// which were kept.
void KeepSharpest(TAlignRun& run, double percent, const std::vector<TFrameMeasure>& measures);
