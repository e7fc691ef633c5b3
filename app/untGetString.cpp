#include "untGetString.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace {

// Only the ASCII digits: the numbers typed here go through a plain
// string-to-integer conversion, which knows no other script's digits.
bool Typable(QChar c) { return (c >= u'0' && c <= u'9') || !c.isPrint(); }

bool AllTypable(const QString& text) {
    return std::all_of(text.begin(), text.end(), Typable);
}

}  // namespace

TfrmGetString::TfrmGetString(QWidget* parent) : QDialog(parent) {
    setObjectName("frmGetString");
    setFixedSize(328, 147);

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(16, 16, 328 - 2 * 16, 24);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->move(16, 48);
    Edit1->resize(193, Edit1->sizeHint().height());
    Edit1->installEventFilter(this);

    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    Button1->move(16, 80);
    Button1->setDefault(true);  // Enter in the field answers like the button
    connect(Button1, &QPushButton::clicked, this, &TfrmGetString::Button1Click);
}

std::string TfrmGetString::Ask(const std::string& title, const std::string& prompt, const std::string& defaultText,
                               bool digitsOnly) {
    setWindowTitle(QString::fromStdString(title));
    Label1->setText(QString::fromStdString(prompt));
    DigitsOnly = digitsOnly ? 1 : 0;
    Edit1->setText(QString::fromStdString(defaultText));
    Edit1->selectAll();
    Edit1->setFocus();
    exec();
    return Edit1->text().toStdString();
}

void TfrmGetString::Button1Click() { accept(); }

bool TfrmGetString::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && Edit1KeyPress(event)) return true;
    return QDialog::eventFilter(watched, event);
}

bool TfrmGetString::Edit1KeyPress(const QEvent* event) const {
    if (DigitsOnly != 1) return false;
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        // Ctrl and Meta make a key a shortcut (Ctrl+V pastes, Ctrl+A selects)
        // whatever character it carries; Ctrl+Alt is AltGr on some systems
        // and types a character, so it is filtered like any other key.
        const Qt::KeyboardModifiers mods = key->modifiers();
        const bool shortcut = (mods & (Qt::ControlModifier | Qt::MetaModifier)) && !(mods & Qt::AltModifier);
        return !shortcut && !AllTypable(key->text());
    }
    // Text composed in an input method is typed too.
    if (event->type() == QEvent::InputMethod)
        return !AllTypable(static_cast<const QInputMethodEvent*>(event)->commitString());
    return false;
}
