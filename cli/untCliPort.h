// The interaction port of velmora-cli: dialog answers come from the command
// line, messages go to standard error as "Title: text", the status line
// becomes a progress line on standard error when it is a terminal, and
// questions are answered by flags. It never reads standard input.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "untUiPort.h"

class TCliDialog : public TFileDialog {
public:
    bool Execute() override;
    // What the command line answers: the files (open) or the name (save).
    std::vector<std::string> answer;
    bool answered = false;
    // Answers served, in order, before `answer` (a reference frame's dialog
    // comes before the frames' dialog).
    std::deque<std::vector<std::string>> queued;
};

class TCliPort;

// The command line's answers to the questions single commands ask: what the
// command's options said, or the dialog's own default. A command's factory
// fills these in from its arguments before the command runs.
class TCliDialogs : public TCommandDialogs {
public:
    explicit TCliDialogs(TCliPort& port) : port_(port) {}

    std::optional<std::string> prescaleFactor;  // the factor field's text
    TRenameParms renameParms;

    std::string AskPrescaleFactor(const std::string& defaultText) override {
        return prescaleFactor.value_or(defaultText);
    }
    TRenameParms AskRenameParms() override { return renameParms; }
    // Results go to standard output, "Label value" a line; empty rows are left out.
    void ShowResults(const TResultRows& rows) override;

private:
    TCliPort& port_;
};

class TCliPort : public TUiPort {
public:
    explicit TCliPort(FILE* err = stderr);
    ~TCliPort() override;

    TFileDialog& OpenDialog() override { return open_; }
    TFileDialog& SaveDialog() override { return save_; }
    TMsgResult MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) override;
    void SetStatus(const std::string& text) override;
    void ProcessMessages() override {}
    std::optional<std::string> GetString(const std::string& title, const std::string& prompt,
                                         const std::string& defaultText, bool digitsOnly) override;
    void ShowException(const std::string& message) override;
    // An "Error" message after this names the file ("Error: File error: PATH").
    void BeginFile(const std::string& path) override { currentFile_ = path; }
    TCommandDialogs& Dialogs() override { return dialogs; }
    // The message as MessageBox prints it, then the system's reason.
    void ShowFileError(const std::string& text, int systemError) override;
    void BeginBatch(const std::vector<std::string>& files) override;
    void FileWritten(const std::string& path) override;
    // On a terminal, "n/N name" or the status and a percentage, with the time left.
    void Progress(int64_t done, int64_t total, const std::string& what) override;

    // --quiet: no progress line, only the messages.
    void SetQuiet(bool quiet) { quiet_ = quiet; }

    // Command-line answers.
    void SetInputFiles(std::vector<std::string> files);
    // One open dialog's answer, given before the SetInputFiles one; several
    // are served in the order they were queued.
    void QueueOpenAnswer(std::vector<std::string> files) { open_.queued.push_back(std::move(files)); }
    void SetOutputFile(const std::string& name);
    void SetAssumeYes(bool yes) { assumeYes_ = yes; }
    void QueueString(const std::string& answer) { strings_.push_back(answer); }

    // True once an error was shown, a question was answered No, or a
    // command ended with an error: the exit status is then 1.
    bool Failed() const { return failed_; }
    // A command that ended on a message of its own kind (a lost lock).
    void MarkFailed() { failed_ = true; }

    // Ends the progress line, so that what is written next starts a line of its own.
    void ClearProgress();

    // Once the command is over: a batch over the inputs that left some of
    // them as they were, or that was stopped, says how many frames it wrote
    // and names, a line each, those it did not.
    void SummariseBatch(bool stopped);

    TCliDialogs dialogs{*this};

private:
    TCliDialog open_;
    TCliDialog save_;
    FILE* err_;
    bool tty_;
    bool progressShown_ = false;
    bool quiet_ = false;
    std::string status_;
    // The series being reported: where and when it started, what was drawn last.
    int64_t seriesTotal_ = 0, seriesFirst_ = 0, lastDone_ = 0;
    bool seriesRows_ = false;
    std::chrono::steady_clock::time_point seriesStart_, lastDrawn_;
    std::string lastLine_;
    bool assumeYes_ = false;
    bool failed_ = false;
    std::deque<std::string> strings_;
    std::string currentFile_;
    std::vector<std::string> batch_;
    std::vector<bool> written_;
    size_t filesDone_ = 0;  // FileWritten calls, in a batch or not

    void PrintMessage(const std::string& title, const std::string& text, int systemError);
    void DrawLine(const std::string& line);
};

// The progress line: "done/total name" for a series of files (the name
// without its folder, after the status's words when the status ends with
// the path), "status NN%" for rows, then the time left when it is
// known (secondsLeft >= 0); cut to fit `columns` without splitting a character.
std::string CliProgressLine(int64_t done, int64_t total, const std::string& what, const std::string& status,
                            double secondsLeft, size_t columns);
// "about 40 s left", "about 3 min left", "about 2 h 05 min left".
std::string TimeLeftText(double seconds);

// The message text as the command line prints it: the program's fixed texts
// carry trailing blanks that only a message box hides.
std::string TrimRight(const std::string& s);
