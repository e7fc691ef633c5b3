#include "untFlatAvg.h"

#include <string>
#include <vector>

#include "untBatch.h"
#include "untBitmap.h"
#include "untFileNames.h"
#include "untFlatKernel.h"
#include "untFrameLoader.h"

namespace {

// The mean takes one byte a pixel. A 24-bit frame gets the program's own
// text; 1- and 4-bit frames, whose rows are shorter than their width, are
// told their depth, since that text seems to invite monochrome bitmaps.
std::string UnsupportedFormatText(const std::string& path, const TBitmap& bitmap) {
    if (bitmap.PixelFormat() == pf24bit) return "256 color or monochrome bitmaps are reguired.";
    const char* depth = bitmap.PixelFormat() == pf1bit   ? "1 bit per pixel"
                        : bitmap.PixelFormat() == pf4bit ? "4 bits per pixel"
                                                         : "no pixel format";
    return path + " has " + depth +
           ": only 8-bit frames can be averaged into a flat.";
}

}  // namespace

void CreateFlatAvg(TMainState& state, TUiPort& port, unsigned threads) {
    state.FrameList.clear();
    TFrameListGuard guard{state};

    // The command names neither dialog: the platform's own titles say more
    // than whatever the previous command left in them.
    port.OpenDialog().Title.clear();
    port.SaveDialog().Title.clear();

    if (!OpenFilesStep(state, port, ofAllowMultiSelect | ofFileMustExist)) {
        port.SetStatus("Idle");
        return;
    }
    const std::vector<std::string> files = port.OpenDialog().Files;
    const size_t n = files.size();
    if (n == 0) {
        port.SetStatus("Idle");
        return;
    }

    auto& frames = state.FrameList;
    frames.reserve(n + 1);
    frames.push_back(std::make_unique<TBitmap>());
    frames[0]->LoadFromFile(files[0]);
    if (n < 2) {
        guard.ReleaseFrames();
        port.SetStatus("Idle");
        return;
    }

    port.SetStatus("Loading input files...");
    // Entry 0 is a load of the first file already; its copy is entry 1.
    frames.push_back(std::make_unique<TBitmap>(*frames[0]));
    port.ProcessMessages();
    LoadBitmapsInOrder(std::vector<std::string>(files.begin() + 1, files.end()), frames, threads,
                       [&] { port.ProcessMessages(); });

    bool ready = true;
    port.SetStatus("Validating input files...");
    port.ProcessMessages();
    const int width = frames[1]->Width();
    const int height = frames[1]->Height();
    for (size_t i = 2; i <= n; ++i) {
        if (frames[i]->Width() != width || frames[i]->Height() != height) {
            port.MessageBox("All files must be the same size", "Error", TMsgButtons::Ok);
            ready = false;
            break;
        }
    }
    for (size_t i = 1; ready && i <= n; ++i) {
        if (frames[i]->PixelFormat() != pf8bit) {
            port.MessageBox(UnsupportedFormatText(files[i - 1], *frames[i]), "Error", TMsgButtons::Ok);
            ready = false;
        }
    }

    if (ready) {
        port.SetStatus("Creating flat ...");
        TBitmap& output = *frames[0];
        TruncatedMeanFrames(
            n, output.Width(), output.Height(), [&](size_t i, int y) { return frames[i + 1]->ScanLine(y); },
            [&](int y) { return output.ScanLine(y); }, threads, [&] { port.ProcessMessages(); });

        port.SetStatus("");
        if (SaveFileStep(state, port, "")) {
            port.SetStatus("Saving output file...");
            TFileDialog& save = port.SaveDialog();
            save.FileName = ApplySaveExtension(save.FileName);
            output.SaveToFile(save.FileName);
        }
    }

    port.SetStatus("Cleaning up...");
    guard.ReleaseFrames();
    port.SetStatus("Idle");
}
