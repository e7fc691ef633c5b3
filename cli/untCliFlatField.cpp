#include <string>

#include "untCliCalibration.h"
#include "untCorrect.h"
#include "untFileNames.h"

TCliCommand FlatFieldCommand() {
    TCliCommand c;
    c.name = "flat-field";
    c.summary = "divide frames by a flat field normalised to its mean (overwrites them)";
    c.synopsis = "--flat FLAT FRAME...";
    c.description =
        "Divides each FRAME by the flat field FLAT, normalised to its own mean\n"
        "level, so that uneven illumination and dust shadows even out while each\n"
        "frame keeps its overall brightness. A flat pixel at the mean leaves the\n"
        "frame's pixel as it is, one at half the mean doubles it (up to 255), a\n"
        "flat pixel of 0 leaves it alone. The mean level is a whole number: the\n"
        "sum of the flat's bytes divided by their count, truncated. Results are\n"
        "truncated, not rounded. FLAT is usually a master flat from create-flat.\n\n"
        "THIS OVERWRITES EACH FRAME with its corrected version, which carries a\n"
        "grey palette. Frames that cannot be read, or whose width, height or depth\n"
        "differ from the flat's, are reported and left as they are; the others are\n"
        "still done. 8-bit and 24-bit frames are accepted, each byte divided alike.\n\n"
        "Exit status: 0 when every file was processed, 1 when a file failed or the\n"
        "command was refused, 2 for a usage error. Messages go to standard error.";
    c.options = {{"flat", 0, "FLAT", "the flat field to divide by"}};
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        if (!args.Has("flat")) throw ECliUsage("the flat field is missing (--flat FLAT)");
        const std::string flat = args.Value("flat");
        if (!FileExists(flat)) throw ECliUsage("no such file: " + flat);
        // The window ends quietly on a flat it cannot read; a script must
        // learn that nothing was done.
        BmpRecord probe;
        probe.fileName = flat;
        const uint32_t status = ReadBmpFile(&probe);
        FreeBmpBuffers(probe);
        if (status != BMP_NO_ERROR) {
            port.MessageBox(TrimRight(BmpErrorText(status)) + ": " + flat, "Error", TMsgButtons::Ok);
            return;
        }
        port.QueueOpenAnswer({flat});
        port.SetInputFiles(args.files);
        FlatField(state, port);
    };
    return c;
}
