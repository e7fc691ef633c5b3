// The interaction port under the window: Qt's file dialogs and message
// boxes, the main window's status line, and the event loop.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "untUiPort.h"

class QStatusBar;
class QWidget;
class TStatusProgress;

// A file dialog that keeps its title, filter, folder and file name between
// commands, as the main window's own dialogs do (the filter chosen last
// included). The filter is written the classic way, "Text|*.a;*.b|Text|*.c",
// and shown with those texts. An empty title shows "Open" or "Save As".
class TQtFileDialog : public TFileDialog {
public:
    TQtFileDialog(QWidget* parent, bool save);
    bool Execute() override;

private:
    QPointer<QWidget> parent_;
    bool save_;
    QString chosenFilter_;
};

// Qt name filters for a classic filter string: each description is shown as
// written, its patterns (separated by ';') are what the dialog matches; "*.*"
// means every file, not only names with a dot.
QStringList QtNameFilters(const std::string& classicFilter);

class TQtPort : public TUiPort {
public:
    TQtPort(QWidget* owner, QStatusBar* statusBar);
    ~TQtPort() override;

    TFileDialog& OpenDialog() override { return open_; }
    TFileDialog& SaveDialog() override { return save_; }
    TMsgResult MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) override;
    void SetStatus(const std::string& text) override;
    void ProcessMessages() override;
    // The prompt dialog belongs to the application; it hands it in here.
    std::optional<std::string> GetString(const std::string& title, const std::string& prompt,
                                         const std::string& defaultText, bool digitsOnly) override;
    void ShowException(const std::string& message) override;
    void Progress(int64_t done, int64_t total, const std::string& what) override;
    void BeginBatch(const std::vector<std::string>& files) override;
    void FileWritten(const std::string& path) override;

    // Around every command the window runs: a stop is asked for afresh each
    // time, and a command that a stop ended short is followed by the
    // "Stopped" message saying what was done and what was not.
    void BeginCommand();
    void EndCommand(bool tell = true);
    // That message's text for the command just ended; empty when it was not stopped.
    std::string StoppedText() const;

    // The status bar's progress and Stop button; nullptr without a status bar.
    TStatusProgress* StatusProgress() const { return progress_; }

    // The dialogs of single commands belong to the application, which hands
    // them in once they exist; asking for them before is a programming error.
    TCommandDialogs& Dialogs() override;
    void SetCommandDialogs(TCommandDialogs* dialogs) { dialogs_ = dialogs; }

    std::function<std::optional<std::string>(const std::string& title, const std::string& prompt,
                                             const std::string& defaultText, bool digitsOnly)>
        promptHandler;

private:
    QPointer<QWidget> owner_;
    QPointer<QStatusBar> statusBar_;
    TQtFileDialog open_;
    TQtFileDialog save_;
    TCommandDialogs* dialogs_ = nullptr;
    TStatusProgress* progress_ = nullptr;  // owned by the status bar
    // What the command in hand did, for the stop message.
    std::vector<std::string> batch_;
    std::vector<std::string> written_;
    int64_t itemDone_ = 0, itemTotal_ = 0;
    std::string itemWhat_;
};
