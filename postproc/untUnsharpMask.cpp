#include "untUnsharpMask.h"

#include <QLineEdit>
#include <QSpinBox>

TfrmUnsharpMask::TfrmUnsharpMask(QWidget* parent) : TPostProcDialog(parent, true, true) {
    setObjectName(QStringLiteral("frmUnsharpMask"));
    setWindowTitle(QStringLiteral("Unsharp Mask"));
    // Resizable, 681 x 375 with its frame: the client area under a usual
    // title bar and border. The controls keep their places when it grows.
    resize(673, 348);
    PlaceCommonControls(8, 315);
    UpDownAperture = AddSpinner(QStringLiteral("Aperture"), QStringLiteral("edAperture"),
                                QStringLiteral("UpDownAperture"), 1, 5, 8, 262, &edAperture);
    UpDownIntensity = AddSpinner(QStringLiteral("Intensity"), QStringLiteral("edIntensity"),
                                 QStringLiteral("UpDownIntensity"), 1, 100, 96, 262, &edIntensity);
    if (edAperture) connect(edAperture, &QLineEdit::textChanged, this, &TfrmUnsharpMask::edApertureChange);
    if (edIntensity) connect(edIntensity, &QLineEdit::textChanged, this, &TfrmUnsharpMask::edIntensityChange);
    ResetSpinners();
}

void TfrmUnsharpMask::ResetSpinners() {
    UpDownAperture->setValue(1);
    UpDownIntensity->setValue(100);
}

TPostOperation TfrmUnsharpMask::Operation() const {
    return TUnsharpMaskParms{UpDownAperture->value(), UpDownIntensity->value()};
}
