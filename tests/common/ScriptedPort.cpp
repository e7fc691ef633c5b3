#include "ScriptedPort.h"

#include <gtest/gtest.h>

namespace vt {

bool ScriptedDialog::Execute() {
    ++executed;
    initialDirsSeen.push_back(InitialDir);
    if (answers.empty()) {
        ADD_FAILURE() << "the " << kind_ << " dialog was shown but the test prepared no answer";
        return false;
    }
    DialogAnswer a = answers.front();
    answers.pop_front();
    if (!a.ok) return false;
    Files = a.files;
    FileName = a.files.empty() ? std::string() : a.files.front();
    return true;
}

TMsgResult ScriptedPort::MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) {
    messages.push_back({text, title, buttons});
    if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
    if (messageAnswers.empty()) {
        ADD_FAILURE() << "unanswered question: " << title << ": " << text;
        return buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Cancel;
    }
    TMsgResult r = messageAnswers.front();
    messageAnswers.pop_front();
    return r;
}

std::optional<std::string> ScriptedPort::GetString(const std::string& title, const std::string& prompt,
                                                   const std::string& defaultText, bool digitsOnly) {
    prompts.push_back(title + "|" + prompt + "|" + defaultText + "|" + (digitsOnly ? "digits" : "text"));
    if (stringAnswers.empty()) {
        ADD_FAILURE() << "unanswered prompt: " << title << ": " << prompt;
        return std::nullopt;
    }
    auto r = stringAnswers.front();
    stringAnswers.pop_front();
    return r;
}

std::string ScriptedPort::AskPrescaleFactor(const std::string& defaultText) {
    prescaleDefaults.push_back(defaultText);
    if (prescaleAnswers.empty()) {
        ADD_FAILURE() << "unanswered prescale dialog";
        return defaultText;
    }
    std::string r = prescaleAnswers.front();
    prescaleAnswers.pop_front();
    return r;
}

TRenameParms ScriptedPort::AskRenameParms() {
    ++renameAsked;
    if (renameAnswers.empty()) {
        ADD_FAILURE() << "unanswered rename dialog";
        return {};
    }
    TRenameParms r = renameAnswers.front();
    renameAnswers.pop_front();
    return r;
}

}  // namespace vt
