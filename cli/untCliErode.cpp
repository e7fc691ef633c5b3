#include "untCliErode.h"

#include <string>

#include "untErode.h"

TCliCommand CliErode() {
    return MakeCliCommand(
        "erode", "replace outlying pixels by their neighbours' mean (overwrites its inputs)",
        "[--passes N] [--threshold T] FRAME...",
        "Removes hot pixels, noise spikes and dark specks. In each of N passes,\n"
        "every pixel off the frame's edge that differs by more than T from the mean\n"
        "of its eight neighbours (truncated to a whole number) is replaced by that\n"
        "mean; each pass works on the previous pass's result. The outermost rows\n"
        "and columns are kept. 24-bit frames are filtered blue, green and red each\n"
        "on their own.\n\n" +
            std::string(kCliOverwritesEachFrame),
        {{"passes", 0, "N", "the number of passes, a whole number of 0 or more (default 1)"},
         {"threshold", 0, "T", "how far a pixel may lie from the mean, 0 or more (default 20)"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            port.QueueString(CliWholeNumber(args, "passes", "1", 0, "a whole number of 0 or more"));
            port.QueueString(CliWholeNumber(args, "threshold", "20", 0, "a whole number of 0 or more"));
            RunErode(state, port);
        });
}
