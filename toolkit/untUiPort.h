// The interaction port: what every command needs of the platform. Commands
// talk only to this interface (and the dialogs behind it), so the same
// command body runs under the window, under velmora-cli and under the tests'
// scripted port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "untCommandDialogs.h"

enum class TMsgButtons { Ok, OkCancel, YesNo };
enum class TMsgResult { Ok, Cancel, Yes, No };

// Open-dialog options the commands use.
enum TOpenOption : unsigned {
    ofAllowMultiSelect = 1u << 0,
    ofFileMustExist = 1u << 1,
};

// A file dialog keeps its settings between commands, as the main window's
// dialogs do: a command sets what it needs and reads the answer back.
class TFileDialog {
public:
    virtual ~TFileDialog() = default;

    std::string Title;
    std::string Filter;
    std::string InitialDir;
    std::string FileName;            // the chosen (or default) name
    std::vector<std::string> Files;  // the chosen files, in the dialog's order
    unsigned Options = 0;

    // Runs the dialog; true when the user chose, false on Cancel.
    [[nodiscard]] virtual bool Execute() = 0;
};

class TUiPort {
public:
    virtual ~TUiPort() = default;

    virtual TFileDialog& OpenDialog() = 0;
    virtual TFileDialog& SaveDialog() = 0;

    // A modal box with the program's text and title.
    virtual TMsgResult MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) = 0;

    // The one-line status, shown at once.
    virtual void SetStatus(const std::string& text) = 0;
    // Lets pending user-interface work happen inside long loops.
    virtual void ProcessMessages() = 0;

    // The prompt dialog: nullopt when cancelled.
    virtual std::optional<std::string> GetString(const std::string& title, const std::string& prompt,
                                                 const std::string& defaultText, bool digitsOnly) = 0;

    // The questions that one command alone asks. They sit behind the port,
    // not on it, so that a command's new dialog leaves this interface alone
    // while a command still needs nothing but the port.
    virtual TCommandDialogs& Dialogs() = 0;

    // A file-by-file command is about to work on path. The window shows the
    // path on the status line already; the command line uses it to say which
    // file a later error message is about.
    virtual void BeginFile(const std::string& path) { (void)path; }

    // An error about a file the system refused, systemError being its errno
    // value (0 when no system call failed). The window shows the program's
    // text alone; the command line adds the system's reason.
    virtual void ShowFileError(const std::string& text, int systemError) {
        (void)systemError;
        MessageBox(text, "Error", TMsgButtons::Ok);
    }

    // A command that writes over its input files starts on these; it calls
    // FileWritten for each one it replaced. The command line ends a batch
    // that did not replace them all with a summary naming the rest, so that
    // nobody runs a command twice over the frames already done.
    virtual void BeginBatch(const std::vector<std::string>& files) { (void)files; }
    virtual void FileWritten(const std::string& path) { (void)path; }

    // How far long work is. For a series of files or frames, `what` names
    // the one now in hand, the done-th of total (1 .. total); for the rows
    // of one picture `what` is empty and done rows of total are finished.
    // A total of 0 ends the report. The window shows a progress bar with a
    // Stop button, the command line a line with the time left. Between
    // items a loop asks BatchStopRequested() (untBatch.h) whether to stop.
    virtual void Progress(int64_t done, int64_t total, const std::string& what) {
        (void)done, (void)total, (void)what;
    }

    // The default display of an error that ended a command.
    virtual void ShowException(const std::string& message) = 0;
};
