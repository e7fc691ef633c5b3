#include "untCliCommands.h"

#include <cstdio>
#include <exception>
#include <new>

#include "untCliCalibration.h"
#include "untCliConvert.h"
#include "untCliProcess.h"
#include "untCliRepair.h"
#include "untFileNames.h"
#include "untMedian.h"

namespace {

const char* const kExitStatusText =
    "Exit status: 0 when every file was processed, 1 when a file failed or the\n"
    "command was refused, 2 for a usage error. Messages go to standard error.";

TCliCommand CreateMedianCommand() {
    TCliCommand c;
    c.name = "create-median";
    c.summary = "master dark: per-pixel median of three or more frames";
    c.synopsis = "FRAME FRAME FRAME... -o OUT";
    c.description =
        "Builds a master frame, normally a master dark, as the per-pixel median of\n"
        "three or more 8-bit frames of the same size. For an even number of frames\n"
        "the lower of the two middle values is taken, never an average, so every\n"
        "output value is one the frames hold. The output has the first frame's\n"
        "palette; only the stored values are combined. The input files are not\n"
        "changed.\n\n" +
        std::string(kExitStatusText);
    c.options = {{"output", 'o', "OUT", "the file to write; \".bmp\" is added when OUT has no dot"}};
    c.minFiles = 1;
    c.run = [](const TCliArgs& args, TCliPort& port, TMainState& state) {
        if (!args.Has("output")) throw ECliUsage("the output file is missing (-o OUT)");
        port.SetInputFiles(args.files);
        port.SetOutputFile(args.Value("output"));
        CreateMedian(state, port);
    };
    return c;
}

void PrintProgramHelp(FILE* out) {
    std::fputs(
        "Usage: velmora-cli COMMAND [OPTIONS] FILE...\n\n"
        "Velmora's commands without the window, for scripts: the same steps, texts\n"
        "and results as the menu commands of the desktop program.\n\n"
        "Commands:\n",
        out);
    for (const auto& c : CliCommands()) std::fprintf(out, "  %-22s%s\n", c.name.c_str(), c.summary.c_str());
    std::fprintf(out,
                 "\nRun 'velmora-cli COMMAND --help' for a command's options.\n"
                 "Commands that write over their input files say so in their help.\n\n%s\n",
                 kExitStatusText);
}

int Usage(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "velmora-cli%s%s: %s\n", command.empty() ? "" : " ", command.c_str(), message.c_str());
    std::fprintf(stderr, "Try 'velmora-cli%s%s --help'.\n", command.empty() ? "" : " ", command.c_str());
    return 2;
}

}  // namespace

const std::vector<TCliCommand>& CliCommands() {
    static const std::vector<TCliCommand> commands = {
        CreateMedianCommand(), CreateFlatCommand(),  DarkSubtractCommand(),
        FlatFieldCommand(),    PrescaleCommand(),    FindHighLowCommand(),
        ToFitsCliCommand(),    ToGrayscaleCliCommand(), RenameCliCommand(),
        ResizeCommand(),       ErodeCommand(),       StripTopBottomCommand(),
        StripSidesCommand(),   VerticalBarsCommand(), FixEdgesCommand(),
        ProcessCommand(),
    };
    return commands;
}

int VelmoraCliMain(int argc, char** argv) {
    if (argc < 2) {
        PrintProgramHelp(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintProgramHelp(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("velmora-cli %s\n", VELMORA_VERSION);
        return 0;
    }
    const TCliCommand* command = nullptr;
    for (const auto& c : CliCommands())
        if (c.name == name) command = &c;
    if (!command) return Usage("", "unknown command '" + name + "'");

    TCliArgs args;
    try {
        bool help = false;
        args = ParseCliArgs(*command, argc, argv, 2, &help);
        if (help) {
            std::fputs(CommandHelp(*command).c_str(), stdout);
            return 0;
        }
        if (args.files.size() < command->minFiles) throw ECliUsage("no input files given");
        // The open dialog lets only existing files through; so does the command line.
        for (const auto& f : args.files)
            if (!FileExists(f)) throw ECliUsage("no such file: " + f);
    } catch (const ECliUsage& e) {
        return Usage(name, e.what());
    }

    TCliPort port;
    TMainState state;
    try {
        command->run(args, port, state);
    } catch (const ECliUsage& e) {
        return Usage(name, e.what());
    } catch (const std::bad_alloc&) {
        port.ShowException("Memory allocation failed");
    } catch (const std::exception& e) {
        port.ShowException(e.what());
    }
    return port.Failed() ? 1 : 0;
}
