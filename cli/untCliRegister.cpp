#include "untCliRegister.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>

#include "untBatch.h"
#include "untFileNames.h"
#include "untSafeFile.h"
#include "untStarPick.h"

TStarOptions ReadStarOptions(const TCliArgs& args) {
    TStarOptions o;
    const std::string star = args.Value("star");
    const auto comma = star.find(',');
    if (star == "auto") {
        o.autoStar = true;
    } else if (comma == std::string::npos || !ReadWholeNumber(star.substr(0, comma), &o.x) ||
               !ReadWholeNumber(star.substr(comma + 1), &o.y)) {
        throw ECliUsage("--star takes the pixel as X,Y (whole numbers) or the word auto");
    }
    const std::string radius = args.Value("radius", "16");
    if (radius != "4" && radius != "8" && radius != "16" && radius != "32")
        throw ECliUsage("--radius must be 4, 8, 16 or 32");
    o.radius = std::stoi(radius);
    const std::string centroid = args.Value("centroid", "halfmax");
    if (centroid == "refined")
        o.method = TCentroidMethod::Refined;
    else if (centroid != "halfmax")
        throw ECliUsage("--centroid must be halfmax or refined");
    return o;
}

void MeasureLocks(const TAlignRun& run, int radius, std::vector<TFrameMeasure>& measures) {
    measures.resize(static_cast<size_t>(run.FrameCount));
    for (int i = 0; i < run.FrameCount; ++i) {
        const aligndata& frame = run.Frames[static_cast<size_t>(i)];
        TFrameMeasure& m = measures[static_cast<size_t>(i)];
        m.locked = frame.lock.index >= 0;
        if (!m.locked || !frame.bitmap) continue;
        m.x = frame.lock.x;
        m.y = frame.lock.y;
        m.fracX = frame.lock.fracX;
        m.fracY = frame.lock.fracY;
        m.fit = FitStar(GreyPlaneOf(*frame.bitmap), m.x, m.y, radius);
    }
}

bool RegisterOnStar(TAlignRun& run, TCliPort& port, const TStarOptions& o, std::vector<TFrameMeasure>& measures) {
    measures.assign(static_cast<size_t>(run.FrameCount), {});
    int x = o.x, y = o.y;
    if (o.autoStar) {
        const std::string name = ExtractFileName(run.Frames[0].fileName);
        const TStarChoice choice = PickReferenceStar(GreyPlaneOf(*run.Frames[0].bitmap), o.radius);
        if (!choice.found) {
            port.MessageBox("No reference star in " + name + ": " + ChoiceText(choice, o.radius) +
                                ". Give one with --star X,Y.",
                            "Error", TMsgButtons::Ok);
            return false;
        }
        std::printf("Reference star in %s: %s\n", name.c_str(), ChoiceText(choice, o.radius).c_str());
        std::fflush(stdout);
        x = choice.x;
        y = choice.y;
    }
    // The run locks through this while the frame it reads is current.
    run.Centroid = [&run, &measures, method = o.method](const TGreyPlane& plane, int radius, int& lx, int& ly,
                                                         double& fx, double& fy) {
        TLockReport report;
        const bool locked = LockWithMethod(method, plane, radius, lx, ly, fx, fy, &report);
        if (run.CurrentFrame >= 0 && run.CurrentFrame < static_cast<int>(measures.size()))
            measures[static_cast<size_t>(run.CurrentFrame)].lock = report;
        return locked;
    };
    run.SelectRadius(o.radius);
    bool locked = run.ImageMouseDown(x, y);
    if (locked) {
        run.DigitKey(0);
        locked = run.StartAutoRegister() && run.AutoRegisterPass(run.FrameCount);
    }
    run.Centroid = nullptr;
    MeasureLocks(run, o.radius, measures);  // keeps each frame's lock report
    if (!locked) {
        // The window shows the frame; a script needs its name.
        port.ClearProgress();
        const aligndata& lost = run.Frames[static_cast<size_t>(run.CurrentFrame)];
        std::fprintf(stderr, "  frame %d of %d: %s\n", run.CurrentFrame + 1, run.FrameCount, lost.fileName.c_str());
        port.MarkFailed();
    }
    return locked;
}

std::vector<int> SharpnessRanks(const std::vector<TFrameMeasure>& measures) {
    std::vector<size_t> order(measures.size());
    std::iota(order.begin(), order.end(), size_t{0});
    auto fwhm = [&](size_t i) {
        const TFrameMeasure& m = measures[i];
        return m.locked && m.fit.ok ? m.fit.fwhm : INFINITY;
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return fwhm(a) < fwhm(b); });
    std::vector<int> ranks(measures.size());
    for (size_t r = 0; r < order.size(); ++r) ranks[order[r]] = static_cast<int>(r + 1);
    return ranks;
}

double ReadBestPercent(const std::string& text) {
    char* end = nullptr;
    const double percent = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(percent > 0.0 && percent <= 100.0))
        throw ECliUsage("--best takes a percentage above 0 and up to 100 (got '" + text + "')");
    return percent;
}

void KeepSharpest(TAlignRun& run, double percent, const std::vector<TFrameMeasure>& measures) {
    const std::vector<int> ranks = SharpnessRanks(measures);
    const int n = run.FrameCount;
    const int keep = std::max(1, static_cast<int>(std::ceil(percent * n / 100.0 - 1e-9)));
    std::printf("Best %g %%: stacking the %d of %d frames with the smallest FWHM\n", percent, keep, n);
    for (int i = 0; i < n; ++i) {
        const TFrameMeasure& m = measures[static_cast<size_t>(i)];
        const bool kept = ranks[static_cast<size_t>(i)] <= keep;
        if (!kept && run.Frames[static_cast<size_t>(i)].used) run.ToggleUsed(i);
        char fwhm[32] = "no star measured";
        if (m.locked && m.fit.ok) std::snprintf(fwhm, sizeof fwhm, "FWHM %.2f px", m.fit.fwhm);
        std::printf("  %-8s %s  %s\n", kept ? "used" : "left out",
                    ExtractFileName(run.Frames[static_cast<size_t>(i)].fileName).c_str(), fwhm);
    }
    std::fflush(stdout);
}

