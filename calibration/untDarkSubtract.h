// The "Dark Subtract" submenu. "Normal", "Compensate", "Map Hot Pixels": one
// dark frame subtracted from a set of light frames held as toolkit bitmaps,
// each saved back over its own file. "New Normal", "New Map": each light
// frame loses the dark's deviation from its mean level, file by file.
#pragma once

#include "untMainState.h"
#include "untUiPort.h"

enum TDarkSubtractMode : int { dsNormal = 1, dsCompensate = 2, dsMapHotPixels = 3 };

// The batch body; the mode is state.DarkSubtractMode (set by the menu
// handler). threads: for loading the frames, 0 uses every core. Errors of
// the toolkit (a file it cannot load or save) escape as EBitmapError after
// the frames are released; the caller shows them.
void DarkSubtract(TMainState& state, TUiPort& port, unsigned threads = 0);

// "New Normal": hot pixels take the previous byte.
void RunDarkSubtractNewNormal(TMainState& state, TUiPort& port);
// "New Map": the same, with hot pixels of bright areas measured against
// their surroundings instead of the dark.
void RunDarkSubtractNewMap(TMainState& state, TUiPort& port);
