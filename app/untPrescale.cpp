#include "untPrescale.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace {

// Control characters (Backspace, Enter, Ctrl+A...) edit the field; of the
// printable ones only what a decimal factor needs gets in. Nothing outside
// ASCII does either: other scripts' digits would not read as a number.
bool Typable(QChar c) { return c.unicode() < 32 || (c >= u'0' && c <= u'9') || c == u'.'; }

bool AllTypable(const QString& text) { return std::all_of(text.begin(), text.end(), Typable); }

}  // namespace

TfrmPrescale::TfrmPrescale(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("frmPrescale"));
    setWindowTitle(QStringLiteral("Prescale"));
    setFixedSize(156, 88);
    // Never the program's last window: closing it must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 8, 137, 21);
    Edit1->installEventFilter(this);

    btnFactor = new QPushButton(QStringLiteral("OK"), this);
    btnFactor->setObjectName(QStringLiteral("btnFactor"));
    btnFactor->setGeometry(16, 48, 75, 25);
    btnFactor->setDefault(true);  // Enter in the field answers like the button
    connect(btnFactor, &QPushButton::clicked, this, &TfrmPrescale::btnFactorClick);
}

std::string TfrmPrescale::Ask(const std::string& defaultText) {
    Edit1->setText(QString::fromStdString(defaultText));
    Edit1->selectAll();
    Edit1->setFocus();
    exec();
    return Edit1->text().toStdString();
}

void TfrmPrescale::btnFactorClick() { accept(); }

bool TfrmPrescale::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && Edit1KeyPress(event)) return true;
    return QDialog::eventFilter(watched, event);
}

bool TfrmPrescale::Edit1KeyPress(const QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        // Delete is an editing key, though some platforms hand it the
        // character 127; shortcuts (Ctrl+V pastes, Ctrl+A selects) are not
        // typing whatever character they carry. Ctrl+Alt is AltGr on some
        // keyboards and types a character, so it is filtered.
        if (key->key() == Qt::Key_Delete) return false;
        const Qt::KeyboardModifiers mods = key->modifiers();
        if ((mods & (Qt::ControlModifier | Qt::MetaModifier)) && !(mods & Qt::AltModifier)) return false;
        return !AllTypable(key->text());
    }
    // Text composed in an input method is typed too.
    if (event->type() == QEvent::InputMethod)
        return !AllTypable(static_cast<const QInputMethodEvent*>(event)->commitString());
    return false;
}
