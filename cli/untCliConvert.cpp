#include "untCliConvert.h"

#include <string>

#include "untConvert.h"
#include "untRename.h"

namespace {

const char* const kExitStatus =
    "Exit status: 0 when every file was processed, 1 when a file failed or the\n"
    "command was refused, 2 for a usage error. Messages go to standard error.";

}  // namespace

TCliCommand ToFitsCliCommand() {
    TCliCommand c;
    c.name = "to-fits";
    c.summary = "write a FITS copy of each frame beside it";
    c.synopsis = "FRAME...";
    c.description =
        "Writes each 8-bit frame as a FITS file (16-bit integers, one primary\n"
        "header) in the frame's folder. The FITS name is the frame's file name up\n"
        "to its first dot, followed by \".fts\": m51.bmp gives m51.fts, m51.v2.bmp\n"
        "also gives m51.fts (a later frame of the same stem replaces it). An\n"
        "existing FITS file of that name is replaced. 24-bit frames are refused\n"
        "with \"Improper file type\". The frames themselves are not changed.\n\n" +
        std::string(kExitStatus);
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        port.SetInputFiles(args.files);
        ToFits(state, port);
    };
    return c;
}

TCliCommand ToGrayscaleCliCommand() {
    TCliCommand c;
    c.name = "to-grayscale";
    c.summary = "turn frames into 8-bit grey frames (overwrites its inputs)";
    c.synopsis = "FRAME...";
    c.description =
        "Turns each 8-bit or 24-bit frame into an 8-bit frame over a plain grey\n"
        "palette and WRITES THE RESULT OVER EACH INPUT FILE; work on copies. An\n"
        "8-bit frame takes the red part of each pixel's palette colour (a grey\n"
        "frame keeps its values); a 24-bit frame takes the blue byte of each pixel.\n"
        "A frame that cannot be read is reported and left untouched, and the next\n"
        "one is processed.\n\n" +
        std::string(kExitStatus);
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        port.SetInputFiles(args.files);
        ToGrayscale(state, port);
    };
    return c;
}

TCliCommand RenameCliCommand() {
    TCliCommand c;
    c.name = "rename";
    c.summary = "rename frames into one numbered series";
    c.synopsis = "[--root NAME] [--padded] FRAME...";
    c.description =
        "Renames the frames, in the order given, to NAME followed by 1, 2, 3...\n"
        "and each file's own extension (its file name from the first dot on), in\n"
        "the folder of the first FRAME. With --padded the numbers are padded with\n"
        "zeros to the width of the count (01..12, 001..150); padding is refused for\n"
        "1000 frames or more, before any file is renamed. Without --root the new\n"
        "names are the numbers alone. A name that is already taken is reported\n"
        "and that frame keeps its name; no file is ever overwritten. The files'\n"
        "contents are not changed.\n\n" +
        std::string(kExitStatus);
    c.options = {{"root", 0, "NAME", "the start of every new name (default: empty)"},
                 {"padded", 0, "", "pad the numbers with zeros to the width of the count"}};
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        port.SetRenameParms({args.Value("root"), args.Has("padded")});
        port.SetInputFiles(args.files);
        RenameFiles(state, port);
    };
    return c;
}
