// The run shared by the commands that build one master frame from a series
// (Create Median, Create Flat (Avg)): open the frames, load them all into
// FrameList (index 0 the output, a load of the first file; 1..N the
// inputs), check sizes and formats, combine them row by row, ask for a
// name and save the output with the first frame's palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "untBitmap.h"
#include "untMainState.h"
#include "untUiPort.h"

// kernel(inputs, n, out, width) combines one row of each of the n inputs
// into that row of the output (LowerMedianRow, TruncatedMeanRow).
using TStackRowKernel = void (*)(const uint8_t* const* inputs, size_t n, uint8_t* out, size_t width);

// Row y of output combined by kernel from row y of every input, for every
// row; the inputs and the output are 8-bit frames of one size. The rows are
// shared among `threads` threads (0: one per core), but a stack under a
// megabyte stays on the calling thread, which calls progress() after each
// of its rows. Every byte is what one thread gives.
void CombineStackRows(const std::vector<const TBitmap*>& inputs, TBitmap& output, unsigned threads,
                      TStackRowKernel kernel, const std::function<bool(int y)>& progress = {});

struct TMasterFrameCommand {
    size_t minFiles = 1;
    std::string tooFewText;     // shown titled "Error" when fewer are chosen; empty: end silently
    std::string creatingText;   // the status while the frames are combined
    // The message for a frame that is not 8-bit palettised.
    std::function<std::string(const std::string& path, const TBitmap& frame)> formatText;
    TStackRowKernel kernel = nullptr;
};

// Errors of the toolkit (a file it cannot load or save) escape after the
// frames are released; the status line keeps its text. threads: 0 uses
// every core, for loading and for combining.
void RunMasterFrameCommand(TMainState& state, TUiPort& port, unsigned threads, const TMasterFrameCommand& command);
