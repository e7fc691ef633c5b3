// "Histogram Modification": one brightness factor from the picture's
// darkest and brightest byte and the two values set here.
#pragma once

#include "untPostProcDialog.h"

class TfrmHistogram : public TPostProcDialog {
    Q_OBJECT
public:
    explicit TfrmHistogram(QWidget* parent = nullptr);

    QLineEdit* edLo = nullptr;
    QSpinBox* UpDownLo = nullptr;  // "Low Value", 0..255
    QLineEdit* edHi = nullptr;
    QSpinBox* UpDownHi = nullptr;  // "High Value", 0..255

    TPostOperation Operation() const override;

protected:
    void ResetSpinners() override;
};
