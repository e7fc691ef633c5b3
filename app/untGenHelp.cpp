#include "untGenHelp.h"

#include "untRichText.h"

#include <QCoreApplication>
#include <QPalette>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

TfrmGenHelp::TfrmGenHelp(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName("frmGenHelp");
    setWindowTitle("Stacking Help");
    move(800, 237);
    resize(306, 307);
    helpFolder = QCoreApplication::applicationDirPath() + '/';

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setAcceptRichText(true);
    RichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A help page, not an editor: the pointer stays an arrow over the text.
    RichEdit1->viewport()->setCursor(Qt::ArrowCursor);
    QPalette pal = RichEdit1->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::Text, pal.color(QPalette::ToolTipText));
    RichEdit1->setPalette(pal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RichEdit1);
}

QString TfrmGenHelp::TopicFileName(int topic) {
    switch (topic) {
    case 0: return "VelmoraQCAboutv3.rtf";
    case 1: return "VM3ALIGN.RTF";
    default: return "VM3NOHELP.rtf";
    }
}

void TfrmGenHelp::ShowHelpTopic(const QString& caption, int topic) {
    setWindowTitle(caption);
    const QString path = helpFolder + TopicFileName(topic);
    if (LoadRichTextFile(path, RichEdit1->document())) {
        RichEdit1->moveCursor(QTextCursor::Start);
    } else {
        // Whatever the viewer showed stays; the line goes below it, once per
        // failed attempt, in plain text rather than the last run's format.
        QTextCursor c(RichEdit1->document());
        c.movePosition(QTextCursor::End);
        if (!RichEdit1->document()->isEmpty()) c.insertBlock(QTextBlockFormat(), QTextCharFormat());
        c.insertText("Help files not found in program directory.", QTextCharFormat());
        RichEdit1->setTextCursor(c);
        RichEdit1->ensureCursorVisible();
    }
    const bool wasVisible = isVisible();
    show();
    if (wasVisible) {  // already open, perhaps behind another window
        raise();
        activateWindow();
    }
}
