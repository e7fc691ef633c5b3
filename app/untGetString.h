// The one-line prompt: a prompt label, one edit field and "OK". Created once
// and reused; each caller sets caption, prompt, DigitsOnly and the default,
// shows it modally and reads Edit1 afterwards. The close box returns as OK
// does: the caller takes the field's text as it stands.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class TfrmGetString : public QDialog {
    Q_OBJECT
public:
    explicit TfrmGetString(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    // 1: typed characters other than digits and control characters are
    // dropped; pasted text is taken as it is.
    int DigitsOnly = 0;

    // The whole calling protocol in one call: returns Edit1's text after the dialog closed.
    std::string Ask(const std::string& title, const std::string& prompt, const std::string& defaultText,
                    bool digitsOnly);

    void Button1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;  // Edit1KeyPress

private:
    bool Edit1KeyPress(const QEvent* event) const;  // true: the event is dropped
};
