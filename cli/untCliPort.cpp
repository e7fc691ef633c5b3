#include "untCliPort.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

bool TCliDialog::Execute() {
    if (!queued.empty()) {
        Files = std::move(queued.front());
        queued.pop_front();
        FileName = Files.empty() ? std::string() : Files.front();
        return true;
    }
    if (!answered) return false;
    Files = answer;
    FileName = answer.empty() ? std::string() : answer.front();
    return true;
}

TCliPort::TCliPort(FILE* err) : err_(err), tty_(isatty(fileno(err)) != 0) {}

TCliPort::~TCliPort() { ClearProgress(); }

std::string TrimRight(const std::string& s) {
    const auto end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

void TCliPort::SetInputFiles(std::vector<std::string> files) {
    open_.answer = std::move(files);
    open_.answered = true;
}

void TCliPort::SetOutputFile(const std::string& name) {
    save_.answer = {name};
    save_.answered = true;
}

void TCliPort::ClearProgress() {
    if (progressShown_) {
        std::fputs("\r\033[K", err_);
        std::fflush(err_);
        progressShown_ = false;
    }
}

TMsgResult TCliPort::MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) {
    ClearProgress();
    // A question the user already answered with --yes is not worth a line.
    if (buttons != TMsgButtons::Ok && assumeYes_) return buttons == TMsgButtons::YesNo ? TMsgResult::Yes : TMsgResult::Ok;
    PrintMessage(title, text, 0);
    if (buttons == TMsgButtons::Ok) {
        if (title == "Error") failed_ = true;
        return TMsgResult::Ok;
    }
    std::fputs("  (answered no: pass --yes to go on)\n", err_);
    failed_ = true;
    return buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Cancel;
}

void TCliPort::PrintMessage(const std::string& title, const std::string& text, int systemError) {
    std::string line = TrimRight(text);
    // In a batch the window's status line says which file failed; a script
    // reading standard error needs the name in the message itself.
    if (title == "Error" && !currentFile_.empty() && line.find(currentFile_) == std::string::npos)
        line += ": " + currentFile_;
    if (systemError != 0) line += std::string(": ") + std::strerror(systemError);
    std::fprintf(err_, "%s: %s\n", title.c_str(), line.c_str());
}

void TCliPort::ShowFileError(const std::string& text, int systemError) {
    ClearProgress();
    PrintMessage("Error", text, systemError);
    failed_ = true;
}

void TCliPort::BeginBatch(const std::vector<std::string>& files) {
    batch_ = files;
    written_.assign(files.size(), false);
}

void TCliPort::FileWritten(const std::string& path) {
    for (size_t i = 0; i < batch_.size(); ++i)
        if (!written_[i] && batch_[i] == path) {
            written_[i] = true;
            return;
        }
}

void TCliPort::SummariseBatch(bool stopped) {
    const auto done = static_cast<size_t>(std::count(written_.begin(), written_.end(), true));
    if (batch_.empty() || (!stopped && done == batch_.size())) return;
    ClearProgress();
    std::fprintf(err_, "%s: %zu of %zu frames written\n", stopped ? "Stopped" : "Summary", done, batch_.size());
    for (size_t i = 0; i < batch_.size(); ++i)
        if (!written_[i]) std::fprintf(err_, "Not written: %s\n", batch_[i].c_str());
}

void TCliPort::SetStatus(const std::string& text) {
    if (text == "Idle") currentFile_.clear();
    if (!tty_) return;
    if (text.empty() || text == "Idle") {
        ClearProgress();
        return;
    }
    std::fprintf(err_, "\r\033[K%s", text.c_str());
    std::fflush(err_);
    progressShown_ = true;
}

std::optional<std::string> TCliPort::GetString(const std::string&, const std::string&, const std::string& defaultText,
                                               bool) {
    if (strings_.empty()) return defaultText;
    std::string s = strings_.front();
    strings_.pop_front();
    return s;
}

void TCliPort::ShowException(const std::string& message) {
    ClearProgress();
    std::fprintf(err_, "Error: %s\n", message.c_str());
    failed_ = true;
}

void TCliDialogs::ShowResults(const TResultRows& rows) {
    port_.ClearProgress();
    for (const auto& [label, value] : rows)
        if (!label.empty() || !value.empty()) std::printf("%s %s\n", label.c_str(), value.c_str());
    std::fflush(stdout);
}
