#include "untCliResizeFrames.h"

#include <string>

#include "untResizeFrames.h"

TCliCommand CliResizeFrames() {
    return MakeCliCommand(
        "resize", "enlarge frames by a whole factor (overwrites its inputs)", "[--factor N] FRAME...",
        "Enlarges 8-bit or 24-bit frames by the whole factor N: every pixel becomes\n"
        "an N x N block of its own value. Factor 1 leaves the frames as they are.\n"
        "A frame whose enlargement would not fit a bitmap file (2 GiB of pixels)\n"
        "is refused with \"Memory allocation failed\".\n\n" +
            std::string(kCliOverwritesEachFrame),
        {{"factor", 0, "N", "the scale factor, a whole number of 1 or more (default 2)"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            port.QueueString(CliWholeNumber(args, "factor", "2", 1, "a whole number of 1 or more"));
            RunResizeFrames(state, port);
        });
}
