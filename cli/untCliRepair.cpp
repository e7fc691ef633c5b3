#include "untCliRepair.h"

#include <string>

#include "untRepair.h"

namespace {

// The four ask nothing: the frames are all they take.
TCliCommand Repair(const std::string& name, const std::string& summary, const std::string& what,
                   void (*body)(TMainState&, TUiPort&)) {
    return MakeCliCommand(name, summary + " (overwrites its inputs)", "FRAME...",
                          what + "\n\n" + kCliOverwritesEachFrame, {},
                          [body](const TCliArgs&, TCliPort& port, TMainState& state) { body(state, port); });
}

}  // namespace

TCliCommand CliStripTopAndBottom() {
    return Repair("strip-top-bottom", "cut off the top 24 and bottom 8 rows",
                  "Cuts the top 24 and the bottom 8 rows off 8-bit or 24-bit frames: a 640 x 480\n"
                  "frame becomes 640 x 448. Frames of 32 rows or fewer are refused with\n"
                  "\"Improper file type\".",
                  RunStripTopAndBottom);
}

TCliCommand CliStripSides() {
    return Repair("strip-sides", "cut off the left 20 and right 6 columns",
                  "Cuts the left 20 and the right 6 columns off 8-bit or 24-bit frames: a\n"
                  "640 x 480 frame becomes 614 x 480. Frames 26 pixels wide or narrower are\n"
                  "refused with \"Improper file type\".",
                  RunStripSides);
}

TCliCommand CliVerticalBars() {
    return Repair("vertical-bars", "remove a pattern of vertical bars",
                  "Removes a column pattern: every column from the tenth on loses its mean\n"
                  "(less a local smoothing term in very dark stretches) from each pixel at\n"
                  "least that bright; no pixel goes below 0. The first nine columns are\n"
                  "never changed. 24-bit frames are worked blue, green and red each on\n"
                  "their own.",
                  RunVerticalBars);
}

TCliCommand CliFixEdges() {
    return Repair("fix-edges", "lift rows and columns darker than the dark level",
                  "Lifts rows, and then columns, whose mean lies below the frame's dark level\n"
                  "(the mean of its values below its overall mean) by their deficit, stopping\n"
                  "at 255. All other rows and columns stay as they are, and a uniform frame\n"
                  "is unchanged. 24-bit frames are worked blue, green and red each on their\n"
                  "own.",
                  RunFixEdges);
}
