#include "untQtPort.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStatusBar>
#include <algorithm>
#include <stdexcept>

#include "untBatch.h"
#include "untFileNames.h"
#include "untStatusProgress.h"

QStringList QtNameFilters(const std::string& classicFilter) {
    const QStringList parts = QString::fromStdString(classicFilter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString p = pattern.trimmed();
            patterns << (p == QLatin1String("*.*") ? QStringLiteral("*") : p);
        }
        // With HideNameFilterDetails the dialog shows everything before the
        // last parenthesised group: the description exactly as written.
        filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

TQtFileDialog::TQtFileDialog(QWidget* parent, bool save) : parent_(parent), save_(save) {}

bool TQtFileDialog::Execute() {
    QString title = QString::fromStdString(Title);
    if (title.isEmpty()) title = save_ ? QStringLiteral("Save As") : QStringLiteral("Open");
    QFileDialog dlg(parent_, title);
    // Qt's own dialog behaves the same on every desktop, and tests can drive it.
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setOption(QFileDialog::HideNameFilterDetails);
    if (save_) {
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        // Qt would ask about the typed name; the question below asks about
        // the name the command will write.
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dlg.setFileMode((Options & ofAllowMultiSelect) ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    const QStringList filters = QtNameFilters(Filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        if (filters.contains(chosenFilter_)) dlg.selectNameFilter(chosenFilter_);
    }
    if (!InitialDir.empty()) dlg.setDirectory(QString::fromStdString(InitialDir));
    // Only the name: a folder in it would override the initial folder.
    if (!FileName.empty()) dlg.selectFile(QFileInfo(QString::fromStdString(FileName)).fileName());

    QStringList chosen;
    while (true) {
        if (dlg.exec() != QDialog::Accepted) return false;
        chosen = dlg.selectedFiles();
        if (chosen.isEmpty()) return false;
        if (!save_) break;
        // The question is about the file that will be written: the command
        // adds ".bmp" to a name without a dot. No goes back to the dialog.
        const QFileInfo target(QString::fromStdString(ApplySaveExtension(chosen.front().toStdString())));
        if (!target.exists()) break;
        QMessageBox box(QMessageBox::Warning, title,
                        target.fileName() + QStringLiteral(" already exists.\nDo you want to replace it?"),
                        QMessageBox::Yes | QMessageBox::No, parent_);
        box.setTextFormat(Qt::PlainText);
        if (box.exec() == QMessageBox::Yes) break;
    }
    chosenFilter_ = dlg.selectedNameFilter();

    Files.clear();
    for (const QString& file : chosen) Files.push_back(file.toStdString());
    FileName = Files.front();
    return true;
}

TQtPort::TQtPort(QWidget* owner, QStatusBar* statusBar)
    : owner_(owner), statusBar_(statusBar), open_(owner, false), save_(owner, true) {
    if (statusBar_) progress_ = new TStatusProgress(statusBar_);
}

TQtPort::~TQtPort() = default;

void TQtPort::Progress(int64_t done, int64_t total, const std::string& what) {
    if (!what.empty() && total > 0) {
        itemDone_ = done;
        itemTotal_ = total;
        itemWhat_ = what;
    }
    if (progress_ && statusBar_) progress_->Progress(done, total, what);
    // Commands that otherwise keep the window still between files must let
    // a press of Stop through.
    QCoreApplication::processEvents();
}

void TQtPort::BeginBatch(const std::vector<std::string>& files) {
    batch_ = files;
    written_.clear();
}

void TQtPort::FileWritten(const std::string& path) { written_.push_back(path); }

void TQtPort::BeginCommand() {
    ClearBatchStop();
    batch_.clear();
    written_.clear();
    itemDone_ = itemTotal_ = 0;
    itemWhat_.clear();
}

namespace {

// The names a message box can show without growing past the screen.
std::string NameList(const std::vector<std::string>& names) {
    constexpr size_t kShown = 10;
    std::string list;
    for (size_t i = 0; i < names.size() && i < kShown; ++i) list += "\n" + names[i];
    if (names.size() > kShown) list += "\n... and " + std::to_string(names.size() - kShown) + " more";
    return list;
}

}  // namespace

std::string TQtPort::StoppedText() const {
    if (!BatchStopTaken()) return {};
    std::vector<std::string> notDone;
    size_t done = 0, total = 0;
    if (!batch_.empty()) {
        // Names the command worked on, each as often as it was written.
        std::vector<std::string> left = written_;
        for (const std::string& file : batch_) {
            const auto it = std::find(left.begin(), left.end(), file);
            if (it != left.end())
                left.erase(it);
            else
                notDone.push_back(file);
        }
        total = batch_.size();
        done = total - notDone.size();
        return std::to_string(done) + " of " + std::to_string(total) +
               " files were written before the stop.\n\nNot written:" + NameList(notDone);
    }
    if (!written_.empty() && itemTotal_ > 0) {
        // Files done one by one without being announced (renamed, converted):
        // those after the one in hand were not touched.
        const std::vector<std::string>& chosen = open_.Files;
        const auto at = std::find(chosen.begin(), chosen.end(), itemWhat_);
        if (at != chosen.end()) notDone.assign(at + 1, chosen.end());
        return std::to_string(itemDone_) + " of " + std::to_string(itemTotal_) +
               " files were done before the stop.\n\nNot done:" + NameList(notDone);
    }
    return "Stopped before the result was written.";
}

void TQtPort::EndCommand(bool tell) {
    if (progress_) progress_->Hide();
    const std::string text = StoppedText();
    ClearBatchStop();
    if (tell && !text.empty()) MessageBox(text, "Stopped", TMsgButtons::Ok);
}

TMsgResult TQtPort::MessageBox(const std::string& text, const std::string& title, TMsgButtons buttons) {
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    if (buttons == TMsgButtons::OkCancel) qtButtons = QMessageBox::Ok | QMessageBox::Cancel;
    if (buttons == TMsgButtons::YesNo) qtButtons = QMessageBox::Yes | QMessageBox::No;
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text), qtButtons,
                    owner_);
    box.setTextFormat(Qt::PlainText);  // paths may hold '<' or '&'
    // The close box answers No or Cancel where there is one, OK otherwise.
    switch (box.exec()) {
        case QMessageBox::Yes: return TMsgResult::Yes;
        case QMessageBox::No: return TMsgResult::No;
        case QMessageBox::Cancel: return TMsgResult::Cancel;
        case QMessageBox::Ok: return TMsgResult::Ok;
        default: return buttons == TMsgButtons::Ok ? TMsgResult::Ok
                        : buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Cancel;
    }
}

void TQtPort::SetStatus(const std::string& text) {
    if (!statusBar_ || !progress_) return;
    progress_->ShowText(QString::fromStdString(text));
}

void TQtPort::ProcessMessages() { QCoreApplication::processEvents(); }

std::optional<std::string> TQtPort::GetString(const std::string& title, const std::string& prompt,
                                              const std::string& defaultText, bool digitsOnly) {
    if (!promptHandler) return std::nullopt;
    return promptHandler(title, prompt, defaultText, digitsOnly);
}

void TQtPort::ShowException(const std::string& message) {
    QString title = QGuiApplication::applicationDisplayName();
    if (title.isEmpty()) title = QStringLiteral("Velmora");
    QMessageBox box(QMessageBox::Critical, title, QString::fromStdString(message), QMessageBox::Ok, owner_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

TCommandDialogs& TQtPort::Dialogs() {
    if (!dialogs_) throw std::logic_error("The window's dialogs are not set up.");
    return *dialogs_;
}
