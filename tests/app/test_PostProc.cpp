// "Process" as a user drives it: the operation dialogs, the post-processing
// window drawing accepted results into the viewer, and what gets saved.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>

#include "ImgForm.h"
#include "TestFiles.h"
#include "untDDP.h"
#include "untHistogram.h"
#include "untImgProc.h"
#include "untMain.h"
#include "untPostOps.h"
#include "untPostProc.h"
#include "untStartup.h"
#include "untUnsharpMask.h"

namespace {

using Step = std::function<void(QWidget*)>;

// Runs call, which shows a modal window, and hands each step the modal window
// that is up when its turn comes. The next turn is scheduled before a step
// runs, so a step that opens a further modal window does not hold up the
// next. An unexpected window fails the test and is closed: nothing can hang
// in exec(). True when every step ran.
bool Drive(std::initializer_list<Step> steps, const std::function<void()>& call) {
    std::deque<Step> queue(steps);
    QObject context;
    std::function<void()> turn = [&] {
        QTimer::singleShot(10, &context, turn);
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (queue.empty()) {
            ADD_FAILURE() << "unexpected window " << modal->windowTitle().toStdString();
            modal->close();
            return;
        }
        Step step = std::move(queue.front());
        queue.pop_front();
        step(modal);
    };
    QTimer::singleShot(10, &context, turn);
    call();
    return queue.empty();
}

template <class T, class F>
Step On(F act) {
    return [act](QWidget* w) {
        if (auto* t = qobject_cast<T*>(w)) return act(*t);
        ADD_FAILURE() << "expected another window than " << w->windowTitle().toStdString();
        w->close();
    };
}

template <class T>
Step Click(QPushButton* T::*button) {
    return On<T>([=](T& w) { (w.*button)->click(); });
}

Step ChooseFile(const std::string& folder, const QString& name) {
    return On<QFileDialog>([=](QFileDialog& d) {
        // selectFile, not only the name field: a file the dialog still has
        // selected from its last use would win over the typed name.
        d.setDirectory(QString::fromStdString(folder));
        d.selectFile(QString::fromStdString(folder + "/") + name);
        d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
        static_cast<QDialog&>(d).accept();  // the file dialog's own checks run
        if (d.isVisible()) d.reject();
    });
}

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

// Size, format, palette and pixels as one byte string.
std::string Contents(const TBitmap& b) {
    std::string s = std::to_string(b.Width()) + "x" + std::to_string(b.Height()) + "/" + std::to_string(b.PixelFormat());
    s.append(reinterpret_cast<const char*>(b.Palette().data()), b.Palette().size() * sizeof(RGBQUAD));
    for (int y = 0; y < b.Height(); ++y) s.append(reinterpret_cast<const char*>(b.ScanLine(y)), b.RowBytes());
    return s;
}

int Viewers() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) n += qobject_cast<TfrmImage*>(w) != nullptr;
    return n;
}

}  // namespace

TEST(PostProcDialogs, ShowStepDefaultsCalculateAndOk) {
    TfrmHistogram histogram;
    TfrmDDP ddp;
    TfrmUnsharpMask unsharp;
    EXPECT_EQ(histogram.windowTitle() + ddp.windowTitle() + unsharp.windowTitle(), "frmHistogramDDPUnsharp Mask");
    EXPECT_EQ(histogram.maximumSize(), QSize(674, 348));
    EXPECT_EQ(ddp.minimumSize(), QSize(668, 347));
    EXPECT_NE(unsharp.minimumSize(), unsharp.maximumSize());

    // Each dialog's spinners, their defaults, the values chosen, and the
    // kernel call those values must make.
    struct Case {
        TPostProcDialog* dialog;
        std::vector<QSpinBox*> spinners;
        std::vector<int> defaults, chosen;
        std::function<void(const TBitmap&, TBitmap&)> kernel;
    };
    const Case cases[] = {
        {&histogram, {histogram.UpDownLo, histogram.UpDownHi}, {0, 255}, {30, 180},
         [](const TBitmap& w, TBitmap& r) { ModifyHistogram(w, r, 30, 180); }},
        {&ddp, {ddp.UpDownLo, ddp.UpDownHi, ddp.UpDownFuzz}, {1, 64, 1}, {5, 40, 2},
         [](const TBitmap& w, TBitmap& r) { ApplyDDP(&w, r, 2, 5, 40); }},
        {&unsharp, {unsharp.UpDownAperture, unsharp.UpDownIntensity}, {1, 100}, {2, 70},
         [](const TBitmap& w, TBitmap& r) { ApplyUnsharpMask(&w, r, 2, 70); }},
    };
    // 700 wide: the preview is 233 pixels wide until Calculate fills the pane.
    const TBitmap picture = TestPicture(700, 60);
    const QRgb white = qRgb(255, 255, 255);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dialog->windowTitle().toStdString());
        for (QSpinBox* s : c.spinners) s->setValue(s->maximum());  // left over from an earlier use
        c.dialog->SourceBitmap = std::make_unique<TBitmap>(picture);
        std::vector<int> shown;
        QRgb beyondPreview = 0, afterCalculate = 0;
        bool buttonsBack = false;
        const bool done = Drive({On<TPostProcDialog>([&](TPostProcDialog& d) {
                                    for (QSpinBox* s : c.spinners) shown.push_back(s->value());
                                    for (size_t i = 0; i < c.spinners.size(); ++i) c.spinners[i]->setValue(c.chosen[i]);
                                    beyondPreview = d.HistImage->pixmap().toImage().pixel(300, 10);
                                    d.btnCalc->click();
                                    buttonsBack = d.btnCalc->isEnabled() && d.btnOk->isEnabled();
                                    afterCalculate = d.HistImage->pixmap().toImage().pixel(300, 10);
                                    d.btnOk->click();
                                })},
                                [&] { c.dialog->exec(); });  // the show step runs on any show
        EXPECT_TRUE(done);
        EXPECT_EQ(shown, c.defaults);
        EXPECT_EQ(beyondPreview, white);
        EXPECT_NE(afterCalculate, white);
        EXPECT_TRUE(buttonsBack);
        TBitmap expected = MakeWorkBitmap(picture);
        c.kernel(MakeWorkBitmap(picture), expected);
        ASSERT_TRUE(c.dialog->ResultBitmap);
        EXPECT_EQ(Contents(*c.dialog->ResultBitmap), Contents(expected));
        EXPECT_EQ(Contents(*c.dialog->SourceBitmap), Contents(picture));
    }
}

