// "Flat Field": light frames divided by a flat normalised to its mean level,
// each written over its own file with a grey palette.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

void RunFlatField(TMainState& state, TUiPort& port);
