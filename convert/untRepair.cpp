#include "untRepair.h"

#include "untBatch.h"
#include "untRepairKernels.h"

namespace {

// Only the status line is redrawn, once a file.
void RunRepairBatch(TMainState& state, TUiPort& port, uint32_t (*kernel)(BmpRecord*)) {
    TPerFileCommand command;
    command.verb = "Stripping ";
    command.processMessages = false;
    command.operation = [&port, kernel](BmpRecord& record) { return ReportRefusal(port, kernel(&record)); };
    RunPerFileCommand(state, port, command);
}

}  // namespace

void RunStripTopAndBottom(TMainState& state, TUiPort& port) { RunRepairBatch(state, port, StripTopBottom); }

void RunStripSides(TMainState& state, TUiPort& port) { RunRepairBatch(state, port, StripSides); }

void RunVerticalBars(TMainState& state, TUiPort& port) { RunRepairBatch(state, port, FixVerticalBars); }

void RunFixEdges(TMainState& state, TUiPort& port) { RunRepairBatch(state, port, FixFrameEdges); }
