#include "untCliCommands.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>
#include <thread>

#include "untCliConvert.h"
#include "untCliDarkSubtract.h"
#include "untCliErode.h"
#include "untCliFindHighLow.h"
#include "untCliFlatAvg.h"
#include "untCliFlatField.h"
#include "untCliMedian.h"
#include "untCliPostProc.h"
#include "untCliPrescaleFrames.h"
#include "untCliRename.h"
#include "untCliRepair.h"
#include "untCliRegister.h"
#include "untCliStack.h"
#include "untCliResizeFrames.h"
#include "untBatch.h"
#include "untFileNames.h"
#include "untSafeFile.h"

namespace {

// The interrupt that asked the batch to stop; 0 before any.
std::atomic<int> stopSignal{0};

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
                 kCliExitStatus);
}

int Usage(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "velmora-cli%s%s: %s\n", command.empty() ? "" : " ", command.c_str(), message.c_str());
    std::fprintf(stderr, "Try 'velmora-cli%s%s --help'.\n", command.empty() ? "" : " ", command.c_str());
    return 2;
}

}  // namespace

const std::vector<TCliCommand>& CliCommands() {
    static const std::vector<TCliCommand> commands = {
        CliCreateMedian(),   CliCreateFlatAvg(), CliDarkSubtract(), CliFlatField(),
        CliPrescale(),       CliFindHighAndLow(), CliToFits(),     CliToGrayscale(),
        CliRename(),         CliResizeFrames(),  CliErode(),        CliStripTopAndBottom(),
        CliStripSides(),     CliVerticalBars(),  CliFixEdges(),     CliRegister(),
        CliStack(),
        CliProcess(),
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
        if (args.files.empty() && !command->filesOptional) throw ECliUsage("no input files given");
        // The open dialog lets only existing files through; so does the command line.
        for (const auto& f : args.files)
            if (!FileExists(f)) throw ECliUsage("no such file: " + f);
    } catch (const ECliUsage& e) {
        return Usage(name, e.what());
    }

    TCliPort port;
    port.SetQuiet(args.Has("quiet"));
    TMainState state;
    // The files answer the command's open dialog, as the user's choice would.
    // None given leaves the dialog cancelled.
    if (!args.files.empty()) port.SetInputFiles(args.files);
    try {
        command->run(args, port, state);
    } catch (const ECliUsage& e) {
        return Usage(name, e.what());
    } catch (const std::bad_alloc&) {
        port.ShowException("Memory allocation failed");
    } catch (const std::exception& e) {
        port.ShowException(e.what());
    }
    const int stop = stopSignal.load();
    port.SummariseBatch(stop != 0);
    if (stop != 0) return 128 + stop;
    return port.Failed() ? 1 : 0;
}

// The interrupts go to a thread of their own, which may then do what a
// signal handler may not: take the lock of the temporary files.
void WatchSignals() {
    signal(SIGXFSZ, SIG_IGN);
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (const int sig : {SIGINT, SIGTERM}) {
        // A shell starts background jobs with interrupts ignored: they stay so.
        struct sigaction was {};
        if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler != SIG_IGN) sigaddset(&interrupts, sig);
    }
    // Blocked here, before any thread starts, so no other thread ever takes one.
    pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
    std::thread([interrupts] {
        for (;;) {
            int sig = 0;
            if (sigwait(&interrupts, &sig) != 0) continue;
            if (stopSignal.exchange(sig) == 0) {
                RequestBatchStop();
                continue;
            }
            RemoveTempFilesForExit();
            _exit(128 + sig);
        }
    }).detach();
}
