#include <string>

#include "untBmpUtil.h"
#include "untCliCalibration.h"
#include "untCorrect.h"
#include "untDarkSubtract.h"
#include "untFileNames.h"
#include "untFlatAvg.h"

namespace {

const char* const kExitStatusText =
    "Exit status: 0 when every file was processed, 1 when a file failed or the\n"
    "command was refused, 2 for a usage error. Messages go to standard error.";

}  // namespace

TCliCommand DarkSubtractCommand() {
    TCliCommand c;
    c.name = "dark-subtract";
    c.summary = "subtract or correct by a dark frame (overwrites its inputs)";
    c.synopsis = "--mode MODE --dark DARK [--yes] FRAME...";
    c.description =
        "Removes the dark frame DARK from each FRAME and WRITES THE RESULT OVER EACH\n"
        "INPUT FILE; work on copies. MODE is one of:\n\n"
        "  normal          subtract the dark, rounding to the nearest level\n"
        "  compensate      subtract the dark weighted by how the middle of the\n"
        "                  first 32 pixels of row 4 compares in the two frames\n"
        "  map-hot-pixels  subtract the dark; a pixel where the dark is above three\n"
        "                  times its mean level takes its left neighbour's value,\n"
        "                  and a light pixel of 251 or more is averaged with its\n"
        "                  left neighbour instead of losing the dark\n"
        "  new-normal      remove each pixel's deviation from the dark's mean level,\n"
        "                  so the frame keeps its overall level; hot pixels take the\n"
        "                  previous pixel's value\n"
        "  new-map         the same, treating hot pixels in bright areas by their\n"
        "                  excess over the surrounding 7 x 7 pixels\n\n"
        "normal, compensate and map-hot-pixels take 8-bit and 24-bit frames, keep each\n"
        "frame's palette and format, and first ask whether the files are copies:\n"
        "they refuse to run without --yes, which answers that question. They load\n"
        "every frame before changing any: frames whose size or kind differ from the\n"
        "dark's, or a file that cannot be loaded, end the command with nothing\n"
        "written. new-normal and new-map go file by file: a frame that cannot be\n"
        "read, or differs from the dark in size or depth, is reported and left as\n"
        "it is, and the next one is done; their output carries a grey palette.\n\n" +
        std::string(kExitStatusText);
    c.options = {{"mode", 0, "MODE", "normal, compensate, map-hot-pixels, new-normal or new-map"},
                 {"dark", 0, "DARK", "the dark frame"},
                 {"yes", 'y', "", "answer yes to \"are these copies?\" (normal, compensate, map-hot-pixels)"}};
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        if (!args.Has("mode")) throw ECliUsage("the mode is missing (--mode MODE)");
        if (!args.Has("dark")) throw ECliUsage("the dark frame is missing (--dark DARK)");
        const std::string mode = args.Value("mode");
        const std::string dark = args.Value("dark");
        int toolkitMode = 0;
        if (mode == "normal") toolkitMode = dsNormal;
        else if (mode == "compensate") toolkitMode = dsCompensate;
        else if (mode == "map-hot-pixels") toolkitMode = dsMapHotPixels;
        else if (mode != "new-normal" && mode != "new-map")
            throw ECliUsage("unknown mode '" + mode + "' (normal, compensate, map-hot-pixels, new-normal, new-map)");
        if (!FileExists(dark)) throw ECliUsage("no such file: " + dark);

        port.SetAssumeYes(args.Has("yes"));
        port.QueueOpenAnswer({dark});
        port.SetInputFiles(args.files);
        if (toolkitMode != 0) {
            state.DarkSubtractMode = toolkitMode;
            DarkSubtract(state, port);
            return;
        }
        // The window ends quietly on a dark it cannot read; a script must
        // learn that nothing was done.
        BmpRecord probe;
        probe.fileName = dark;
        const uint32_t status = ReadBmpFile(&probe);
        FreeBmpBuffers(probe);
        if (status != BMP_NO_ERROR) {
            port.MessageBox(TrimRight(BmpErrorText(status)) + ": " + dark, "Error", TMsgButtons::Ok);
            return;
        }
        if (mode == "new-normal")
            NewNormal(state, port);
        else
            NewMap(state, port);
    };
    return c;
}

TCliCommand CreateFlatCommand() {
    TCliCommand c;
    c.name = "create-flat";
    c.summary = "master flat: per-pixel mean of two or more frames";
    c.synopsis = "FRAME FRAME... -o OUT";
    c.description =
        "Builds a master flat as the per-pixel mean of two or more 8-bit frames of\n"
        "the same size: the sum of the values at each pixel divided by the number\n"
        "of frames, rounded down (10 and 11 give 10). A frame named twice counts\n"
        "twice. The output has the first frame's palette; only the stored values\n"
        "are combined. The input files are not changed.\n\n" +
        std::string(kExitStatusText);
    c.options = {{"output", 'o', "OUT", "the file to write; \".bmp\" is added when OUT has no dot"}};
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        if (!args.Has("output")) throw ECliUsage("the output file is missing (-o OUT)");
        // The window ends without a word on a single frame; a script must
        // learn that no flat was written.
        if (args.files.size() < 2) {
            port.MessageBox("A flat needs at least two frames", "Error", TMsgButtons::Ok);
            return;
        }
        port.SetInputFiles(args.files);
        port.SetOutputFile(args.Value("output"));
        CreateFlatAvg(state, port);
    };
    return c;
}
