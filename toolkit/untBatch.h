// The frame every batch command shares: the open and save steps that
// remember folders, the overwrite question, and the per-file skeleton of the
// commands that work through BmpRecord.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "untBmpUtil.h"
#include "untMainState.h"
#include "untUiPort.h"

// Open-files step: sets exactly these options, starts in LastPathOpen, and on
// OK remembers the folder of the first chosen file.
[[nodiscard]] bool OpenFilesStep(TMainState& state, TUiPort& port, unsigned options);
// Save-file step: starts in LastPathSave with defaultName, and on OK
// remembers the chosen folder. The chosen name is port.SaveDialog().FileName.
[[nodiscard]] bool SaveFileStep(TMainState& state, TUiPort& port, const std::string& defaultName);
// "This will overwrite your input files - are these copies?": true only on Yes.
[[nodiscard]] bool ConfirmOverwrite(TUiPort& port);

// A command that writes over its frames would work a file named twice
// twice over: such a list is refused whole, before any file is touched.
// True after the message naming the file.
[[nodiscard]] bool RefuseRepeatedFile(TUiPort& port, const std::vector<std::string>& files);
// A reference (a dark, a flat) among the frames it corrects would be
// corrected by itself. True after the message naming it.
[[nodiscard]] bool RefuseReferenceAmong(TUiPort& port, const std::string& referenceName, const std::string& reference,
                                        const std::vector<std::string>& files);
// An output that is one of the inputs would replace it. True after the
// message naming it; nothing is written then.
[[nodiscard]] bool RefuseOutputAmong(TUiPort& port, const std::string& output, const std::vector<std::string>& inputs);

// The prompt dialog asking for a whole number, digits only. Text that is
// not one (an empty field, pasted letters) counts as 2. False when the
// prompt was cancelled.
[[nodiscard]] bool AskWholeNumber(TUiPort& port, const std::string& title, const std::string& prompt,
                                  const std::string& defaultText, int32_t* value);
// A whole number as the number prompts take it: an optional sign and
// decimal digits, nothing else, within 32 bits. False (value untouched) otherwise.
bool ReadWholeNumber(const std::string& text, int32_t* value);

// A request to stop the running batch once the file in hand is done. Any
// thread, or a signal handler, may make it (an interrupt on the command
// line, a Stop button); the batch loops look at it between files. Ask
// BatchStopRequested only where a true answer stops the work: the front end
// learns from BatchStopTaken that the command ended short, and says so.
void RequestBatchStop();
bool BatchStopRequested();
bool BatchStopTaken();
void ClearBatchStop();

// A loop over files or frames starting on item n (1-based) of total: the
// status text, then the progress report. False, with nothing shown, when a
// stop was asked for: the loop ends before the item.
[[nodiscard]] bool BeginItem(TUiPort& port, size_t n, size_t total, const std::string& status,
                             const std::string& what);
// After a row of a picture of `rows` rows that row drivers hand out in
// order: the progress report (in percent), pending messages let through,
// and false when a stop was asked for.
[[nodiscard]] bool RowDone(TUiPort& port, int y, int rows);

// The port's error display for a read or write of the codec that failed.
void ReportFileError(TUiPort& port, uint32_t status, int systemError);

struct TPerFileCommand {
    std::string verb;            // status text before the path, ends with a blank
    unsigned options = ofAllowMultiSelect | ofFileMustExist;
    bool processMessages = true;   // some only redraw the status line
    // A few let messages through only once a file they could read is done,
    // instead of with the status line.
    bool processAfterFile = false;
    bool writeBack = true;         // a command that only reads (measurements) writes nothing; the
                                   // batch is announced to the port only when it writes over its inputs
    TResolutionFields resolution = TResolutionFields::Set96;
    // Runs once the files are chosen, before the first is read: the place for
    // a command's own questions. False ends the command there, with no file
    // touched and the status line left alone.
    std::function<bool()> beforeFiles;
    // The operation on a read record; returns false after showing its own
    // message, and the file is then not written.
    std::function<bool(BmpRecord&)> operation;
};

// For an operation that returns a kernel's status: true (write the file) on
// BMP_NO_ERROR; otherwise the code's text is shown titled "Error" and the
// file stays as it was.
bool ReportRefusal(TUiPort& port, uint32_t status);

// Runs the per-file skeleton. Returns false when the open dialog was
// cancelled, a command that writes back was given a file twice, or
// beforeFiles ended the command; either way the status line is left alone.
bool RunPerFileCommand(TMainState& state, TUiPort& port, const TPerFileCommand& command);
