#include "untCliFlatField.h"

#include <string>

#include "untFileNames.h"
#include "untFlatField.h"

TCliCommand CliFlatField() {
    return MakeCliCommand(
        "flat-field", "divide frames by a flat field normalised to its mean (overwrites them)", "--flat FLAT FRAME...",
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
        "still done. 8-bit and 24-bit frames are accepted, each byte divided alike.",
        {{"flat", 0, "FLAT", "the flat field to divide by"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            if (!args.Has("flat")) throw ECliUsage("the flat field is missing (--flat FLAT)");
            const std::string flat = args.Value("flat");
            if (!FileExists(flat)) throw ECliUsage("no such file: " + flat);
            if (!ReferenceReadable(port, flat)) return;
            port.QueueOpenAnswer({flat});
            RunFlatField(state, port);
        });
}
