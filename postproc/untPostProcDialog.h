// What the three operation dialogs share: the bitmaps they are handed and
// make, the two preview panes, the four buttons, the show step and the
// Calculate / Ok / Cancel protocol. Each dialog adds its spinners and says
// which operation they describe.
#pragma once

#include <QDialog>
#include <cstdint>
#include <exception>
#include <memory>

#include "untBitmap.h"
#include "untPostOps.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TPostProcDialog : public QDialog {
    Q_OBJECT
public:
    // The caller sets SourceBitmap, calls ShowModal, then reads Accepted and,
    // when it is 1, ResultBitmap. The dialog never changes SourceBitmap.
    std::unique_ptr<TBitmap> SourceBitmap;
    std::unique_ptr<TBitmap> WorkBitmap;    // 24-bit, made by the show step
    std::unique_ptr<TBitmap> ResultBitmap;  // 24-bit, made by the show step
    int32_t Accepted = 0;

    QLabel* NormImage = nullptr;  // WorkBitmap, the unchanged picture
    QLabel* HistImage = nullptr;  // ResultBitmap
    QPushButton* btnCalc = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnHelp = nullptr;

    // Runs the dialog modally. The show step runs whenever the dialog is
    // shown, by this or by exec(). An error in it or inside Calculate closes
    // the dialog unaccepted and is thrown from here, so it ends the command
    // like any other.
    void ShowModal();

    void FormShow();
    void btnCalcClick();
    void btnOkClick();
    void btnCancelClick();

    // The operation as the spinners stand.
    virtual TPostOperation Operation() const = 0;

protected:
    static constexpr int kPaneWidth = 320;
    static constexpr int kPaneHeight = 240;

    // busyButtons: "Calculate" and "Ok" are off while a calculation runs.
    // redrawWork: Calculate redraws the left pane as well as the right one.
    TPostProcDialog(QWidget* parent, bool busyButtons, bool redrawWork);

    // Puts the panes at y = top and the buttons in a row at y = buttonsTop.
    void PlaceCommonControls(int top, int buttonsTop);
    // A labelled number field with its spinner; the spin box is the
    // spinner (range and position), its line edit the field.
    QSpinBox* AddSpinner(const QString& caption, const QString& fieldName, const QString& spinnerName, int min,
                         int max, int x, int y, QLineEdit** field);
    // Sets the spinners to the dialog's defaults.
    virtual void ResetSpinners() = 0;

    void showEvent(QShowEvent* event) override;

private:
    void DrawPane(QLabel* pane, TBitmap& paneBitmap, const TRect& rect, const TBitmap& picture);

    bool busyButtons_;
    bool redrawWork_;
    TBitmap normPane_;
    TBitmap histPane_;
    std::exception_ptr failure_;
};
