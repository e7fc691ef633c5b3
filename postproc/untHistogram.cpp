#include "untHistogram.h"

#include <QSpinBox>

TfrmHistogram::TfrmHistogram(QWidget* parent) : TPostProcDialog(parent, false, false) {
    setObjectName(QStringLiteral("frmHistogram"));
    setWindowTitle(QStringLiteral("frmHistogram"));
    setFixedSize(674, 348);
    PlaceCommonControls(8, 315);
    UpDownLo = AddSpinner(QStringLiteral("Low Value"), QStringLiteral("edLo"), QStringLiteral("UpDownLo"), 0, 255, 8,
                          262, &edLo);
    UpDownHi = AddSpinner(QStringLiteral("High Value"), QStringLiteral("edHi"), QStringLiteral("UpDownHi"), 0, 255,
                          96, 262, &edHi);
    ResetSpinners();
}

void TfrmHistogram::ResetSpinners() {
    UpDownLo->setValue(0);
    UpDownHi->setValue(255);
}

TPostOperation TfrmHistogram::Operation() const {
    return THistogramParms{UpDownLo->value(), UpDownHi->value()};
}
