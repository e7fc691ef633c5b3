// The scripted interaction port: serves prepared answers and records every
// status text and message box in order, so a test can assert on the exact
// sequence a user would have seen. A question it has no answer for fails
// the test instead of guessing.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "untUiPort.h"

namespace vt {

struct DialogAnswer {
    bool ok = true;
    std::vector<std::string> files;  // open dialog: chosen files; save dialog: files[0] is the name
};

struct MessageEvent {
    std::string text;
    std::string title;
    TMsgButtons buttons;
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

class ScriptedPort : public TUiPort {
public:
    ScriptedPort() : open_("open"), save_("save") {}

    // Scripting.
    void AnswerOpen(std::vector<std::string> files) { open_.answers.push_back({true, std::move(files)}); }
    void CancelOpen() { open_.answers.push_back({false, {}}); }
    void AnswerSave(const std::string& name) { save_.answers.push_back({true, {name}}); }
    void CancelSave() { save_.answers.push_back({false, {}}); }
    void AnswerMessage(TMsgResult r) { messageAnswers.push_back(r); }
    void AnswerString(std::optional<std::string> s) { stringAnswers.push_back(std::move(s)); }

    // TUiPort
    TFileDialog& OpenDialog() override { return open_; }
    TFileDialog& SaveDialog() override { return save_; }
    TMsgResult MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) override;
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void ProcessMessages() override { ++processMessagesCalls; }
    std::optional<std::string> GetString(const std::string& title, const std::string& prompt,
                                         const std::string& defaultText, bool digitsOnly) override;
    void ShowException(const std::string& message) override { exceptions.push_back(message); }
    std::string AskPrescaleFactor(const std::string& defaultText) override;
    void ShowResults(const std::vector<std::pair<std::string, std::string>>& rows) override { results.push_back(rows); }
    void AnswerPrescale(const std::string& text) { prescaleAnswers.push_back(text); }
    TRenameParms AskRenameParms() override;
    void AnswerRename(const std::string& root, bool padded) { renameAnswers.push_back({root, padded}); }

    ScriptedDialog& open() { return open_; }
    ScriptedDialog& save() { return save_; }

    // Recorded.
    std::vector<std::string> statuses;
    std::vector<MessageEvent> messages;
    std::vector<std::string> exceptions;
    std::vector<std::string> prescaleDefaults;  // the text the prescale dialog was shown with
    std::vector<std::vector<std::pair<std::string, std::string>>> results;
    std::deque<std::string> prescaleAnswers;
    std::deque<TRenameParms> renameAnswers;
    int renameAsked = 0;  // times the rename dialog was shown
    std::vector<std::string> prompts;  // each prompt shown, as "title|prompt|default|digits" (or "|text")
    long processMessagesCalls = 0;

    std::deque<TMsgResult> messageAnswers;
    std::deque<std::optional<std::string>> stringAnswers;

    std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }

private:
    ScriptedDialog open_;
    ScriptedDialog save_;
};

}  // namespace vt
