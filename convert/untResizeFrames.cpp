#include "untResizeFrames.h"

#include "untBatch.h"
#include "untRepairKernels.h"

void RunResizeFrames(TMainState& state, TUiPort& port) {
    int32_t factor = 0;
    TPerFileCommand command;
    command.verb = "Resizing ";
    command.beforeFiles = [&] {
        if (!AskWholeNumber(port, "Scale Factor", "Enter a scale factor (1..n) 1 = none", "2", &factor)) return false;
        // Digits-only still lets 0 through, and an enlargement by 0 would
        // replace every frame by an empty one.
        if (factor < 1) {
            port.MessageBox("The scale factor must be 1 or more.", "Error", TMsgButtons::Ok);
            return false;
        }
        return true;
    };
    command.operation = [&](BmpRecord& record) { return ReportRefusal(port, EnlargeFrame(&record, factor)); };
    RunPerFileCommand(state, port, command);
}
