#include "untRepair.h"

#include <charconv>

#include "untBatch.h"
#include "untRepairKernels.h"

namespace {

// The prompts' answers: text that is not a whole number (an empty field,
// pasted letters) counts as 2.
constexpr int32_t kNotANumber = 2;

// Asks one number; false when the prompt was cancelled.
bool AskNumber(TUiPort& port, const std::string& title, const std::string& prompt, const std::string& defaultText,
               int32_t* value) {
    const auto text = port.GetString(title, prompt, defaultText, true);
    if (!text) return false;
    if (!ReadWholeNumber(*text, value)) *value = kNotANumber;
    return true;
}

// A kernel's refusal names its code and keeps the file as it was.
bool Report(TUiPort& port, uint32_t status) {
    if (status == BMP_NO_ERROR) return true;
    port.MessageBox(BmpErrorText(status), "Error", TMsgButtons::Ok);
    return false;
}

// The four repairs share one frame: no questions, "Stripping " for every
// one of them, and only the status line redrawn.
void RunStrip(TMainState& state, TUiPort& port, uint32_t (*kernel)(BmpRecord*)) {
    TPerFileCommand command;
    command.verb = "Stripping ";
    command.processMessages = false;
    command.operation = [&port, kernel](BmpRecord& record) { return Report(port, kernel(&record)); };
    RunPerFileCommand(state, port, command);
}

}  // namespace

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

void ResizeFrames(TMainState& state, TUiPort& port) {
    int32_t factor = kNotANumber;
    TPerFileCommand command;
    command.verb = "Resizing ";
    command.beforeFiles = [&] {
        if (!AskNumber(port, "Scale Factor", "Enter a scale factor (1..n) 1 = none", "2", &factor)) return false;
        // Digits-only still lets 0 through, and an enlargement by 0 would
        // replace every frame by an empty one.
        if (factor < 1) {
            port.MessageBox("The scale factor must be 1 or more.", "Error", TMsgButtons::Ok);
            return false;
        }
        return true;
    };
    command.operation = [&](BmpRecord& record) { return Report(port, EnlargeFrame(&record, factor)); };
    RunPerFileCommand(state, port, command);
}

void ErodeFrames(TMainState& state, TUiPort& port) {
    int32_t passes = kNotANumber, threshold = kNotANumber;
    TPerFileCommand command;
    command.verb = "Eroding ";
    command.processMessages = false;
    command.beforeFiles = [&] {
        return AskNumber(port, "Iterations", "Enter number of passes (1..n)", "1", &passes) &&
               AskNumber(port, "Threshhold", "Enter +/- threshhold (1..n)", "20", &threshold);
    };
    command.operation = [&](BmpRecord& record) { return Report(port, ErodeFrame(&record, passes, threshold)); };
    RunPerFileCommand(state, port, command);
}

void StripTopAndBottom(TMainState& state, TUiPort& port) { RunStrip(state, port, StripTopBottom); }

void StripFrameSides(TMainState& state, TUiPort& port) { RunStrip(state, port, StripSides); }

void RemoveVerticalBars(TMainState& state, TUiPort& port) { RunStrip(state, port, FixVerticalBars); }

void FixEdges(TMainState& state, TUiPort& port) { RunStrip(state, port, FixFrameEdges); }
