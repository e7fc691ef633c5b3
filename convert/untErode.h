// "Erode": outliers replaced by the mean of their neighbours, with passes
// and threshold asked once for the batch; every frame is written back over
// its input file.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

void RunErode(TMainState& state, TUiPort& port);
