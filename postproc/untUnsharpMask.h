// "Unsharp Mask": subtracts a share of the box mean, then lifts the result
// so that the brightest point keeps its brightness.
#pragma once

#include "untPostProcDialog.h"

class TfrmUnsharpMask : public TPostProcDialog {
    Q_OBJECT
public:
    explicit TfrmUnsharpMask(QWidget* parent = nullptr);

    QLineEdit* edAperture = nullptr;
    QSpinBox* UpDownAperture = nullptr;  // "Aperture", 1..5: radius of the box mean
    QLineEdit* edIntensity = nullptr;
    QSpinBox* UpDownIntensity = nullptr;  // "Intensity", 1..100: percent of the mean subtracted

    TPostOperation Operation() const override;

    // The fields' change handlers: the values are read when Calculate runs.
    void edApertureChange() {}
    void edIntensityChange() {}

protected:
    void ResetSpinners() override;
};
