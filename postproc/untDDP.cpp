#include "untDDP.h"

#include <QSpinBox>

TfrmDDP::TfrmDDP(QWidget* parent) : TPostProcDialog(parent, true, true) {
    setObjectName(QStringLiteral("frmDDP"));
    setWindowTitle(QStringLiteral("DDP"));
    setFixedSize(668, 347);
    PlaceCommonControls(8, 314);
    UpDownLo = AddSpinner(QStringLiteral("Low Value"), QStringLiteral("edLo"), QStringLiteral("UpDownLo"), 1, 255, 8,
                          262, &edLo);
    UpDownHi = AddSpinner(QStringLiteral("High Value"), QStringLiteral("edHi"), QStringLiteral("UpDownHi"), 1, 255,
                          96, 262, &edHi);
    UpDownFuzz = AddSpinner(QStringLiteral("Fuzz Factor"), QStringLiteral("edFuzz"), QStringLiteral("UpDownFuzz"), 0,
                            5, 184, 262, &edFuzz);
    ResetSpinners();
}

void TfrmDDP::ResetSpinners() {
    UpDownLo->setValue(1);
    UpDownHi->setValue(64);
    UpDownFuzz->setValue(1);
}

TPostOperation TfrmDDP::Operation() const {
    return TDDPParms{UpDownLo->value(), UpDownHi->value(), UpDownFuzz->value()};
}
