#include "untMasterFrame.h"

#include <vector>

#include "untBatch.h"
#include "untFileNames.h"
#include "untFrameLoader.h"
#include "untParallelRows.h"

namespace {

// Below about a megabyte of stack the threads cost more than they save.
constexpr uint64_t kSerialStackBytes = uint64_t{1} << 20;

}  // namespace

void CombineStackRows(const std::vector<const TBitmap*>& inputs, TBitmap& output, unsigned threads,
                      TStackRowKernel kernel, const std::function<bool(int y)>& progress) {
    const size_t n = inputs.size();
    const int width = output.Width(), height = output.Height();
    if (n == 0) return;
    threads = ParallelThreads(threads, height, uint64_t{n} * static_cast<uint64_t>(width) * static_cast<uint64_t>(height),
                              kSerialStackBytes);
    // One list of row pointers per thread, made before any starts.
    std::vector<std::vector<const uint8_t*>> rows(threads, std::vector<const uint8_t*>(n));
    ParallelRows(
        height, threads,
        [&](int y, unsigned worker) {
            std::vector<const uint8_t*>& in = rows[worker];
            for (size_t i = 0; i < n; ++i) in[i] = inputs[i]->ScanLine(y);
            kernel(in.data(), n, output.ScanLine(y), static_cast<size_t>(width));
        },
        progress);
}

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
    port.Progress(1, static_cast<int64_t>(n), files[0]);
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
    if (n >= 2) port.Progress(2, static_cast<int64_t>(n), files[1]);
    port.ProcessMessages();
    LoadBitmapsInOrder(std::vector<std::string>(files.begin() + 1, files.end()), frames, threads, [&] {
        // frames holds the output and the frames loaded so far.
        const size_t loaded = frames.size() - 1;
        port.ProcessMessages();
        if (loaded == n) return true;
        if (BatchStopRequested()) return false;
        port.Progress(static_cast<int64_t>(loaded + 1), static_cast<int64_t>(n), files[loaded]);
        return true;
    });

    // A stop asked for while the frames load ends the command before it writes anything.
    bool ready = frames.size() == n + 1 && !BatchStopRequested();
    port.SetStatus("Validating input files...");
    port.ProcessMessages();
    const int width = frames[1]->Width();
    const int height = frames[1]->Height();
    for (size_t i = 2; ready && i <= n; ++i) {
        if (frames[i]->Width() != width || frames[i]->Height() != height) {
            port.BeginFile(files[i - 1]);  // the command line names the frame; the window's text stays
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
        std::vector<const TBitmap*> inputs;
        for (size_t i = 1; i <= n; ++i) inputs.push_back(frames[i].get());
        const int rows = frames[0]->Height();
        CombineStackRows(inputs, *frames[0], threads, command.kernel, [&](int y) { return RowDone(port, y, rows); });
        // Rows left undone by a stop leave a picture nobody should keep.
        if (BatchStopRequested()) ready = false;
    }
    if (ready) {
        port.Progress(0, 0, std::string());
        port.SetStatus("");
        if (SaveFileStep(state, port, "")) {
            TFileDialog& save = port.SaveDialog();
            save.FileName = ApplySaveExtension(save.FileName);
            if (!RefuseOutputAmong(port, save.FileName, files)) {
                port.SetStatus("Saving output file...");
                frames[0]->SaveToFile(save.FileName);
            }
        }
    }

    port.SetStatus("Cleaning up...");
    guard.ReleaseFrames();
    port.SetStatus("Idle");
}
