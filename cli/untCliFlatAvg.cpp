#include "untCliFlatAvg.h"

#include "untFlatAvg.h"

TCliCommand CliCreateFlatAvg() {
    return MakeCliCommand(
        "create-flat", "master flat: per-pixel mean of two or more frames", "FRAME FRAME... -o OUT",
        "Builds a master flat as the per-pixel mean of two or more 8-bit frames of\n"
        "the same size: the sum of the values at each pixel divided by the number\n"
        "of frames, rounded down (10 and 11 give 10). A frame named twice counts\n"
        "twice. The output has the first frame's palette; only the stored values\n"
        "are combined. The input files are not changed.",
        {{"output", 'o', "OUT", "the file to write; \".bmp\" is added when OUT has no dot"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            if (!args.Has("output")) throw ECliUsage("the output file is missing (-o OUT)");
            // The window ends without a word on a single frame; a script must
            // learn that no flat was written.
            if (args.files.size() < 2) {
                port.MessageBox("A flat needs at least two frames", "Error", TMsgButtons::Ok);
                return;
            }
            port.SetOutputFile(args.Value("output"));
            RunCreateFlatAvg(state, port);
        });
}
