// The help viewer: a rich-text file from the program's folder in a
// modeless window, shown beside the main window or the align window.
#pragma once

#include <QWidget>

class QTextEdit;

class TfrmGenHelp : public QWidget {
    Q_OBJECT
public:
    explicit TfrmGenHelp(QWidget* parent = nullptr);

    QTextEdit* RichEdit1 = nullptr;

    // Topic 0: general notes, 1: stacking, anything else: the no-help page.
    void ShowHelpTopic(const QString& caption, int topic);
    // The folder the help files are looked for in (the program's own folder
    // unless a test points it elsewhere), with its trailing separator.
    QString helpFolder;

    static QString TopicFileName(int topic);
};
