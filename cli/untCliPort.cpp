#include "untCliPort.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "untBatch.h"
#include "untFileNames.h"

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
    ++filesDone_;
    for (size_t i = 0; i < batch_.size(); ++i)
        if (!written_[i] && batch_[i] == path) {
            written_[i] = true;
            return;
        }
}

void TCliPort::SummariseBatch(bool stopped) {
    const auto done = static_cast<size_t>(std::count(written_.begin(), written_.end(), true));
    if (batch_.empty() && stopped && BatchStopTaken()) {
        // Files renamed or converted one by one, or a master frame or a
        // stack whose result the stop came before.
        ClearProgress();
        if (filesDone_ > 0)
            std::fprintf(err_, "Stopped after %zu files\n", filesDone_);
        else
            std::fputs("Stopped before the result was written\n", err_);
        return;
    }
    if (batch_.empty() || (!stopped && done == batch_.size())) return;
    ClearProgress();
    std::fprintf(err_, "%s: %zu of %zu frames written\n", stopped ? "Stopped" : "Summary", done, batch_.size());
    for (size_t i = 0; i < batch_.size(); ++i)
        if (!written_[i]) std::fprintf(err_, "Not written: %s\n", batch_[i].c_str());
}

void TCliPort::SetStatus(const std::string& text) {
    if (text == "Idle") currentFile_.clear();
    status_ = text;
    if (!tty_ || quiet_) return;
    if (text.empty() || text == "Idle") {
        ClearProgress();
        return;
    }
    // While rows are reported the status changes row by row: the progress
    // report draws it with its percentage a few times a second.
    if (seriesRows_ && seriesTotal_ > 0) return;
    DrawLine(text);
}

void TCliPort::DrawLine(const std::string& line) {
    winsize size{};
    const size_t columns = ioctl(fileno(err_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    // A line wider than the terminal would wrap, and the next one could not
    // take its place.
    const std::string shown = CliProgressLine(0, 0, std::string(), line, -1, columns);
    std::fprintf(err_, "\r\033[K%s", shown.c_str());
    std::fflush(err_);
    progressShown_ = true;
}

void TCliPort::Progress(int64_t done, int64_t total, const std::string& what) {
    if (total <= 0) {
        seriesTotal_ = 0;
        seriesRows_ = false;
        return;
    }
    if (!tty_ || quiet_) return;
    const auto now = std::chrono::steady_clock::now();
    const bool rows = what.empty();
    if (total != seriesTotal_ || rows != seriesRows_ || done < lastDone_) {
        seriesTotal_ = total;
        seriesRows_ = rows;
        seriesFirst_ = done;
        seriesStart_ = now;
        lastDrawn_ = {};
    }
    lastDone_ = done;
    // Rows come by the thousand: a few lines a second are enough.
    if (rows && done < total && now - lastDrawn_ < std::chrono::milliseconds(200)) return;
    lastDrawn_ = now;
    // Items are counted from the one in hand, rows from those finished.
    const int64_t finished = done - seriesFirst_;
    const int64_t left = rows ? total - done : total - done + 1;
    const double elapsed = std::chrono::duration<double>(now - seriesStart_).count();
    const double secondsLeft = finished > 0 && elapsed >= 1.0 ? elapsed / double(finished) * double(left) : -1.0;
    DrawLine(CliProgressLine(done, total, what, status_, secondsLeft, 0));
}

std::string TimeLeftText(double seconds) {
    const long s = std::lround(std::max(seconds, 1.0));
    char text[64];
    if (s < 60)
        std::snprintf(text, sizeof text, "about %ld s left", s);
    else if (s < 3600)
        std::snprintf(text, sizeof text, "about %ld min left", (s + 30) / 60);
    else
        std::snprintf(text, sizeof text, "about %ld h %02ld min left", s / 3600, (s % 3600) / 60);
    return text;
}

std::string CliProgressLine(int64_t done, int64_t total, const std::string& what, const std::string& status,
                            double secondsLeft, size_t columns) {
    std::string line;
    if (total <= 0)
        line = status;
    else if (!what.empty()) {
        // The status's own words before the name stay: "Subtracting 3/40 light_0003.bmp".
        const bool named = status.size() > what.size() && status.compare(status.size() - what.size(), what.size(), what) == 0;
        line = (named ? status.substr(0, status.size() - what.size()) : std::string()) + std::to_string(done) + "/" +
               std::to_string(total) + " " + ExtractFileName(what);
    }
    else
        line = (status.empty() ? std::string() : status + " ") + std::to_string(done * 100 / total) + "%";
    if (secondsLeft >= 0) line += ", " + TimeLeftText(secondsLeft);
    if (columns > 1 && line.size() > columns - 1) {
        size_t cut = columns - 1;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        line.resize(cut);
    }
    return line;
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
