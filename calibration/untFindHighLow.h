// "Find High and Low": one frame's highest, lowest and average byte.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

void RunFindHighAndLow(TMainState& state, TUiPort& port);
