#include "untCliMedian.h"

#include "untMedian.h"

TCliCommand CliCreateMedian() {
    return MakeCliCommand(
        "create-median", "master dark: per-pixel median of three or more frames", "FRAME FRAME FRAME... -o OUT",
        "Builds a master frame, normally a master dark, as the per-pixel median of\n"
        "three or more 8-bit frames of the same size. For an even number of frames\n"
        "the lower of the two middle values is taken, never an average, so every\n"
        "output value is one the frames hold. The output has the first frame's\n"
        "palette; only the stored values are combined. The input files are not\n"
        "changed.",
        {{"output", 'o', "OUT", "the file to write; \".bmp\" is added when OUT has no dot"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            if (!args.Has("output")) throw ECliUsage("the output file is missing (-o OUT)");
            port.SetOutputFile(args.Value("output"));
            RunCreateMedian(state, port);
        });
}
