// "Process" as a user drives it: the operation dialogs, the post-processing
// window drawing accepted results into the viewer, and what gets saved; and
// the viewer and its display of toolkit bitmaps through QImage.
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>

#include "ImgForm.h"
#include "Modal.h"
#include "untDDP.h"
#include "untHistogram.h"
#include "untPostOps.h"
#include "untBitmapView.h"
#include "untPostProc.h"
#include "untUnsharpMask.h"

using namespace vapp;

namespace {

// An 8-bit frame with a palette that is not a grey ramp and a spread of values.
TBitmap TestPicture(int width, int height) {
    TBitmap picture(width, height, pf8bit);
    std::vector<RGBQUAD> palette = GreyRamp();
    palette[3] = {10, 200, 30, 0};
    picture.SetPalette(palette);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.ScanLine(y)[x] = static_cast<uint8_t>(20 + (x * 7 + y * 13) % 200);
    return picture;
}

int Viewers() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) n += qobject_cast<TfrmImage*>(w) != nullptr;
    return n;
}

// A step in an operation dialog: notes the spinners as it came up, sets
// them to `values`, then clicks `buttons` in turn, noting before each whether
// the result pane is still blank beyond the preview.
template <class T>
Step Operate(std::vector<int>* shown, std::vector<QSpinBox* T::*> spinners, std::vector<int> values,
             std::vector<QPushButton* TPostProcDialog::*> buttons) {
    return On<T>([=](T& d) {
        size_t i = 0;
        for (QSpinBox* T::*s : spinners) {
            shown->push_back((d.*s)->value());
            (d.*s)->setValue(values.at(i++));
        }
        for (QPushButton* TPostProcDialog::*b : buttons) {
            shown->push_back(d.HistImage->pixmap().toImage().pixel(300, 10) == qRgb(255, 255, 255));
            (d.*b)->click();
        }
    });
}

}  // namespace

TEST(ProcessCommand, OperationsBuildOnEachOtherAndOnlySaveThisImageWrites) {
    vt::TempDir dir, outDir;
    // 700 wide: the preview is 233 pixels wide until Calculate fills the pane.
    const TBitmap original = TestPicture(700, 60);
    original.SaveToFile(dir.file("in.bmp"));
    vt::WriteBytes(dir.file("broken.bmp"), {'B', 'M', 0, 0});
    const std::string dotted = outDir.file("a.b");
    std::filesystem::create_directory(dotted);

    TVelmoraWindows windows;
    TfrmMain& w = windows.frmMain();
    const std::string lastSave = w.State().LastPathSave;
    auto run = [&](const std::vector<Step>& steps) {
        EXPECT_TRUE(Drive(steps, [&] { w.Item(QStringLiteral("Process1"))->trigger(); }));
        EXPECT_EQ(Viewers(), 0);
    };
    const Step open = Choose(dir.path(), {"in.bmp"});
    const Step save = Click(&TfrmPostProc::btnSave);

    run({Choose(dir.path(), {})});

    // Accepted operations compound; a cancelled one, and "Ok" without
    // "Calculate", leave the picture; every show starts from the defaults.
    std::vector<int> shown;
    using D = TfrmDDP;
    using U = TfrmUnsharpMask;
    using H = TfrmHistogram;
    const auto calc = &TPostProcDialog::btnCalc, ok = &TPostProcDialog::btnOk, cancel = &TPostProcDialog::btnCancel;
    const auto ddp = [&](std::vector<int> values, std::vector<QPushButton* TPostProcDialog::*> buttons) {
        return Operate<D>(&shown, {&D::UpDownLo, &D::UpDownHi, &D::UpDownFuzz}, values, buttons);
    };
    run({open, Click(&TfrmPostProc::btnHistogram), Operate<H>(&shown, {&H::UpDownLo, &H::UpDownHi}, {10, 200}, {calc, ok}),
         Click(&TfrmPostProc::btnDDP), ddp({9, 99, 4}, {calc, cancel}), Click(&TfrmPostProc::btnUnsharpMask),
         Operate<U>(&shown, {&U::UpDownAperture, &U::UpDownIntensity}, {2, 60}, {calc, ok}),
         Click(&TfrmPostProc::btnDDP), ddp({5, 40, 2}, {ok}), Click(&TfrmPostProc::btnDDP), ddp({5, 40, 2}, {calc, ok}),
         save, Choose(outDir.path(), {"saved"})});
    EXPECT_EQ(shown, (std::vector<int>{0, 255, 1, 0, 1, 64, 1, 1, 0, 1, 100, 1, 0, 1, 64, 1, 1, 1, 64, 1, 1, 0}));
    TBitmap expected = original;
    for (const TPostOperation& op :
         std::vector<TPostOperation>{THistogramParms{10, 200}, TUnsharpMaskParms{2, 60}, TDDPParms{5, 40, 2}})
        ApplyPostOperation(expected, op);
    expected.SaveToFile(dir.file("expected.bmp"));  // format and palette kept too
    EXPECT_EQ(vt::ReadBytes(outDir.file("saved.bmp")), vt::ReadBytes(dir.file("expected.bmp")));
    EXPECT_NE(vt::ReadBytes(dir.file("in.bmp")), vt::ReadBytes(dir.file("expected.bmp")));
    EXPECT_FALSE(windows.frmHistogram().SourceBitmap || windows.frmUnsharpMask().SourceBitmap);
    EXPECT_EQ(w.Port().SaveDialog().FileName, outDir.file("saved.bmp"));
    EXPECT_EQ(w.State().LastPathSave, lastSave);
    run({open, save, Choose(dotted, {"plain"})});  // a dot in a folder keeps ".bmp" off
    EXPECT_TRUE(std::filesystem::exists(dotted + "/plain"));

    // Done, the close box, or a cancelled save dialog write nothing.
    const auto before = outDir.entries();
    run({open, Click(&TfrmPostProc::Button5)});
    run({open, On<TfrmPostProc>([](TfrmPostProc& p) { p.close(); })});
    run({open, save, Choose(outDir.path(), {})});
    EXPECT_EQ(outDir.entries(), before);

    // A file the toolkit cannot load: the default error display, and no window left.
    QString error;
    run({Choose(dir.path(), {"broken.bmp"}), On<QMessageBox>([&](QMessageBox& b) {
             error = b.text();
             b.close();
         })});
    EXPECT_TRUE(error.contains("broken.bmp")) << error.toStdString();
}

