// The parameters dialog of "Rename": a root name and the numbering style.
// One instance lives as long as the program, so what the user set last time
// is shown again; nothing is kept across runs. It has no cancel: however it
// is closed, the caller gets the values shown.
#pragma once

#include <QDialog>

#include "untCommandDialogs.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TfrmRenameParms : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRenameParms(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QGroupBox* rgType = nullptr;  // "Suffix": item 0 "Normal (1..10)", item 1 "Padded(01..10)"
    QPushButton* Button1 = nullptr;

    // The radio group's selected item (0 or 1), and the item's button.
    int ItemIndex() const;
    QRadioButton* Item(int index) const;

    // Runs the dialog modally and returns the values it shows once closed.
    TRenameParms Ask();

    void Button1Click();

private:
    QButtonGroup* items_ = nullptr;
};
