// "Process": one picture in an image viewer, the modal "Post Processing"
// window beside it, any number of previewed operations drawn into the
// viewer's picture, and at the end a save of that picture or nothing.
#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <exception>

#include "untMainState.h"
#include "untUiPort.h"

class QLabel;
class QPushButton;
class TfrmImage;
class TPostProcDialog;
class TfrmHistogram;
class TfrmDDP;
class TfrmUnsharpMask;

// The operation dialogs live as long as the program; Process borrows them.
// A missing one leaves its button without effect.
struct TPostProcDialogs {
    TfrmHistogram* frmHistogram = nullptr;
    TfrmDDP* frmDDP = nullptr;
    TfrmUnsharpMask* frmUnsharpMask = nullptr;
};

class TfrmPostProc : public QDialog {
    Q_OBJECT
public:
    // ActionCode, owned by the caller, becomes 1 on "Save this image" and 2
    // on "Done"; the close box leaves it alone.
    TfrmPostProc(QWidget* owner, TfrmImage* ImageWindow, int32_t* ActionCode, const TPostProcDialogs& dialogs);
    // With the operation dialogs the owner holds (the main window holds the
    // program's three).
    TfrmPostProc(QWidget* owner, TfrmImage* ImageWindow, int32_t* ActionCode);

    QLabel* Label1 = nullptr;  // "Save this image"
    QPushButton* btnSave = nullptr;
    QPushButton* btnHistogram = nullptr;
    QPushButton* btnUnsharpMask = nullptr;
    QPushButton* btnDDP = nullptr;
    QPushButton* Button5 = nullptr;  // "Done"
    QPushButton* btnHelp = nullptr;

    // Runs the window modally; an error that ended an operation is thrown
    // from here once the window has closed.
    void ShowModal();

    void btnSaveClick();
    void Button5Click();
    void btnHistogramClick();
    void btnDDPClick();
    void btnUnsharpMaskClick();

private:
    // The routine behind the three operation buttons.
    void RunOperation(TPostProcDialog* dialog);

    // The viewer frees itself when closed; a guarded pointer never dangles.
    QPointer<TfrmImage> ImageWindow_;
    int32_t* ActionCode_;
    TPostProcDialogs dialogs_;
    std::exception_ptr failure_;
};

// The body of File / "Process". owner becomes the owner of the viewer and of
// the post-processing window.
void RunProcess(TMainState& state, TUiPort& port, QWidget* owner, const TPostProcDialogs& dialogs);