TEST(PostProcWindow, UsesTheOwnersDialogsAndDoneSetsTheActionCode) {
    QWidget owner;  // holds an operation dialog, as the main window does
    TfrmHistogram histogram(&owner);
    auto* viewer = new TfrmImage(&owner);
    viewer->SetPicture(TestPicture(41, 29));
    int32_t action = -1;
    TfrmPostProc window(&owner, viewer, &action);
    EXPECT_EQ(window.windowTitle(), "Post Processing");
    EXPECT_TRUE(Drive({Click(&TfrmPostProc::btnHistogram), Click<TfrmHistogram>(&TfrmHistogram::btnCancel),
                       Click(&TfrmPostProc::Button5)},
                      [&] { window.ShowModal(); }));
    EXPECT_EQ(action, 2);
}

TEST(ProcessCommand, SavesOnlyAfterSaveThisImageUnderTheSaveRule) {
    vt::TempDir dir, outDir;
    const TBitmap original = TestPicture(30, 20);
    original.SaveToFile(dir.file("in.bmp"));
    vt::WriteBytes(dir.file("broken.bmp"), {'B', 'M', 0, 0});
    const std::string dotted = outDir.file("a.b");
    std::filesystem::create_directory(dotted);

    TVelmoraWindows windows;
    TfrmMain& w = windows.frmMain();
    const std::string lastSave = w.State().LastPathSave;
    auto run = [&](std::initializer_list<Step> steps) {
        EXPECT_TRUE(Drive(steps, [&] { w.Item(QStringLiteral("Process1"))->trigger(); }));
        EXPECT_EQ(Viewers(), 0);
    };
    const Step open = ChooseFile(dir.path(), "in.bmp");
    const Step save = Click(&TfrmPostProc::btnSave);

    QString title;
    run({On<QFileDialog>([&](QFileDialog& d) {
        title = d.windowTitle();
        d.reject();
    })});
    EXPECT_EQ(title, "Select Image");

    // Accepted operations compound, a cancelled one and "Ok" without
    // "Calculate" leave the picture, and the save writes what they left.
    run({open, Click(&TfrmPostProc::btnHistogram), On<TfrmHistogram>([](TfrmHistogram& d) {
             d.UpDownLo->setValue(10);
             d.UpDownHi->setValue(200);
             d.btnCalc->click();
             d.btnOk->click();
         }),
         Click(&TfrmPostProc::btnDDP), On<TfrmDDP>([](TfrmDDP& d) {
             d.btnCalc->click();
             d.btnCancel->click();
         }),
         Click(&TfrmPostProc::btnUnsharpMask), On<TfrmUnsharpMask>([](TfrmUnsharpMask& d) {
             d.UpDownAperture->setValue(2);
             d.UpDownIntensity->setValue(60);
             d.btnCalc->click();
             d.btnOk->click();
         }),
         Click(&TfrmPostProc::btnDDP), Click<TfrmDDP>(&TfrmDDP::btnOk), save, ChooseFile(outDir.path(), "saved")});
    TBitmap saved, expected = original;
    saved.LoadFromFile(outDir.file("saved.bmp"));
    ApplyPostOperation(expected, THistogramParms{10, 200});
    ApplyPostOperation(expected, TUnsharpMaskParms{2, 60});
    EXPECT_EQ(Contents(saved), Contents(expected));  // format and palette kept too
    EXPECT_NE(Contents(expected), Contents(original));
    EXPECT_FALSE(windows.frmHistogram().SourceBitmap || windows.frmUnsharpMask().SourceBitmap);
    EXPECT_EQ(w.Port().SaveDialog().FileName, outDir.file("saved.bmp"));
    EXPECT_EQ(w.State().LastPathSave, lastSave);
    run({open, save, ChooseFile(dotted, "plain")});  // a dot in a folder keeps ".bmp" off
    EXPECT_TRUE(vt::Exists(dotted + "/plain"));

    // Done, the close box, or a cancelled save dialog write nothing.
    const auto before = outDir.entries();
    run({open, Click(&TfrmPostProc::Button5)});
    run({open, On<TfrmPostProc>([](TfrmPostProc& p) { p.close(); })});
    run({open, save, On<QFileDialog>([](QFileDialog& d) { d.reject(); })});
    EXPECT_EQ(outDir.entries(), before);

    // A file the toolkit cannot load: the default error display, and no window left.
    QString error;
    run({ChooseFile(dir.path(), "broken.bmp"), On<QMessageBox>([&](QMessageBox& b) {
             error = b.text();
             b.close();
         })});
    EXPECT_TRUE(error.contains("broken.bmp")) << error.toStdString();
}
