// The factor dialog of "Prescale" / "Manual": one field and "OK". Created
// once at start-up and reused; every use starts again from the caller's
// default, and the caller reads the field however the dialog was closed.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

class TfrmPrescale : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPrescale(QWidget* parent = nullptr);

    QLineEdit* Edit1 = nullptr;
    QPushButton* btnFactor = nullptr;

    // Shows defaultText in Edit1, runs the dialog modally and returns Edit1's
    // text as it stands once it is closed, by "OK", Enter or the close box.
    std::string Ask(const std::string& defaultText);

    void btnFactorClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;  // Edit1KeyPress

private:
    // True: the event carries a character the factor may not hold, and is dropped.
    static bool Edit1KeyPress(const QEvent* event);
};
