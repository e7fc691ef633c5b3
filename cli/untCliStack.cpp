#include "untCliStack.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "untAlign.h"
#include "untCliRegister.h"
#include "untBatch.h"
#include "untFileNames.h"

namespace {

struct TRule {
    const char* name;
    int stackMode;
    int wcmyMode;
};

// "wcmy" is the menu's hidden "Align WCMY": Average making colour from
// frames taken through cyan, magenta and yellow filters.
const TRule kRules[] = {
    {"average", smAverage, 0},      {"sum", smSum, 0},          {"median", smMedian, 0},
    {"median-average", smMedianAverage, 0}, {"median-sum", smMedianSum, 0}, {"fp-average", smFpAverage, 0},
    {"wcmy", smAverage, 1},
};

// One hand lock: the star's pixel and, when given, its fractions.
struct THandLock {
    int32_t x = 0, y = 0;
    bool hasFractions = false;
    double fracX = 0.0, fracY = 0.0;
};

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::stringstream in(text);
    std::string field;
    while (std::getline(in, field, ',')) {
        const auto first = field.find_first_not_of(" \t\r");
        const auto last = field.find_last_not_of(" \t\r");
        fields.push_back(first == std::string::npos ? std::string() : field.substr(first, last - first + 1));
    }
    if (!text.empty() && text.back() == ',') fields.push_back({});
    return fields;
}

bool ReadFraction(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    // A lock's fractions are parts of a pixel: 0 up to, not including, 1.
    return *end == '\0' && std::isfinite(*value) && *value >= 0.0 && *value < 1.0;
}

// "X,Y" of --star, or a line of the locks file: "x,y" or "x,y,fracx,fracy".
bool ReadLock(const std::string& text, bool fractionsAllowed, THandLock* lock) {
    const std::vector<std::string> f = SplitFields(text);
    if (f.size() != 2 && !(fractionsAllowed && f.size() == 4)) return false;
    if (!ReadWholeNumber(f[0], &lock->x) || !ReadWholeNumber(f[1], &lock->y)) return false;
    if (f.size() == 4) {
        lock->hasFractions = true;
        return ReadFraction(f[2], &lock->fracX) && ReadFraction(f[3], &lock->fracY);
    }
    return true;
}

std::vector<THandLock> ReadLocksFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw ECliUsage("cannot read the locks file " + path);
    std::vector<THandLock> locks;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        THandLock lock;
        if (!ReadLock(line, true, &lock))
            throw ECliUsage(path + " line " + std::to_string(number) +
                            ": expected x,y or x,y,fracx,fracy (whole pixels, fractions from 0 up to 1)");
        locks.push_back(lock);
    }
    if (locks.empty()) throw ECliUsage("the locks file " + path + " holds no lock");
    return locks;
}

void CheckLockCount(size_t locks, int frames) {
    if (locks != static_cast<size_t>(frames))
        throw ECliUsage("the locks file has " + std::to_string(locks) + " lock" + (locks == 1 ? "" : "s") + " for " +
                        std::to_string(frames) + " frame" + (frames == 1 ? "" : "s") + ": give one line per frame");
}

// What a user does in the window with locks typed by hand: each frame's
// click is its lock.
void LockByHand(TAlignRun& run, const std::vector<THandLock>& locks) {
    run.SelectRadius(1);
    for (int i = 0; i < run.FrameCount; ++i) {
        const THandLock& lock = locks[static_cast<size_t>(i)];
        // Manual placement: the click is the lock. Clicking does not need
        // the frame on screen, so it is not read again to be shown.
        run.CurrentFrame = i;
        (void)run.ImageMouseDown(lock.x, lock.y);
        if (lock.hasFractions) {
            run.ClickFracX = lock.fracX;
            run.ClickFracY = lock.fracY;
        }
        (void)run.AssignReference(i, 0, run.ClickX, run.ClickY, run.ClickFracX, run.ClickFracY);
    }
    run.CurrentFrame = 0;
}

}  // namespace

