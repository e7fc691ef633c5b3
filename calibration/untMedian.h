// "Create Median": a master frame (normally a master dark) as the per-pixel
// lower median of three or more 8-bit frames of equal size.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

// The whole command, from the open dialog to the saved file. threads: 0 uses
// every core. Errors of the toolkit (a file it cannot load or save) escape
// as EBitmapError after the frames are released; the caller shows them.
void RunCreateMedian(TMainState& state, TUiPort& port, unsigned threads = 0);
