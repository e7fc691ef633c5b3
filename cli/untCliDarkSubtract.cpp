#include "untCliDarkSubtract.h"

#include <string>

#include "untDarkSubtract.h"
#include "untFileNames.h"

TCliCommand CliDarkSubtract() {
    return MakeCliCommand(
        "dark-subtract", "subtract or correct by a dark frame (overwrites its inputs)",
        "--mode MODE --dark DARK [--yes] FRAME...",
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
        "it is, and the next one is done; their output carries a grey palette.",
        {{"mode", 0, "MODE", "normal, compensate, map-hot-pixels, new-normal or new-map"},
         {"dark", 0, "DARK", "the dark frame"},
         {"yes", 'y', "", "answer yes to \"are these copies?\" (normal, compensate, map-hot-pixels)"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            if (!args.Has("mode")) throw ECliUsage("the mode is missing (--mode MODE)");
            if (!args.Has("dark")) throw ECliUsage("the dark frame is missing (--dark DARK)");
            const std::string mode = args.Value("mode");
            const std::string dark = args.Value("dark");
            int toolkitMode = 0;
            if (mode == "normal") toolkitMode = dsNormal;
            else if (mode == "compensate") toolkitMode = dsCompensate;
            else if (mode == "map-hot-pixels") toolkitMode = dsMapHotPixels;
            else if (mode != "new-normal" && mode != "new-map")
                throw ECliUsage("unknown mode '" + mode +
                                "' (normal, compensate, map-hot-pixels, new-normal, new-map)");
            if (!FileExists(dark)) throw ECliUsage("no such file: " + dark);

            port.SetAssumeYes(args.Has("yes"));
            port.QueueOpenAnswer({dark});
            if (toolkitMode != 0) {
                state.DarkSubtractMode = toolkitMode;
                DarkSubtract(state, port);
            } else if (ReferenceReadable(port, dark)) {
                if (mode == "new-normal")
                    RunDarkSubtractNewNormal(state, port);
                else
                    RunDarkSubtractNewMap(state, port);
            }
        });
}
