#include "untQtPort.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStatusBar>
#include <stdexcept>

#include "untFileNames.h"

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
    : owner_(owner), statusBar_(statusBar), open_(owner, false), save_(owner, true) {}

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
    if (!statusBar_) return;
    statusBar_->showMessage(QString::fromStdString(text));
    // The command keeps the event loop busy: paint now, not when it returns.
    statusBar_->repaint();
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
