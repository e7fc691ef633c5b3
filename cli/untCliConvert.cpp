#include "untCliConvert.h"

#include "untConvert.h"

TCliCommand CliToFits() {
    return MakeCliCommand(
        "to-fits", "write a FITS copy of each frame beside it", "FRAME...",
        "Writes each 8-bit frame as a FITS file (16-bit integers, one primary\n"
        "header) in the frame's folder. The FITS name is the frame's file name up\n"
        "to its first dot, followed by \".fts\": m51.bmp gives m51.fts, m51.v2.bmp\n"
        "also gives m51.fts (a later frame of the same stem replaces it). An\n"
        "existing FITS file of that name is replaced. 24-bit frames are refused\n"
        "with \"Improper file type\". The frames themselves are not changed.",
        {}, [](const TCliArgs&, TCliPort& port, TMainState& state) { RunToFits(state, port); });
}

TCliCommand CliToGrayscale() {
    return MakeCliCommand(
        "to-grayscale", "turn frames into 8-bit grey frames (overwrites its inputs)", "FRAME...",
        "Turns each 8-bit or 24-bit frame into an 8-bit frame over a plain grey\n"
        "palette and WRITES THE RESULT OVER EACH INPUT FILE; work on copies. An\n"
        "8-bit frame takes the red part of each pixel's palette colour (a grey\n"
        "frame keeps its values); a 24-bit frame takes the blue byte of each pixel.\n"
        "A frame that cannot be read is reported and left untouched, and the next\n"
        "one is processed.",
        {}, [](const TCliArgs&, TCliPort& port, TMainState& state) { RunToGrayscale(state, port); });
}
