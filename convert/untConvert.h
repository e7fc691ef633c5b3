// "To FITS" and "To Grayscale": batch conversions, file by file.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

// "To FITS": writes a FITS copy of every chosen 8-bit frame beside it, named
// by FitsFileName; the bitmaps are not changed. A 24-bit frame is refused
// with "Improper file type" and nothing is written for it.
void RunToFits(TMainState& state, TUiPort& port);

// "To Grayscale": every chosen 8-bit or 24-bit frame becomes an 8-bit frame
// over a grey ramp (ConvertToGrayscale), written back over its file.
void RunToGrayscale(TMainState& state, TUiPort& port);
