#include "untBatch.h"

#include <atomic>
#include <charconv>

#include "untFileNames.h"

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<bool> stopTaken{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the stop request");

}  // namespace

void RequestBatchStop() { stopRequested.store(true); }

bool BatchStopRequested() {
    if (!stopRequested.load()) return false;
    stopTaken.store(true);
    return true;
}

bool BatchStopTaken() { return stopTaken.load(); }

void ClearBatchStop() {
    stopRequested.store(false);
    stopTaken.store(false);
}

bool BeginItem(TUiPort& port, size_t n, size_t total, const std::string& status, const std::string& what) {
    if (BatchStopRequested()) return false;
    if (!status.empty()) port.SetStatus(status);
    port.Progress(static_cast<int64_t>(n), static_cast<int64_t>(total), what);
    return true;
}

bool RowDone(TUiPort& port, int y, int rows) {
    port.Progress(y + 1, rows, std::string());
    port.ProcessMessages();
    return !BatchStopRequested();
}

void ReportFileError(TUiPort& port, uint32_t status, int systemError) {
    port.ShowFileError(BmpErrorText(status), systemError);
}

bool OpenFilesStep(TMainState& state, TUiPort& port, unsigned options) {
    TFileDialog& dlg = port.OpenDialog();
    dlg.Options = options;
    dlg.InitialDir = state.LastPathOpen;
    if (!dlg.Execute()) return false;
    if (!dlg.Files.empty()) state.LastPathOpen = ExtractFilePath(dlg.Files.front());
    return true;
}

bool SaveFileStep(TMainState& state, TUiPort& port, const std::string& defaultName) {
    TFileDialog& dlg = port.SaveDialog();
    dlg.InitialDir = state.LastPathSave;
    dlg.FileName = defaultName;
    if (!dlg.Execute()) return false;
    state.LastPathSave = ExtractFilePath(dlg.FileName);
    return true;
}

bool ConfirmOverwrite(TUiPort& port) {
    return port.MessageBox("This will overwrite your input files - are these copies?", "Warning",
                           TMsgButtons::YesNo) == TMsgResult::Yes;
}

bool RefuseRepeatedFile(TUiPort& port, const std::vector<std::string>& files) {
    const std::string twice = RepeatedFile(files);
    if (twice.empty()) return false;
    port.MessageBox(twice + " is named more than once: nothing was changed.", "Error", TMsgButtons::Ok);
    return true;
}

bool RefuseReferenceAmong(TUiPort& port, const std::string& referenceName, const std::string& reference,
                          const std::vector<std::string>& files) {
    const std::string same = SameFileAmong(reference, files);
    if (same.empty()) return false;
    port.MessageBox(
        same + " is the " + referenceName + " and cannot be among the frames to correct: nothing was changed.", "Error",
        TMsgButtons::Ok);
    return true;
}

bool RefuseOutputAmong(TUiPort& port, const std::string& output, const std::vector<std::string>& inputs) {
    if (SameFileAmong(output, inputs).empty()) return false;
    port.MessageBox(output + " is one of the input files: nothing was written.", "Error", TMsgButtons::Ok);
    return true;
}

bool AskWholeNumber(TUiPort& port, const std::string& title, const std::string& prompt,
                    const std::string& defaultText, int32_t* value) {
    const auto text = port.GetString(title, prompt, defaultText, true);
    if (!text) return false;
    if (!ReadWholeNumber(*text, value)) *value = 2;
    return true;
}

bool ReadWholeNumber(const std::string& text, int32_t* value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    // from_chars takes a leading "-" but not a "+".
    const bool plus = begin != end && *begin == '+';
    if (plus) ++begin;
    if (begin == end || (plus && *begin == '-')) return false;
    int32_t v = 0;
    const auto [stop, error] = std::from_chars(begin, end, v);
    if (error != std::errc() || stop != end) return false;
    *value = v;
    return true;
}

bool ReportRefusal(TUiPort& port, uint32_t status) {
    if (status == BMP_NO_ERROR) return true;
    port.MessageBox(BmpErrorText(status), "Error", TMsgButtons::Ok);
    return false;
}

bool RunPerFileCommand(TMainState& state, TUiPort& port, const TPerFileCommand& command) {
    TOwnedBmpRecord record;
    if (!OpenFilesStep(state, port, command.options)) return false;
    const std::vector<std::string> files = port.OpenDialog().Files;
    if (command.writeBack && RefuseRepeatedFile(port, files)) return false;
    if (command.beforeFiles && !command.beforeFiles()) return false;
    if (command.writeBack) port.BeginBatch(files);
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i];
        if (!BeginItem(port, i + 1, files.size(), command.verb + path, path)) break;
        if (command.processMessages) port.ProcessMessages();
        port.BeginFile(path);
        if (record.Read(path) != BMP_NO_ERROR) {
            ReportFileError(port, record->status, record->systemError);
            continue;
        }
        const bool done = !command.operation || command.operation(*record);
        if (done && command.writeBack) {
            if (WriteBmpFile(record.get(), command.resolution) == BMP_NO_ERROR)
                port.FileWritten(path);
            else
                ReportFileError(port, record->status, record->systemError);
        }
        record.Release();
        if (command.processAfterFile) port.ProcessMessages();
    }
    port.SetStatus("Idle");
    return true;
}
