#include "untPrescaleFrames.h"

#include <cstdlib>
#include <locale.h>

#include <string>
#include <vector>

#include "untBatch.h"
#include "untBmpUtil.h"
#include "untMeasure.h"
#include "untPrescaleKernels.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Brightest byte of a frame, 0 counting as 1 so that a black frame divides.
uint32_t BrightestForFactor(const BmpRecord& record) {
    uint32_t highest = 0;
    MeasureFrame(&record, &highest, nullptr, nullptr);
    return highest == 0 ? 1 : highest;
}

void RunStretchBatch(TMainState& state, TUiPort& port, void (*kernel)(BmpRecord*)) {
    TPerFileCommand command;
    command.verb = "Stretching ";
    command.processMessages = false;
    command.resolution = TResolutionFields::Kept;
    command.operation = [kernel](BmpRecord& record) {
        kernel(&record);
        return true;
    };
    RunPerFileCommand(state, port, command);
}

}  // namespace

size_t ReadLeadingNumber(const std::string& text, double* value) {
    const char* const s = text.c_str();
    size_t i = 0;
    while (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r')) ++i;
    const size_t start = i;
    if (s[i] == '+' || s[i] == '-') ++i;
    size_t digits = 0;
    while (IsDigit(s[i])) ++i, ++digits;
    if (s[i] == '.') {
        ++i;
        while (IsDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    // An exponent counts only when digits follow it: "2e" is the number 2.
    if (s[i] == 'e' || s[i] == 'E') {
        size_t j = i + 1;
        if (s[j] == '+' || s[j] == '-') ++j;
        if (IsDigit(s[j])) {
            while (IsDigit(s[j])) ++j;
            i = j;
        }
    }
    // The scan above already fixed what a number is (no "inf", no hex); the
    // conversion only has to round it, with "." as the point in any locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string number = text.substr(start, i - start);
    *value = strtod_l(number.c_str(), nullptr, cLocale);
    return i;
}

void PrescaleFrames(TMainState& state, TUiPort& port, TPrescaleMode mode, double factor) {
    TOwnedBmpRecord record;
    if (!OpenFilesStep(state, port, ofAllowMultiSelect | ofFileMustExist)) return;
    const std::vector<std::string> files = port.OpenDialog().Files;
    if (RefuseRepeatedFile(port, files)) return;
    port.BeginBatch(files);

    if (mode == psGlobal) {
        uint32_t largest = 0;
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string& path = files[i];
            if (!BeginItem(port, i + 1, files.size(), "Reading " + path, path)) break;
            // A frame that cannot be read now is reported by the pass that
            // changes the files.
            if (record.Read(path) != BMP_NO_ERROR) continue;
            uint32_t highest = 0;
            MeasureFrame(record.get(), &highest, nullptr, nullptr);
            if (highest > largest) largest = highest;
            record.Release();
        }
        factor = 255.0 / (largest == 0 ? 1 : largest);
    }

    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i];
        if (!BeginItem(port, i + 1, files.size(), "Prescaling " + path, path)) break;
        port.BeginFile(path);
        if (record.Read(path) != BMP_NO_ERROR) {
            ReportFileError(port, record->status, record->systemError);
        } else {
            const double frameFactor = mode == psPerFile ? 255.0 / BrightestForFactor(*record) : factor;
            (void)ScaleBmpRecord(record.get(), frameFactor);  // a record just read has all its buffers
            // Its headers are the frame's own: only the pixels were brightened.
            if (WriteBmpFile(record.get(), TResolutionFields::Kept) == BMP_NO_ERROR)
                port.FileWritten(path);
            else
                ReportFileError(port, record->status, record->systemError);
        }
        record.Release();
        port.ProcessMessages();
    }
    port.SetStatus("Idle");
}

void RunPrescaleManual(TMainState& state, TUiPort& port) {
    double factor = 2.0;
    // The typed factor is not remembered: every run starts again from "2.0".
    const std::string text = port.Dialogs().AskPrescaleFactor("2.0");
    ReadLeadingNumber(text, &factor);
    if (factor > 0.0) PrescaleFrames(state, port, psManual, factor);
}

void RunPrescaleWide(TMainState& state, TUiPort& port) { RunStretchBatch(state, port, StretchWide); }

void RunPrescaleSmartWide(TMainState& state, TUiPort& port) { RunStretchBatch(state, port, StretchSmartWide); }
