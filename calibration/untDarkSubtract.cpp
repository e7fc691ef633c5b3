#include "untDarkSubtract.h"

#include <memory>
#include <string>
#include <vector>

#include "untBatch.h"
#include "untBitmap.h"
#include "untBmpUtil.h"
#include "untCorrect.h"
#include "untCorrectKernels.h"
#include "untDarkKernels.h"
#include "untFrameLoader.h"
#include "untMeasure.h"

namespace {

TFrameDataType DataTypeOf(const TBitmap& bitmap, int* levelCount = nullptr) {
    const auto& palette = bitmap.Palette();
    return FrameDataType(bitmap.PixelFormat() == pf24bit, palette.data(), palette.size(), levelCount);
}

bool Subtractable(const TBitmap& bitmap) {
    return bitmap.PixelFormat() == pf8bit || bitmap.PixelFormat() == pf24bit;
}

// The rows of 1- and 4-bit frames are shorter than their width in bytes:
// subtracting them byte by byte would run past every row.
std::string UnsupportedFormatText(const std::string& path, const TBitmap& bitmap) {
    const char* depth = bitmap.PixelFormat() == pf1bit   ? "1 bit per pixel"
                        : bitmap.PixelFormat() == pf4bit ? "4 bits per pixel"
                                                         : "no pixel format";
    return path + " has " + depth +
           ": only 8-bit palettised and 24-bit frames can be dark subtracted.";
}

// A frame too small for Compensate's sample (32 pixels of row 4) gets the
// dark at its plain weight (factor 1.0, offset 0) rather than a ratio read
// past the end of its rows.
bool HasCompensationSample(const TBitmap& frame) {
    return frame.Width() >= kCompensationSampleWidth && frame.Height() > kCompensationSampleRow;
}

TPreparedMap PrepareDeviationMap(const BmpRecord& dark) { return {DeviationMap(dark), {}}; }

uint32_t ApplyDeviation(BmpRecord& light, const double* map) {
    ApplyDeviationMap(light, map);
    return BMP_NO_ERROR;
}

}  // namespace

void DarkSubtract(TMainState& state, TUiPort& port, unsigned threads) {
    const int mode = state.DarkSubtractMode;
    state.FrameList.clear();
    TFrameListGuard guard{state};
    auto finish = [&] {
        guard.ReleaseFrames();
        port.SetStatus("Idle");
    };

    if (!ConfirmOverwrite(port)) return finish();

    TFileDialog& dlg = port.OpenDialog();
    dlg.Title = "Select Dark Frame";
    if (!OpenFilesStep(state, port, 0) || dlg.Files.empty()) return finish();
    port.SetStatus("Loading dark frame...");
    port.ProcessMessages();
    state.DarkFileName = dlg.Files.front();
    TBitmap dark;
    dark.LoadFromFile(state.DarkFileName);
    if (!Subtractable(dark)) {
        port.MessageBox(UnsupportedFormatText(state.DarkFileName, dark), "Error", TMsgButtons::Ok);
        return finish();
    }
    int levelCount = 0;
    const TFrameDataType darkType = DataTypeOf(dark, &levelCount);

    dlg.Title = "Select Images to correct";
    if (!OpenFilesStep(state, port, ofAllowMultiSelect)) return finish();
    const std::vector<std::string> paths = dlg.Files;
    if (paths.empty() || RefuseRepeatedFile(port, paths) ||
        RefuseReferenceAmong(port, "dark frame", state.DarkFileName, paths))
        return finish();
    port.BeginBatch(paths);

    auto& frames = state.FrameList;
    frames.reserve(paths.size());
    // Later files load on other cores meanwhile; the status names each file
    // as it is its turn to join the list.
    port.SetStatus("Loading image frame: " + paths.front());
    port.Progress(1, static_cast<int64_t>(paths.size()), paths.front());
    LoadBitmapsInOrder(paths, frames, threads, [&] {
        const size_t i = frames.size();
        return i == paths.size() ||
               BeginItem(port, i + 1, paths.size(), "Loading image frame: " + paths[i], paths[i]);
    });

    port.SetStatus("Validating input files...");
    for (size_t i = 0; i < frames.size(); ++i) {
        const TBitmap& frame = *frames[i];
        std::string problem;
        if (frame.Width() != dark.Width() || frame.Height() != dark.Height())
            problem = "All files must be of the same size";
        else if (DataTypeOf(frame) != darkType)
            problem = "All files must be of the same data type";
        else if (!Subtractable(frame))
            problem = UnsupportedFormatText(paths[i], frame);
        if (!problem.empty()) {
            port.BeginFile(paths[i]);  // the command line names the frame; the window's text stays
            port.MessageBox(problem, "Error", TMsgButtons::Ok);
            return finish();
        }
    }

    THotPixelRule hot;
    if (mode == dsMapHotPixels) {
        TOwnedBmpRecord record;
        if (record.Read(state.DarkFileName) == BMP_NO_ERROR) {
            uint32_t mean = 0;
            MeasureFrame(record.get(), nullptr, nullptr, &mean);
            state.MapLevel = static_cast<int>(mean);
        }
        hot.enabled = true;
        hot.mapLevel = static_cast<uint32_t>(state.MapLevel);
    }

    const bool rgb24 = darkType == TFrameDataType::Rgb24;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (!BeginItem(port, i + 1, paths.size(), "Subtracting " + paths[i], paths[i])) break;
        TBitmap& frame = *frames[i];
        double factor = 1.0;
        int offset = 1;
        if (mode == dsCompensate) {
            offset = 0;
            if (HasCompensationSample(frame)) {
                const uint8_t* darkSample = dark.ScanLine(kCompensationSampleRow);
                const uint8_t* lightSample = frame.ScanLine(kCompensationSampleRow);
                if (rgb24)
                    offset = CompensationOffset24(darkSample, lightSample);
                else
                    factor = CompensationFactor8(darkSample, lightSample);
            }
        }
        for (int y = 0; y < dark.Height(); ++y) {
            port.ProcessMessages();
            if (rgb24)
                SubtractRow24(dark.ScanLine(y), frame.ScanLine(y), offset, frame.Width());
            else
                SubtractRow8(dark.ScanLine(y), frame.ScanLine(y), levelCount - 1, factor, frame.Width(), hot);
        }
        frame.SaveToFile(paths[i]);
        port.FileWritten(paths[i]);
    }
    finish();
}

void RunDarkSubtractNewNormal(TMainState& state, TUiPort& port) {
    CorrectWithReference(state, port,
                         {"Select Dark Frame", "Dark correcting ", "dark frame", PrepareDeviationMap, ApplyDeviation});
}

void RunDarkSubtractNewMap(TMainState& state, TUiPort& port) {
    CorrectWithReference(state, port,
                         {"Select Dark Frame", "Dark correcting ", "dark frame", PrepareDeviationMap,
                          ApplyMapWithLocalMean});
}