TCliCommand CliStack() {
    TCliCommand command = MakeCliCommand(
        "stack", "align frames on a star and combine them into one picture",
        "[--rule RULE] [--scale N] [--best P]\n"
        "       (--star X,Y|auto [--radius R] [--centroid METHOD] | --locks CSV) FRAME... -o OUT\n"
        "       velmora-cli stack [--rule RULE] [--scale N] -o OUT",
        "Does what a user does in the align window, without the window: locks every\n"
        "frame to the Base reference point, places the frames so that their locked\n"
        "stars coincide, combines them pixel by pixel with the rule, and writes the\n"
        "24-bit picture to OUT. Frames may be 8-bit or 24-bit and of different sizes;\n"
        "the picture covers every placed frame, and a pixel no frame covers is black.\n"
        "\n"
        "Two ways to lock the frames:\n"
        "  --star X,Y   clicks pixel X,Y (column, row; row 0 at the top) of the first\n"
        "               frame with the centroid lock of radius R, which finds the star's\n"
        "               centre near it, then registers all frames automatically: each\n"
        "               frame's search starts where the star sat in the frame before.\n"
        "               A frame in which the lock loses the star ends the command with\n"
        "               \"Lock lost. Rereference this frame.\", the frame's name and\n"
        "               exit status 1; no picture and no alignment state are written.\n"
        "               --star auto chooses the star in the first frame (see\n"
        "               'velmora-cli register --help'); --centroid refined refines each\n"
        "               lock with a fitted model, as register does.\n"
        "  --locks CSV  locks frame i by hand at line i of CSV (blank lines skipped):\n"
        "               \"x,y\" is the star's pixel in that frame; \"x,y,fracx,fracy\"\n"
        "               adds the parts of a pixel (0 up to 1) that fp-average shifts by.\n"
        "               One line per frame; 'velmora-cli register -o CSV' writes them.\n"
        "\n"
        "--best P stacks only the P % of the frames whose star is sharpest (the\n"
        "smallest FWHM, measured around each lock); the others are left out as\n"
        "excluding them in the align window does. The choice is printed.\n"
        "\n"
        "Rules (--rule, default average):\n"
        "  average         the mean of the frames' levels, rounded down, as a grey\n"
        "                  picture; a frame whose name starts with R, G or B (C, M or Y)\n"
        "                  adds to that channel only, and average shows the red mean\n"
        "  sum             the sums divided by the scale factor, 255 where above\n"
        "  median          the middle value; the lower of the two middle values for\n"
        "                  an even count\n"
        "  median-average  the mean of the values without the two brightest\n"
        "  median-sum      their sum divided by the scale factor, 255 where above\n"
        "  fp-average      the mean with each frame shifted by its lock's parts of a\n"
        "                  pixel, scaled so that the brightest pixel is 254\n"
        "  wcmy            colour from frames named C..., M... and Y... (cyan, magenta\n"
        "                  and yellow filters): red, green and blue from their means\n"
        "The median rules take frames of one kind, 8-bit or 24-bit.\n"
        "\n"
        "Files written, besides OUT (\".bmp\" is added when OUT has no dot):\n"
        "  AlignData.dat  in the current folder: the locks of the stacked frames,\n"
        "                 replaced on every run\n"
        "  DebugData.txt  in the current folder: a trace of clicks and placements,\n"
        "                 appended to on every run\n"
        "Without frames, stack continues from AlignData.dat in the current folder:\n"
        "the frames it names are stacked again with their saved locks (reference\n"
        "points other than the Base are not saved). The frames are never changed.",
        {{"rule", 0, "RULE", "average, sum, median, median-average, median-sum, fp-average or wcmy (default average)"},
         {"scale", 0, "N", "divisor of sum and median-sum, a whole number from 1 (default 1, none)"},
         {"star", 0, "X,Y|auto", "lock the first frame on the star near pixel X,Y (or one chosen) and register the others"},
         {"radius", 0, "R", "centroid radius of --star: 4, 8, 16 or 32 (default 16)"},
         {"centroid", 0, "METHOD", "lock of --star: halfmax (the window's, default) or refined (a fitted model)"},
         {"best", 0, "P", "stack only the P % of frames with the sharpest star"},
         {"locks", 0, "CSV", "lock each frame by hand at its line of CSV"},
         {"output", 'o', "OUT", "the picture to write"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            const TRule* rule = nullptr;
            const std::string ruleName = args.Value("rule", "average");
            for (const auto& r : kRules)
                if (ruleName == r.name) rule = &r;
            if (!rule) throw ECliUsage("unknown rule '" + ruleName + "'");
            const int32_t scale = std::stoi(CliWholeNumber(args, "scale", "1", 1, "the scale factor"));

            if (args.Has("star") && args.Has("locks")) throw ECliUsage("give --star or --locks, not both");
            if (args.Has("radius") && !args.Has("star")) throw ECliUsage("--radius goes with --star");
            if (args.Has("centroid") && !args.Has("star")) throw ECliUsage("--centroid goes with --star");
            TStarOptions star;
            if (args.Has("star")) star = ReadStarOptions(args);
            const double best = args.Has("best") ? ReadBestPercent(args.Value("best")) : 100.0;
            std::vector<THandLock> locks;
            if (args.Has("locks")) locks = ReadLocksFile(args.Value("locks"));
            if (!args.files.empty()) {
                if (!args.Has("star") && !args.Has("locks"))
                    throw ECliUsage("say how to lock the frames: --star X,Y or --locks CSV");
                if (!locks.empty()) CheckLockCount(locks.size(), static_cast<int>(args.files.size()));
            }
            if (!args.Has("output")) throw ECliUsage("the output file is missing (-o OUT)");
            port.SetOutputFile(args.Value("output"));
            // Refused again at the save, but a script should not wait for the stack to learn it.
            if (RefuseOutputAmong(port, ApplySaveExtension(args.Value("output")), args.files)) return;

            TAlignRun run(state, port);
            run.StackMode = rule->stackMode;
            run.WcmyMode = rule->wcmyMode;
            run.ScaleFactor = scale;
            if (!run.Start()) {
                if (!port.Failed())
                    port.MessageBox("No frames were given and the current folder holds no alignment state "
                                    "(AlignData.dat) to continue.",
                                    "Error", TMsgButtons::Ok);
                return;
            }
            if (!locks.empty()) CheckLockCount(locks.size(), run.FrameCount);
            std::vector<TFrameMeasure> measures;
            if (args.Has("star")) {
                if (!RegisterOnStar(run, port, star, measures)) return;
            } else if (!locks.empty()) {
                LockByHand(run, locks);
            }
            if (args.Has("best")) {
                if (measures.empty()) MeasureLocks(run, star.radius, measures);
                KeepSharpest(run, best, measures);
            }
            if (!run.Done() || !run.Stack()) return;
            run.SaveResult();
        });
    command.filesOptional = true;
    return command;
}
