#include "untCliPrescaleFrames.h"

#include <cmath>
#include <functional>
#include <string>

#include "untPrescaleFrames.h"

namespace {

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

TCliCommand CliPrescale() {
    return MakeCliCommand(
        "prescale", "brighten frames by a factor, or stretch them (overwrites its inputs)",
        "--mode MODE [--factor F] FRAME...",
        "Brightens 8-bit or 24-bit frames and WRITES THE RESULT OVER EACH INPUT FILE;\n"
        "work on copies. Each frame keeps its palette and headers. MODE is one of:\n\n"
        "  auto-global    one factor for all frames: 255 / the brightest byte of all\n"
        "  auto-per-file  each frame by 255 / its own brightest byte\n"
        "  manual         every frame by --factor F (default 2.0)\n"
        "  wide           stretch each frame from its background level (the mean of\n"
        "                 the bytes below its mean) up to its brightest byte\n"
        "  smart-wide     the same from two levels under that background\n\n"
        "Scaling rounds to the nearest byte and stops at 255. A frame that cannot\n"
        "be read is reported and left untouched, and the next one is processed.",
        {{"mode", 0, "MODE", "auto-global, auto-per-file, manual, wide or smart-wide"},
         {"factor", 0, "F", "the factor of manual mode, a number above 0 (default 2.0)"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            if (!args.Has("mode")) throw ECliUsage("the mode is missing (--mode MODE)");
            const std::string mode = args.Value("mode");
            std::function<void()> body;
            if (mode == "auto-global")
                body = [&] { PrescaleFrames(state, port, psGlobal, 0.0); };
            else if (mode == "auto-per-file")
                body = [&] { PrescaleFrames(state, port, psPerFile, 0.0); };
            else if (mode == "manual")
                body = [&] { RunPrescaleManual(state, port); };
            else if (mode == "wide")
                body = [&] { RunPrescaleWide(state, port); };
            else if (mode == "smart-wide")
                body = [&] { RunPrescaleSmartWide(state, port); };
            else
                throw ECliUsage("unknown mode '" + mode + "'");
            if (args.Has("factor")) {
                if (mode != "manual") throw ECliUsage("--factor goes with --mode manual only");
                CheckFactor(args.Value("factor"));
                port.dialogs.prescaleFactor = args.Value("factor");
            }
            body();
        });
}
