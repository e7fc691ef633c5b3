#include "untFindHighLow.h"

#include <string>

#include "untBatch.h"
#include "untMeasure.h"

void RunFindHighAndLow(TMainState& state, TUiPort& port) {
    TPerFileCommand command;
    command.verb = "Measuring ";
    command.options = ofFileMustExist;
    command.processMessages = false;
    command.writeBack = false;  // a measurement changes no file
    command.operation = [&port](BmpRecord& record) {
        uint32_t highest = 0, lowest = 0, mean = 0;
        MeasureFrame(&record, &highest, &lowest, &mean);
        // Five rows in the dialog; the last two stay blank.
        port.Dialogs().ShowResults({{"Highest", std::to_string(highest)},
                                    {"Lowest", std::to_string(lowest)},
                                    {"Average", std::to_string(mean)},
                                    {"", ""},
                                    {"", ""}});
        return true;
    };
    RunPerFileCommand(state, port, command);
}
