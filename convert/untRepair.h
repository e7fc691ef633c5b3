// The repair commands: "Resize Frames", "Erode", "Strip Top and Bottom",
// "Strip Sides", "Vertical Bars" and "Fix Edges". Each works file by file
// and writes every frame back over its input file.
#pragma once

#include <cstdint>
#include <string>

#include "untMainState.h"
#include "untUiPort.h"

void ResizeFrames(TMainState& state, TUiPort& port);
void ErodeFrames(TMainState& state, TUiPort& port);
void StripTopAndBottom(TMainState& state, TUiPort& port);
void StripFrameSides(TMainState& state, TUiPort& port);
void RemoveVerticalBars(TMainState& state, TUiPort& port);
void FixEdges(TMainState& state, TUiPort& port);

// A whole number as the number prompts take it: an optional sign and
// decimal digits, nothing else, within 32 bits. False (value untouched) otherwise.
bool ReadWholeNumber(const std::string& text, int32_t* value);
