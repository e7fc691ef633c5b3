// A status bar that long work can be followed on and stopped from: the
// status text elided in the middle, so that a long path keeps its file name
// in view (the whole text is the tooltip), and while work reports progress
// a bar ("n of N" for files, a percentage for rows) with a Stop button.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QProgressBar;
class QPushButton;
class QShortcut;
class QStatusBar;

class TStatusProgress : public QObject {
public:
    explicit TStatusProgress(QStatusBar* bar);

    // The status text, shown at once. The status bar's message is the whole
    // text; what is painted is ShownText(), shortened in the middle to the
    // room there is, with the whole text as the tooltip.
    void ShowText(const QString& text);
    QString ShownText() const;

    // As TUiPort::Progress: item done of total (what names it), rows when
    // what is empty; a total of 0 hides the bar and the button.
    void Progress(int64_t done, int64_t total, const std::string& what);
    void Hide() { Progress(0, 0, std::string()); }
    bool Shown() const { return shown_; }

    // What Stop and Escape (in the bar's window) do: ask the work in hand to
    // stop after its item.
    // Only while the bar is shown; true when it asked.
    bool RequestStop();

    // The width the bar and the button take, for a window that grows to fit them.
    int ExtraWidth() const;
    // Called when the bar appears (true) or goes (false).
    std::function<void(bool shown)> ShownChanged;

    QProgressBar* Bar() const { return bar_; }
    QPushButton* StopButton() const { return stop_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Elide();
    void Paint();
    QRect MessageRect() const;

    QStatusBar* status_;
    QProgressBar* bar_;
    QPushButton* stop_;
    QShortcut* escape_;
    QString text_;
    bool shown_ = false;
    int64_t done_ = -1, total_ = -1;
};
