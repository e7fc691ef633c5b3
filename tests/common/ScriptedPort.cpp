#include "ScriptedPort.h"

#include <gtest/gtest.h>

#include "untBatch.h"

namespace vt {

namespace {

// The first of the answers left, which it takes; with none left the test
// fails and `unanswered` is served.
template <class T>
T Next(std::deque<T>& answers, const std::string& question, T unanswered) {
    if (answers.empty()) {
        ADD_FAILURE() << "unanswered " << question;
        return unanswered;
    }
    T next = std::move(answers.front());
    answers.pop_front();
    return next;
}

}  // namespace

ScriptedPort::ScriptedPort() { ClearBatchStop(); }
ScriptedPort::~ScriptedPort() { ClearBatchStop(); }

void ScriptedPort::Progress(int64_t done, int64_t total, const std::string& what) {
    progress.push_back({done, total, what});
    if (stopWhen && stopWhen(progress.back())) RequestBatchStop();
}

void ScriptedPort::ShowException(const std::string& message) { ADD_FAILURE() << "error shown by a command: " << message; }

bool ScriptedDialog::Execute() {
    ++executed;
    initialDirsSeen.push_back(InitialDir);
    const DialogAnswer answer = Next(answers, std::string("question: the ") + kind_ + " dialog", DialogAnswer{false, {}});
    if (!answer.ok) return false;
    Files = answer.files;
    FileName = Files.empty() ? std::string() : Files.front();
    return true;
}

TMsgResult ScriptedPort::MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) {
    messages.push_back({text, title, buttons});
    if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
    return Next(messageAnswers, "question: " + title + ": " + text,
                buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Cancel);
}

std::optional<std::string> ScriptedPort::GetString(const std::string& title, const std::string& prompt,
                                                   const std::string& defaultText, bool digitsOnly) {
    prompts.push_back(title + "|" + prompt + "|" + defaultText + "|" + (digitsOnly ? "digits" : "text"));
    return Next<std::optional<std::string>>(stringAnswers, "prompt: " + title + ": " + prompt, std::nullopt);
}

std::string ScriptedPort::AskPrescaleFactor(const std::string& defaultText) {
    prescaleDefaults.push_back(defaultText);
    return Next(prescaleAnswers, "prescale dialog", defaultText);
}

TRenameParms ScriptedPort::AskRenameParms() {
    ++renameAsked;
    return Next(renameAnswers, "rename dialog", TRenameParms{});
}

}  // namespace vt
