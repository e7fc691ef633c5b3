// "Create Flat (Avg)": a master flat as the per-pixel mean of 8-bit frames.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

// threads: 0 uses every core.
void RunCreateFlatAvg(TMainState& state, TUiPort& port, unsigned threads = 0);