TEST(ImageViewer, LargePictureScrollsAndClosingFreesTheWindowNotItsOwner) {
    QWidget owner;
    QPointer<TfrmImage> viewer = new TfrmImage(&owner);
    EXPECT_TRUE(viewer->isWindow());
    viewer->SetPicture(TBitmap(3000, 2000, pf8bit));
    viewer->showMaximized();
    QApplication::processEvents();
    EXPECT_GT(viewer->ScrollBox1->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(viewer->ScrollBox1->verticalScrollBar()->maximum(), 0);
    viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());
}

// What the window shows goes through a pixmap, so each pixel is checked in
// the view and after that conversion. Width 3 gives rows of 3 bytes: the
// second row does not start on a 4-byte boundary.
TEST(BitmapImage, EightBitViewUsesTheFramesRowsAndPalette) {
    TBitmap frame(3, 2, pf8bit);
    frame.SetPalette({{0, 0, 0, 0}, {10, 20, 30, 0}, {200, 100, 50, 0}});
    const uint8_t rows[2][3] = {{1, 2, 0}, {2, 1, 9}};  // 9: beyond the palette
    for (int y = 0; y < 2; ++y) std::copy(rows[y], rows[y] + 3, frame.ScanLine(y));

    const QImage view = BitmapImage(frame);
    const QImage shown = QPixmap::fromImage(view).toImage();
    const QRgb expected[2][3] = {{qRgb(30, 20, 10), qRgb(50, 100, 200), qRgb(0, 0, 0)},
                                 {qRgb(50, 100, 200), qRgb(30, 20, 10), qRgb(0, 0, 0)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(view.pixel(x, y), expected[y][x]) << x << "," << y;
            EXPECT_EQ(shown.pixel(x, y), expected[y][x]) << x << "," << y;
        }

    frame.ScanLine(1)[2] = 2;  // the view shares the pixels
    EXPECT_EQ(view.pixel(2, 1), qRgb(50, 100, 200));
    frame.SetPalette({});
    EXPECT_EQ(BitmapImage(frame).pixel(2, 1), qRgb(2, 2, 2));  // no palette: grey ramp
}
