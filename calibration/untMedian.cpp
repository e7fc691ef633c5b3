#include "untMedian.h"

#include "untMasterFrame.h"
#include "untMedianKernel.h"

void RunCreateMedian(TMainState& state, TUiPort& port, unsigned threads) {
    TMasterFrameCommand command;
    command.minFiles = 3;
    command.tooFewText = "A minimum of three files is required for a median";
    command.creatingText = "Creating median...";
    command.formatText = [](const std::string&, const TBitmap&) {
        return std::string("256 color or monochrome bitmaps are reguired.");
    };
    command.kernel = LowerMedianRow;
    RunMasterFrameCommand(state, port, threads, command);
}
