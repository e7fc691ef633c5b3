#include "untPostProc.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "ImgForm.h"
#include "untBatch.h"
#include "untBitmap.h"
#include "untDDP.h"
#include "untFileNames.h"
#include "untHistogram.h"
#include "untUnsharpMask.h"

namespace {

QPushButton* AddButton(QWidget* parent, const QString& caption, const QString& name, const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    return button;
}

QLabel* AddLabel(QWidget* parent, const QString& caption, int x, int y) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(x, y, 140, 21);
    return label;
}

TPostProcDialogs DialogsOf(QWidget* owner) {
    if (!owner) return {};
    return {owner->findChild<TfrmHistogram*>(), owner->findChild<TfrmDDP*>(), owner->findChild<TfrmUnsharpMask*>()};
}

}  // namespace

TfrmPostProc::TfrmPostProc(QWidget* owner, TfrmImage* ImageWindow, int32_t* ActionCode)
    : TfrmPostProc(owner, ImageWindow, ActionCode, DialogsOf(owner)) {}

TfrmPostProc::TfrmPostProc(QWidget* owner, TfrmImage* ImageWindow, int32_t* ActionCode,
                           const TPostProcDialogs& dialogs)
    : QDialog(owner), ImageWindow_(ImageWindow), ActionCode_(ActionCode), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmPostProc"));
    setWindowTitle(QStringLiteral("Post Processing"));
    setModal(true);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(225, 193);

    Label1 = AddLabel(this, QStringLiteral("Save this image"), 16, 12);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    btnSave = AddButton(this, QStringLiteral("..."), QStringLiteral("btnSave"), QRect(168, 12, 33, 21));

    auto* group = new QGroupBox(QStringLiteral("Post-process Image"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    group->setGeometry(8, 44, 209, 105);
    AddLabel(group, QStringLiteral("Histogram Modification"), 8, 22);
    btnHistogram = AddButton(group, QStringLiteral("..."), QStringLiteral("btnHistogram"), QRect(160, 22, 33, 21));
    AddLabel(group, QStringLiteral("Unsharp Mask"), 8, 48);
    btnUnsharpMask = AddButton(group, QStringLiteral("..."), QStringLiteral("btnUnsharpMask"), QRect(160, 48, 33, 21));
    AddLabel(group, QStringLiteral("DDP"), 8, 74);
    btnDDP = AddButton(group, QStringLiteral("..."), QStringLiteral("btnDDP"), QRect(160, 74, 33, 21));

    Button5 = AddButton(this, QStringLiteral("Done"), QStringLiteral("Button5"), QRect(8, 159, 75, 25));
    btnHelp = AddButton(this, QStringLiteral("Help"), QStringLiteral("btnHelp"), QRect(142, 159, 75, 25));

    connect(btnSave, &QPushButton::clicked, this, &TfrmPostProc::btnSaveClick);
    connect(Button5, &QPushButton::clicked, this, &TfrmPostProc::Button5Click);
    connect(btnHistogram, &QPushButton::clicked, this, &TfrmPostProc::btnHistogramClick);
    connect(btnDDP, &QPushButton::clicked, this, &TfrmPostProc::btnDDPClick);
    connect(btnUnsharpMask, &QPushButton::clicked, this, &TfrmPostProc::btnUnsharpMaskClick);
}

void TfrmPostProc::btnSaveClick() {
    *ActionCode_ = 1;
    close();
}

void TfrmPostProc::Button5Click() {
    *ActionCode_ = 2;
    close();
}

void TfrmPostProc::btnHistogramClick() { RunOperation(dialogs_.frmHistogram); }
void TfrmPostProc::btnDDPClick() { RunOperation(dialogs_.frmDDP); }
void TfrmPostProc::btnUnsharpMaskClick() { RunOperation(dialogs_.frmUnsharpMask); }

void TfrmPostProc::ShowModal() {
    exec();
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void TfrmPostProc::RunOperation(TPostProcDialog* dialog) {
    if (!dialog || !ImageWindow_) return;
    // The copy goes however the dialog ends; its work and result bitmaps stay
    // until its next show.
    struct TSourceGuard {
        TPostProcDialog& dialog;
        ~TSourceGuard() { dialog.SourceBitmap.reset(); }
    } guard{*dialog};
    try {
        dialog->SourceBitmap = std::make_unique<TBitmap>(ImageWindow_->Picture());
        dialog->ShowModal();
        if (dialog->Accepted && dialog->ResultBitmap && ImageWindow_) {
            ImageWindow_->Picture().Draw(0, 0, *dialog->ResultBitmap);
            ImageWindow_->Redraw();
            QCoreApplication::processEvents();
        }
    } catch (...) {
        // Exceptions may not cross the event loop this handler runs in: the
        // window closes and ShowModal hands the error on to end the command.
        failure_ = std::current_exception();
        close();
    }
}

void RunProcess(TMainState& state, TUiPort& port, QWidget* owner, const TPostProcDialogs& dialogs) {
    TFileDialog& dlgOpen = port.OpenDialog();
    dlgOpen.Title = "Select Image";
    if (!OpenFilesStep(state, port, ofFileMustExist)) return;
    const std::string path = dlgOpen.Files.empty() ? dlgOpen.FileName : dlgOpen.Files.front();

    // A file the toolkit cannot load ends the command before any window is up.
    TBitmap loaded;
    loaded.LoadFromFile(path);

    // The user may close the viewer; whatever is left of it goes with the command.
    QPointer<TfrmImage> viewer = new TfrmImage(owner);
    struct TViewerGuard {
        QPointer<TfrmImage>& viewer;
        ~TViewerGuard() { delete viewer.data(); }
    } viewerGuard{viewer};
    viewer->SetPicture(loaded);
    viewer->showMaximized();
    viewer->repaint();

    int32_t ActionCode = 0;
    TfrmPostProc frmPostProc(owner, viewer, &ActionCode, dialogs);
    frmPostProc.ShowModal();
    if (viewer) viewer->repaint();

    if (ActionCode != 1 || !viewer) return;
    // The save dialog as the last command left it: its folder and name, and
    // LastPathSave neither used nor changed.
    TFileDialog& dlgSave = port.SaveDialog();
    if (!dlgSave.Execute()) return;
    dlgSave.FileName = ApplySaveExtension(dlgSave.FileName);
    if (RefuseOutputAmong(port, dlgSave.FileName, {path})) return;
    viewer->Picture().SaveToFile(dlgSave.FileName);
}
