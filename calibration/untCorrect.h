// Corrections of light frames by a reference frame, file by file through the
// frame record: "New Normal", "New Map" (a dark's deviation from its mean)
// and "Flat Field" (a flat normalised to its mean).
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

void NewNormal(TMainState& state, TUiPort& port);
void NewMap(TMainState& state, TUiPort& port);
void FlatField(TMainState& state, TUiPort& port);
