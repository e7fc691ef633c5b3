// The scripted interaction port, which answers single commands' questions
// too: it serves prepared answers and records every status text, message box
// and question in order, so a test can assert on the exact sequence a user
// would have seen. A question it has no answer for fails the test instead of
// guessing.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "untUiPort.h"

namespace vt {

struct MessageEvent {
    std::string text;
    std::string title;
    TMsgButtons buttons;
};

struct ProgressEvent {
    int64_t done;
    int64_t total;
    std::string what;
};

struct DialogAnswer {
    bool ok = true;
    std::vector<std::string> files;  // a save dialog's name is files[0]
};

class ScriptedDialog : public TFileDialog {
public:
    explicit ScriptedDialog(const char* kind) : kind_(kind) {}
    bool Execute() override;
    std::deque<DialogAnswer> answers;
    std::vector<std::string> initialDirsSeen;  // InitialDir at each Execute
    int executed = 0;

private:
    const char* kind_;
};

class ScriptedPort : public TUiPort, public TCommandDialogs {
public:
    // A stop asked for by an earlier test must not reach this one.
    ScriptedPort();
    ~ScriptedPort() override;

    // Scripting.
    void AnswerOpen(std::vector<std::string> files) { open_.answers.push_back({true, std::move(files)}); }
    void CancelOpen() { open_.answers.push_back({false, {}}); }
    void AnswerSave(const std::string& name) { save_.answers.push_back({true, {name}}); }
    void CancelSave() { save_.answers.push_back({false, {}}); }
    void AnswerMessage(TMsgResult r) { messageAnswers.push_back(r); }
    void AnswerString(std::optional<std::string> s) { stringAnswers.push_back(std::move(s)); }
    void AnswerPrescale(const std::string& text) { prescaleAnswers.push_back(text); }
    void AnswerRename(const std::string& root, bool padded) { renameAnswers.push_back({root, padded}); }

    // TUiPort
    TFileDialog& OpenDialog() override { return open_; }
    TFileDialog& SaveDialog() override { return save_; }
    TMsgResult MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) override;
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void ProcessMessages() override { ++processMessagesCalls; }
    // Recorded; asks for a stop where stopWhen says so (a user pressing Stop
    // while that file or row is in hand).
    void Progress(int64_t done, int64_t total, const std::string& what) override;
    void BeginBatch(const std::vector<std::string>& files) override { batch = files; }
    void FileWritten(const std::string& path) override { written.push_back(path); }
    std::optional<std::string> GetString(const std::string& title, const std::string& prompt,
                                         const std::string& defaultText, bool digitsOnly) override;
    // Only the front ends show an error that ended a command; a command body
    // that calls this has kept to itself an error it should let escape.
    void ShowException(const std::string& message) override;
    TCommandDialogs& Dialogs() override { return *this; }

    // TCommandDialogs
    std::string AskPrescaleFactor(const std::string& defaultText) override;
    TRenameParms AskRenameParms() override;
    void ShowResults(const TResultRows&) override {}

    ScriptedDialog& open() { return open_; }
    ScriptedDialog& save() { return save_; }
    std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }

    // Recorded.
    std::vector<std::string> statuses;
    std::vector<MessageEvent> messages;
    std::vector<std::string> prompts;  // each prompt shown, as "title|prompt|default|digits" (or "|text")
    std::vector<std::string> prescaleDefaults;  // the text the prescale dialog was shown with
    int renameAsked = 0;                         // times the rename dialog was shown
    long processMessagesCalls = 0;
    std::vector<ProgressEvent> progress;
    std::function<bool(const ProgressEvent&)> stopWhen;
    std::vector<std::string> batch, written;

    // Not served yet.
    std::deque<TMsgResult> messageAnswers;
    std::deque<std::optional<std::string>> stringAnswers;
    std::deque<std::string> prescaleAnswers;
    std::deque<TRenameParms> renameAnswers;

private:
    ScriptedDialog open_{"open"};
    ScriptedDialog save_{"save"};
};

}  // namespace vt