namespace {

void PrintTable(const TAlignRun& run, const std::vector<TFrameMeasure>& measures, TCentroidMethod method) {
    const std::vector<int> ranks = SharpnessRanks(measures);
    std::printf("%5s  %-24s %9s %9s %8s %8s %6s %4s %4s  %s\n", "frame", "file", "x", "y", "dx", "dy", "fwhm",
                "peak", "rank", "centroid");
    const TFrameMeasure& first = measures.front();
    const double x0 = first.x + first.fracX, y0 = first.y + first.fracY;
    for (size_t i = 0; i < measures.size(); ++i) {
        const TFrameMeasure& m = measures[i];
        if (!m.locked) break;
        const double x = m.x + m.fracX, y = m.y + m.fracY;
        char fwhm[16] = "-", peak[16] = "-";
        if (m.fit.ok) std::snprintf(fwhm, sizeof fwhm, "%.2f", m.fit.fwhm);
        if (m.fit.brightest >= 0) std::snprintf(peak, sizeof peak, "%d", m.fit.brightest);
        std::string centroid = "halfmax";
        if (method == TCentroidMethod::Refined)
            centroid = m.lock.refined ? "refined" : "halfmax (fit failed: " + m.lock.fallback + ")";
        std::printf("%5zu  %-24s %9.3f %9.3f %8.3f %8.3f %6s %4s %4d  %s\n", i + 1,
                    ExtractFileName(run.Frames[i].fileName).c_str(), x, y, x - x0, y - y0, fwhm, peak, ranks[i],
                    centroid.c_str());
    }
    std::fflush(stdout);
}

// The locks in the form stack --locks reads, for the frames locked before
// the first that was not; exact to the last bit of each fraction.
void WriteLocks(TCliPort& port, const std::string& path, const std::vector<TFrameMeasure>& measures) {
    std::string text;
    for (const TFrameMeasure& m : measures) {
        if (!m.locked) break;
        char line[128];
        std::snprintf(line, sizeof line, "%d,%d,%.17g,%.17g\n", m.x, m.y, m.fracX, m.fracY);
        text += line;
    }
    std::string error;
    if (!ReplaceFileContents(path, text.data(), text.size(), &error)) {
        // The writer's own words name the file and the system's reason.
        if (!error.empty()) error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
        port.MessageBox(error, "Error", TMsgButtons::Ok);
    }
}

}  // namespace

TCliCommand CliRegister() {
    return MakeCliCommand(
        "register", "lock every frame on a star and print the offsets, without stacking",
        "(--star X,Y | --star auto) [--radius R] [--centroid halfmax|refined] FRAME... [-o LOCKS.csv]",
        "Locks every frame on a star as stack --star does (the click on the first\n"
        "frame, then Auto Register All: each frame's search starts where the star sat\n"
        "in the frame before), and prints a table on standard output, a line per\n"
        "frame: the star's position (x, y: column and row, row 0 at the top, a pixel's\n"
        "centre at whole numbers), its offset from the first frame (dx, dy), its FWHM\n"
        "in pixels (a Gaussian fitted to the star), its brightest pixel (peak) and a\n"
        "sharpness rank (1: the smallest FWHM).\n"
        "\n"
        "  --star auto        chooses the star in the first frame: the brightest that is\n"
        "                     unsaturated (peak below 250), round, without a comparable\n"
        "                     star within 2 R pixels and at least 2 R pixels from the\n"
        "                     edges; says which and why, or ends with exit status 1\n"
        "  --centroid refined refines each lock by fitting a Gaussian to the star in\n"
        "                     the lock's window (to a few hundredths of a pixel where\n"
        "                     the half-maximum lock of the window gets a few tenths);\n"
        "                     where the fit fails the half-maximum centre is kept and\n"
        "                     the table says why\n"
        "  -o LOCKS.csv       writes the locks, a line per frame as x,y,fracx,fracy:\n"
        "                     'stack --locks LOCKS.csv' with the same frames stacks them\n"
        "                     exactly as 'stack --star' would\n"
        "\n"
        "A frame in which the lock loses the star ends the command with exit status 1\n"
        "and the frame's name; the table and the locks of the frames before it are\n"
        "still written. Nothing else is written: no alignment state, no trace.",
        {{"star", 0, "X,Y|auto", "the star near pixel X,Y of the first frame, or auto to choose one"},
         {"radius", 0, "R", "centroid radius: 4, 8, 16 or 32 (default 16)"},
         {"centroid", 0, "METHOD", "halfmax (the window's lock, default) or refined (a fitted model)"},
         {"output", 'o', "LOCKS.csv", "write the locks for stack --locks"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            if (!args.Has("star")) throw ECliUsage("say which star: --star X,Y or --star auto");
            const TStarOptions options = ReadStarOptions(args);
            const std::string out = args.Value("output");
            if (!out.empty() && RefuseOutputAmong(port, out, args.files)) return;

            TAlignRun run(state, port);
            run.Trace = false;
            if (!run.Start()) return;
            std::vector<TFrameMeasure> measures;
            (void)RegisterOnStar(run, port, options, measures);
            if (!measures.empty() && measures.front().locked) PrintTable(run, measures, options.method);
            if (!out.empty() && !measures.empty() && measures.front().locked) WriteLocks(port, out, measures);
            run.Release();
        });
}
