// Strip and edge repair: "Strip Top and Bottom", "Strip Sides", "Vertical
// Bars" and "Fix Edges". The four share one batch: no questions, "Stripping "
// on the status line for each of them, and every frame written back over
// its input file.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

void RunStripTopAndBottom(TMainState& state, TUiPort& port);
void RunStripSides(TMainState& state, TUiPort& port);
void RunVerticalBars(TMainState& state, TUiPort& port);
void RunFixEdges(TMainState& state, TUiPort& port);
