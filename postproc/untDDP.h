// "DDP": lifts faint detail and holds bright areas below saturation.
#pragma once

#include "untPostProcDialog.h"

class TfrmDDP : public TPostProcDialog {
    Q_OBJECT
public:
    explicit TfrmDDP(QWidget* parent = nullptr);

    QLineEdit* edLo = nullptr;
    QSpinBox* UpDownLo = nullptr;  // "Low Value", 1..255: the output offset
    QLineEdit* edHi = nullptr;
    QSpinBox* UpDownHi = nullptr;  // "High Value", 1..255: added to the denominator
    QLineEdit* edFuzz = nullptr;
    QSpinBox* UpDownFuzz = nullptr;  // "Fuzz Factor", 0..5: radius of the local mean

    TPostOperation Operation() const override;

protected:
    void ResetSpinners() override;
};
