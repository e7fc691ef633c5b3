#include "untCliRepair.h"

#include <string>

#include "untRepair.h"

namespace {

const char* const kExitStatus =
    "Exit status: 0 when every file was processed, 1 when a file failed, 2 for\n"
    "a usage error. Messages go to standard error.";

const char* const kOverwrites =
    "WRITES THE RESULT OVER EACH INPUT FILE; work on copies. A frame that cannot\n"
    "be read or is refused is reported and left untouched, and the next one is\n"
    "processed.";

// The window's prompt turns any text it cannot read into 2; a script gets a
// usage error instead of a silent default.
std::string WholeNumber(const TCliArgs& args, const std::string& option, const std::string& fallback, int32_t least,
                        const std::string& meaning) {
    const std::string text = args.Value(option, fallback);
    int32_t value = 0;
    if (!ReadWholeNumber(text, &value) || value < least)
        throw ECliUsage("--" + option + " must be " + meaning + " (got '" + text + "')");
    return text;
}

TCliCommand Repair(const std::string& name, const std::string& summary, const std::string& what,
                   void (*body)(TMainState&, TUiPort&)) {
    TCliCommand c;
    c.name = name;
    c.summary = summary + " (overwrites its inputs)";
    c.synopsis = "FRAME...";
    c.description = what + "\n\n" + kOverwrites + "\n\n" + kExitStatus;
    c.minFiles = 1;
    c.run = [body](const TCliArgs& args, TCliPort& port, TMainState& state) {
        port.SetInputFiles(args.files);
        body(state, port);
    };
    return c;
}

}  // namespace

TCliCommand ResizeCommand() {
    TCliCommand c;
    c.name = "resize";
    c.summary = "enlarge frames by a whole factor (overwrites its inputs)";
    c.synopsis = "[--factor N] FRAME...";
    c.description =
        "Enlarges 8-bit or 24-bit frames by the whole factor N: every pixel becomes\n"
        "an N x N block of its own value. Factor 1 leaves the frames as they are.\n"
        "A frame whose enlargement would not fit a bitmap file (2 GiB of pixels)\n"
        "is refused with \"Memory allocation failed\".\n\n" +
        std::string(kOverwrites) + "\n\n" + kExitStatus;
    c.options = {{"factor", 0, "N", "the scale factor, a whole number of 1 or more (default 2)"}};
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        port.QueueString(WholeNumber(args, "factor", "2", 1, "a whole number of 1 or more"));
        port.SetInputFiles(args.files);
        ResizeFrames(state, port);
    };
    return c;
}

TCliCommand ErodeCommand() {
    TCliCommand c;
    c.name = "erode";
    c.summary = "replace outlying pixels by their neighbours' mean (overwrites its inputs)";
    c.synopsis = "[--passes N] [--threshold T] FRAME...";
    c.description =
        "Removes hot pixels, noise spikes and dark specks. In each of N passes,\n"
        "every pixel off the frame's edge that differs by more than T from the mean\n"
        "of its eight neighbours (truncated to a whole number) is replaced by that\n"
        "mean; each pass works on the previous pass's result. The outermost rows\n"
        "and columns are kept. 24-bit frames are filtered blue, green and red each\n"
        "on their own.\n\n" +
        std::string(kOverwrites) + "\n\n" + kExitStatus;
    c.options = {{"passes", 0, "N", "the number of passes, a whole number of 0 or more (default 1)"},
                 {"threshold", 0, "T", "how far a pixel may lie from the mean, 0 or more (default 20)"}};
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        port.QueueString(WholeNumber(args, "passes", "1", 0, "a whole number of 0 or more"));
        port.QueueString(WholeNumber(args, "threshold", "20", 0, "a whole number of 0 or more"));
        port.SetInputFiles(args.files);
        ErodeFrames(state, port);
    };
    return c;
}

TCliCommand StripTopBottomCommand() {
    return Repair("strip-top-bottom", "cut off the top 24 and bottom 8 rows",
                  "Cuts the top 24 and the bottom 8 rows off 8-bit or 24-bit frames: a 640 x 480\n"
                  "frame becomes 640 x 448. Frames of 32 rows or fewer are refused with\n"
                  "\"Improper file type\".",
                  StripTopAndBottom);
}

TCliCommand StripSidesCommand() {
    return Repair("strip-sides", "cut off the left 20 and right 6 columns",
                  "Cuts the left 20 and the right 6 columns off 8-bit or 24-bit frames: a\n"
                  "640 x 480 frame becomes 614 x 480. Frames 26 pixels wide or narrower are\n"
                  "refused with \"Improper file type\".",
                  StripFrameSides);
}

TCliCommand VerticalBarsCommand() {
    return Repair("vertical-bars", "remove a pattern of vertical bars",
                  "Removes a column pattern: every column from the tenth on loses its mean\n"
                  "(less a local smoothing term in very dark stretches) from each pixel at\n"
                  "least that bright; no pixel goes below 0. The first nine columns are\n"
                  "never changed. 24-bit frames are worked blue, green and red each on\n"
                  "their own.",
                  RemoveVerticalBars);
}

TCliCommand FixEdgesCommand() {
    return Repair("fix-edges", "lift rows and columns darker than the dark level",
                  "Lifts rows, and then columns, whose mean lies below the frame's dark level\n"
                  "(the mean of its values below its overall mean) by their deficit, stopping\n"
                  "at 255. All other rows and columns stay as they are, and a uniform frame\n"
                  "is unchanged. 24-bit frames are worked blue, green and red each on their\n"
                  "own.",
                  FixEdges);
}
