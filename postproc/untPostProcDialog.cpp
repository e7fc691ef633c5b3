#include "untPostProcDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "untBitmapView.h"

namespace {

// A pane starts white, as an empty picture does, so a preview smaller than
// the pane shows on a plain background and nothing of the last picture.
TBitmap BlankPane(int width, int height) {
    TBitmap pane(width, height, pf24bit);
    for (int y = 0; y < height; ++y) std::memset(pane.ScanLine(y), 255, pane.RowBytes());
    return pane;
}

QPushButton* AddButton(QWidget* parent, const QString& caption, const QString& name) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // Enter in a number field must not press Ok for the user.
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TPostProcDialog::TPostProcDialog(QWidget* parent, bool busyButtons, bool redrawWork)
    : QDialog(parent), busyButtons_(busyButtons), redrawWork_(redrawWork) {
    // Never the program's last window: closing it must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    NormImage = new QLabel(this);
    NormImage->setObjectName(QStringLiteral("NormImage"));
    HistImage = new QLabel(this);
    HistImage->setObjectName(QStringLiteral("HistImage"));
    for (QLabel* pane : {NormImage, HistImage}) {
        pane->setFixedSize(kPaneWidth, kPaneHeight);
        pane->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    btnCalc = AddButton(this, QStringLiteral("Calculate"), QStringLiteral("btnCalc"));
    btnOk = AddButton(this, QStringLiteral("Ok"), QStringLiteral("btnOk"));
    btnCancel = AddButton(this, QStringLiteral("Cancel"), QStringLiteral("btnCancel"));
    btnHelp = AddButton(this, QStringLiteral("Help"), QStringLiteral("btnHelp"));
    connect(btnCalc, &QPushButton::clicked, this, &TPostProcDialog::btnCalcClick);
    connect(btnOk, &QPushButton::clicked, this, &TPostProcDialog::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TPostProcDialog::btnCancelClick);
}

void TPostProcDialog::PlaceCommonControls(int top, int buttonsTop) {
    const int margin = 8;
    NormImage->move(margin, top);
    HistImage->move(width() - margin - kPaneWidth, top);
    int x = width() - margin;
    for (QPushButton* button : {btnHelp, btnCancel, btnOk, btnCalc}) {
        x -= 75;
        button->setGeometry(x, buttonsTop, 75, 25);
        x -= margin;
    }
}

QSpinBox* TPostProcDialog::AddSpinner(const QString& caption, const QString& fieldName, const QString& spinnerName,
                                      int min, int max, int x, int y, QLineEdit** field) {
    auto* label = new QLabel(caption, this);
    label->setGeometry(x, y, 80, 16);
    auto* spinner = new QSpinBox(this);
    spinner->setObjectName(spinnerName);
    spinner->setRange(min, max);
    spinner->setGeometry(x, y + 18, 65, 24);
    *field = spinner->findChild<QLineEdit*>();
    if (*field) (*field)->setObjectName(fieldName);
    label->setBuddy(spinner);
    return spinner;
}

void TPostProcDialog::ShowModal() {
    failure_ = nullptr;
    exec();
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void TPostProcDialog::showEvent(QShowEvent* event) {
    // A shown dialog must never offer the work and result of an earlier picture.
    if (!event->spontaneous()) {
        try {
            FormShow();
        } catch (...) {
            failure_ = std::current_exception();
            QMetaObject::invokeMethod(this, &TPostProcDialog::btnCancelClick, Qt::QueuedConnection);
        }
    }
    QDialog::showEvent(event);
}

void TPostProcDialog::FormShow() {
    if (!SourceBitmap) throw std::logic_error("an operation dialog was shown without a picture");
    Accepted = 0;
    ResetSpinners();
    // The bitmaps of the last use go first: a large picture must not be held twice.
    WorkBitmap.reset();
    ResultBitmap.reset();
    WorkBitmap = std::make_unique<TBitmap>(MakeWorkBitmap(*SourceBitmap));
    ResultBitmap = std::make_unique<TBitmap>(*WorkBitmap);  // before Calculate the result is the input

    normPane_ = BlankPane(kPaneWidth, kPaneHeight);
    histPane_ = BlankPane(kPaneWidth, kPaneHeight);
    const TRect preview = PreviewRect(SourceBitmap->Width(), SourceBitmap->Height());
    DrawPane(NormImage, normPane_, preview, *WorkBitmap);
    DrawPane(HistImage, histPane_, preview, *ResultBitmap);
}

void TPostProcDialog::btnCalcClick() {
    if (!WorkBitmap || !ResultBitmap) return;
    if (busyButtons_) {
        btnCalc->setEnabled(false);
        btnOk->setEnabled(false);
        // The calculation holds the thread: show the state before it starts.
        btnCalc->repaint();
        btnOk->repaint();
    }
    try {
        RunPostOperation(Operation(), *WorkBitmap, *ResultBitmap);
    } catch (...) {
        failure_ = std::current_exception();
    }
    btnCalc->setEnabled(true);
    btnOk->setEnabled(true);
    if (failure_) {
        // Exceptions may not cross Qt's event loop: ShowModal throws it.
        Accepted = 0;
        reject();
        return;
    }
    // After a calculation both panes are filled whole, whatever the preview
    // rectangle of the show step was.
    const TRect whole{0, 0, histPane_.Width() - 1, histPane_.Height() - 1};
    if (redrawWork_) DrawPane(NormImage, normPane_, whole, *WorkBitmap);
    DrawPane(HistImage, histPane_, whole, *ResultBitmap);
}

void TPostProcDialog::btnOkClick() {
    Accepted = 1;
    accept();
}

void TPostProcDialog::btnCancelClick() {
    Accepted = 0;
    reject();
}

void TPostProcDialog::DrawPane(QLabel* pane, TBitmap& paneBitmap, const TRect& rect, const TBitmap& picture) {
    paneBitmap.StretchDraw(rect, picture);
    pane->setPixmap(QPixmap::fromImage(BitmapImage(paneBitmap)));
}
