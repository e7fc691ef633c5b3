#include "untMasterFrame.h"

#include <vector>

#include "untBatch.h"
#include "untFileNames.h"
#include "untFrameLoader.h"

void RunMasterFrameCommand(TMainState& state, TUiPort& port, unsigned threads, const TMasterFrameCommand& command) {
    state.FrameList.clear();
    TFrameListGuard guard{state};

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

    if (n < command.minFiles) {
        if (!command.tooFewText.empty()) port.MessageBox(command.tooFewText, "Error", TMsgButtons::Ok);
        guard.ReleaseFrames();
        port.SetStatus("Idle");
        return;
    }

    port.SetStatus("Loading input files...");
    // The output is a load of the first file already; a copy of it is the
    // same frame without reading the file twice.
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
    // The kernels take one byte a pixel: any other format would have its
    // rows read past their end or only in part.
    for (size_t i = 1; ready && i <= n; ++i) {
        if (frames[i]->PixelFormat() != pf8bit) {
            port.MessageBox(command.formatText(files[i - 1], *frames[i]), "Error", TMsgButtons::Ok);
            ready = false;
        }
    }

    if (ready) {
        port.SetStatus(command.creatingText);
        TBitmap& output = *frames[0];
        RunStackRows(
            n, width, height, [&](size_t i, int y) { return frames[i + 1]->ScanLine(y); },
            [&](int y) { return output.ScanLine(y); }, threads, [&] { port.ProcessMessages(); }, command.kernel);

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
