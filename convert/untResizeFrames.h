// "Resize Frames": frames enlarged by a whole factor, asked once for the
// batch, each written back over its input file.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

void RunResizeFrames(TMainState& state, TUiPort& port);
