#include "untErode.h"

#include "untBatch.h"
#include "untRepairKernels.h"

void RunErode(TMainState& state, TUiPort& port) {
    int32_t passes = 0, threshold = 0;
    TPerFileCommand command;
    command.verb = "Eroding ";
    command.processMessages = false;
    command.beforeFiles = [&] {
        return AskWholeNumber(port, "Iterations", "Enter number of passes (1..n)", "1", &passes) &&
               AskWholeNumber(port, "Threshhold", "Enter +/- threshhold (1..n)", "20", &threshold);
    };
    command.operation = [&](BmpRecord& record) { return ReportRefusal(port, ErodeFrame(&record, passes, threshold)); };
    RunPerFileCommand(state, port, command);
}
