#include "untFlatAvg.h"

#include <string>
#include <vector>

#include "untBitmap.h"
#include "untFlatKernel.h"
#include "untMasterFrame.h"

namespace {

// The mean takes one byte a pixel. A 24-bit frame gets the program's own
// text; 1- and 4-bit frames, whose rows are shorter than their width, are
// told their depth, since that text seems to invite monochrome bitmaps.
std::string UnsupportedFormatText(const std::string& path, const TBitmap& bitmap) {
    if (bitmap.PixelFormat() == pf24bit) return "256 color or monochrome bitmaps are reguired.";
    const char* depth = bitmap.PixelFormat() == pf1bit   ? "1 bit per pixel"
                        : bitmap.PixelFormat() == pf4bit ? "4 bits per pixel"
                                                         : "no pixel format";
    return path + " has " + depth +
           ": only 8-bit frames can be averaged into a flat.";
}

}  // namespace

void RunCreateFlatAvg(TMainState& state, TUiPort& port, unsigned threads) {
    // The command names neither dialog: the platform's own titles say more
    // than whatever the previous command left in them.
    port.OpenDialog().Title.clear();
    port.SaveDialog().Title.clear();

    TMasterFrameCommand command;
    command.minFiles = 2;  // one frame is no average: the command ends without a word
    command.creatingText = "Creating flat ...";
    command.formatText = UnsupportedFormatText;
    command.kernel = TruncatedMeanRow;
    RunMasterFrameCommand(state, port, threads, command);
}
