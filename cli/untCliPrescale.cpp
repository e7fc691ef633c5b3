#include <cmath>
#include <functional>
#include <string>

#include "untCliCalibration.h"
#include "untFindHighLow.h"
#include "untPrescaleFrames.h"

namespace {

const char* const kExitStatus =
    "Exit status: 0 when every file was processed, 1 when a file failed, 2 for\n"
    "a usage error. Messages go to standard error.";

// The dialog takes whatever number its text starts with; a script gets a
// usage error instead of a silent default for a factor that is not wholly a
// number above 0.
void CheckFactor(const std::string& text) {
    double factor = 0.0;
    const size_t used = ReadLeadingNumber(text, &factor);
    if (used == 0 || used != text.size() || !(factor > 0.0) || !std::isfinite(factor))
        throw ECliUsage("--factor must be a number above 0, such as 1.5 (got '" + text + "')");
}

}  // namespace

TCliCommand PrescaleCommand() {
    TCliCommand c;
    c.name = "prescale";
    c.summary = "brighten frames by a factor, or stretch them (overwrites its inputs)";
    c.synopsis = "--mode MODE [--factor F] FRAME...";
    c.description =
        "Brightens 8-bit or 24-bit frames and WRITES THE RESULT OVER EACH INPUT FILE;\n"
        "work on copies. Each frame keeps its palette and headers. MODE is one of:\n\n"
        "  auto-global    one factor for all frames: 255 / the brightest byte of all\n"
        "  auto-per-file  each frame by 255 / its own brightest byte\n"
        "  manual         every frame by --factor F (default 2.0)\n"
        "  wide           stretch each frame from its background level (the mean of\n"
        "                 the bytes below its mean) up to its brightest byte\n"
        "  smart-wide     the same from two levels under that background\n\n"
        "Scaling rounds to the nearest byte and stops at 255. A frame that cannot\n"
        "be read is reported and left untouched, and the next one is processed.\n\n" +
        std::string(kExitStatus);
    c.options = {{"mode", 0, "MODE", "auto-global, auto-per-file, manual, wide or smart-wide"},
                 {"factor", 0, "F", "the factor of manual mode, a number above 0 (default 2.0)"}};
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        if (!args.Has("mode")) throw ECliUsage("the mode is missing (--mode MODE)");
        const std::string mode = args.Value("mode");
        std::function<void()> body;
        if (mode == "auto-global")
            body = [&] { PrescaleFrames(state, port, psGlobal, 0.0); };
        else if (mode == "auto-per-file")
            body = [&] { PrescaleFrames(state, port, psPerFile, 0.0); };
        else if (mode == "manual")
            body = [&] { ManualPrescale(state, port); };
        else if (mode == "wide")
            body = [&] { WidePrescale(state, port); };
        else if (mode == "smart-wide")
            body = [&] { SmartWidePrescale(state, port); };
        else
            throw ECliUsage("unknown mode '" + mode + "'");
        if (args.Has("factor")) {
            if (mode != "manual") throw ECliUsage("--factor goes with --mode manual only");
            CheckFactor(args.Value("factor"));
            port.SetPrescaleFactor(args.Value("factor"));
        }
        port.SetInputFiles(args.files);
        body();
    };
    return c;
}

TCliCommand FindHighLowCommand() {
    TCliCommand c;
    c.name = "find-high-low";
    c.summary = "print a frame's highest, lowest and average byte";
    c.synopsis = "FRAME";
    c.description =
        "Measures one 8-bit or 24-bit frame and prints three lines to standard\n"
        "output: \"Highest N\", \"Lowest N\" and \"Average N\", the average truncated\n"
        "to a whole number. In a 24-bit frame the blue, green and red bytes count\n"
        "alike. The file is not changed.\n\n" +
        std::string(kExitStatus);
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        if (args.files.size() != 1) throw ECliUsage("find-high-low measures one frame");
        port.SetInputFiles(args.files);
        FindHighAndLow(state, port);
    };
    return c;
}
