// The windows as a user meets them, driven offscreen with a private
// settings folder: the main window's menu, a command run through Qt's own
// dialogs, the remembered folders and one command at a time; the small
// dialogs commands ask through the port; "Process" with its operation
// dialogs and what gets saved; the viewer and its display of toolkit
// bitmaps; the help viewer and the rich-text reader it goes through.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QSlider>
#include <QAction>
#include <deque>
#include <random>

#include "ImgForm.h"
#include "TestBitmaps.h"
#include "TestFiles.h"
#include "ScriptedPort.h"
#include "untAlignForm.h"
#include "untBitmapView.h"
#include "untDDP.h"
#include "untGenHelp.h"
#include "untGetString.h"
#include "untHistogram.h"
#include "untMain.h"
#include "untPostProc.h"
#include "untPrescale.h"
#include "untRenameParms.h"
#include "untStatusProgress.h"
#include "untResults.h"
#include "untRichText.h"
#include "untSettings.h"
#include "untStartup.h"
#include "untUnsharpMask.h"

// Failure messages show the text, not its UTF-16 units.
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// The one way these tests answer modal windows: a queue of steps, each
// handed the modal window that is up when its turn comes, as a user would
// meet it. Whatever a step does, no window is left to hang a test in exec().

using Step = std::function<void(QWidget*)>;

// Runs call, which shows modal windows, and feeds them the steps in order.
// The next turn is scheduled before a step runs, so a step that opens a
// further modal window does not hold up the next. A window no step is left
// for fails the test and is closed. True when every step ran.
bool Drive(const std::vector<Step>& steps, const std::function<void()>& call) {
    std::deque<Step> queue(steps.begin(), steps.end());
    QObject context;
    std::function<void()> turn = [&] {
        QTimer::singleShot(5, &context, turn);
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (queue.empty()) {
            ADD_FAILURE() << "unexpected window " << modal->windowTitle().toStdString();
            modal->close();
            return;
        }
        const Step step = std::move(queue.front());
        queue.pop_front();
        step(modal);
    };
    QTimer::singleShot(5, &context, turn);
    call();
    return queue.empty();
}

// A step for a window of class T; any other window fails the test and is closed.
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

// Chooses names in folder in a file dialog, as typed into its name field; no names cancel.
Step Choose(const std::string& folder, const QStringList& names) {
    return On<QFileDialog>([dir = QString::fromStdString(folder), names](QFileDialog& d) {
        if (!names.isEmpty()) {
            // selectFile, not only the name field: a file the dialog still
            // has selected from its last use would win over the typed name.
            d.setDirectory(dir);
            d.selectFile(dir + "/" + names.front());
            d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(names.size() == 1 ? names.front() : '"' + names.join("\" \"") + '"');
            static_cast<QDialog&>(d).accept();  // the file dialog's own checks run
        }
        if (d.isVisible()) d.reject();
    });
}

const QString kDataDir = QString(VELMORA_DATA_DIR) + "/";

bool Load(const QByteArray& rtf, QTextDocument& doc) { return LoadRichText(rtf, &doc); }

std::string StoredValue(const char* name) { return TSettingsStore::ReadString(name).value_or("(missing)"); }

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(QString::fromStdString(TSettingsStore::FileName())); }
    vt::TempDir dir;
};

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
    const QWidgetList all = QApplication::topLevelWidgets();
    return int(std::count_if(all.begin(), all.end(), [](QWidget* w) { return qobject_cast<TfrmImage*>(w); }));
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

TEST_F(MainWindow, EveryItemIsEnabledTwoAreHiddenAndTheSizeIsFixed) {
    TfrmMain w;
    for (QAction* a : w.findChildren<QAction*>()) {
        if (a->isSeparator() || a->menu() || a->objectName().isEmpty()) continue;
        EXPECT_TRUE(a->isEnabled() || !a->isVisible()) << a->objectName().toStdString();
        EXPECT_EQ(a->isVisible(), a->objectName() != "Drizzle1" && a->objectName() != "AlignWCMY1")
            << a->objectName().toStdString();
    }

    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    // Moving over a menu item must not wipe the status line.
    QStatusTipEvent tip(QString{});
    QApplication::sendEvent(&w, &tip);
    EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");
    w.show();
    w.Item("Exit1")->trigger();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindow, CreateMedianThroughQtsDialogsItsErrorsAndTheFoldersSurviveARestart) {
    vt::TempDir out;
    const std::string in = dir.file("ü, x");  // the settings store keeps any folder name
    std::filesystem::create_directory(in);
    for (const auto& [name, value] : {std::pair{"a.bmp", 10}, {"b.bmp", 250}, {"c.bmp", 12}})
        vt::WriteFrame(in + "/" + name, std::vector<uint8_t>(6, static_cast<uint8_t>(value)), 3);
    vt::WriteBytes(in + "/broken.bmp", {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
    QStringList seen;  // "title in folder" of each file dialog, "title: text" of each box
    const auto file = [&](const std::string& folder, const QStringList& names) -> Step {
        return [&, choose = Choose(folder, names)](QWidget* w) {
            if (auto* d = qobject_cast<QFileDialog*>(w)) seen << d->windowTitle() + " in " + d->directory().absolutePath();
            choose(w);
        };
    };
    const Step box = On<QMessageBox>([&](QMessageBox& b) {
        seen << b.windowTitle() + ": " + b.text();
        b.close();
    });
    const QString program = QString::fromStdString(ProgramFolder()).chopped(1);
    {
        TfrmMain w;  // the first start writes both folders at once
        EXPECT_EQ(StoredValue("LastPathOpen"), ProgramFolder());
        EXPECT_EQ(StoredValue("LastPathSave"), ProgramFolder());
        QFile ini(QString::fromStdString(TSettingsStore::FileName()));
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        EXPECT_TRUE(ini.readAll().contains("Software\\Quorvel\\Brisane\\LastPathSave="));
        const auto median = [&] { w.Item("Median1")->trigger(); };
        EXPECT_TRUE(Drive({file(in, {"a.bmp", "b.bmp", "c.bmp"}), file(out.path(), {"dark"})}, median));
        TBitmap master;
        master.LoadFromFile(out.file("dark.bmp"));  // no dot typed: ".bmp" appended
        EXPECT_EQ(master.ScanLine(1)[2], 12);
        // The save dialog asks about the name that will be written; No goes back to it.
        const auto no = On<QMessageBox>([](QMessageBox& b) { b.button(QMessageBox::No)->click(); });
        vt::WriteBytes(out.file("dark.bmp"), {'k', 'e', 'p', 't'});
        EXPECT_TRUE(Drive({Choose(in, {"a.bmp", "b.bmp", "c.bmp"}), Choose(out.path(), {"dark"}), no,
                           Choose(out.path(), {})},
                          median));
        EXPECT_EQ(vt::ReadBytes(out.file("dark.bmp")), (std::vector<uint8_t>{'k', 'e', 'p', 't'}));
        EXPECT_TRUE(Drive({Choose(in, {"a.bmp", "b.bmp", "c.bmp"}), Choose(out.path(), {"dark"}),
                           On<QMessageBox>([](QMessageBox& b) { b.button(QMessageBox::Yes)->click(); })},
                          median));
        master.LoadFromFile(out.file("dark.bmp"));

        // A refusal is a box, and no save dialog follows; an error that ends
        // the command is the default error display, and the command can run again.
        EXPECT_TRUE(Drive({file(in, {"a.bmp", "b.bmp"}), box}, median));
        EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");
        EXPECT_TRUE(Drive({file(in, {"a.bmp", "broken.bmp", "c.bmp"}), box}, median));
        EXPECT_TRUE(w.MainMenu1()->isEnabled());
        EXPECT_TRUE(w.State().FrameList.empty());
        EXPECT_TRUE(Drive({file(in, {})}, median));
        ASSERT_EQ(seen.size(), 7);
        EXPECT_EQ(seen.mid(0, 2), (QStringList{"Open in " + program, "Save As in " + program}));
        EXPECT_EQ(seen[3], "Error: A minimum of three files is required for a median");
        EXPECT_TRUE(seen[5].startsWith(QApplication::applicationDisplayName() + ": ")) << seen[5].toStdString();
        w.show();
        w.close();  // what the close box sends
    }
    seen.clear();
    TfrmMain restarted;
    EXPECT_TRUE(Drive({file(in, {"a.bmp", "b.bmp", "c.bmp"}), file(out.path(), {})},
                      [&] { restarted.Item("Median1")->trigger(); }));
    EXPECT_EQ(seen, (QStringList{"Open in " + QString::fromStdString(in),
                                 "Save As in " + QString::fromStdString(out.path())}));
}

// A user watching a batch: on the second file the window shows "2 of 5",
// the file name in a status line too narrow for its path, and Stop ends the
// batch after that file with a message naming the files left as they were.
TEST_F(MainWindow, ABatchShowsItsProgressAndStopsAfterTheFileInHand) {
    TfrmMain w;
    w.show();
    const std::string in = dir.file("an observing night with a long folder name") + "/and the lights of that night";
    std::filesystem::create_directories(in);
    QStringList names;
    std::vector<std::vector<uint8_t>> before;
    for (int i = 1; i <= 5; ++i) {
        names << QStringLiteral("frame_%1.bmp").arg(i);
        TestPicture(6, 4).SaveToFile(in + "/" + names.back().toStdString());
        before.push_back(vt::ReadBytes(in + "/" + names.back().toStdString()));
    }
    const int narrow = w.width();
    TStatusProgress* progress = w.Port().StatusProgress();
    struct {
        QString status, tip;
        int width = 0;
    } seen;
    QTimer watch;  // fires whenever the batch lets events through
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!seen.status.isEmpty() || !progress->Shown() || progress->Bar()->text() != "2 of 5") return;
        seen = {progress->ShownText(), w.StatBar()->toolTip(), w.width()};
        EXPECT_EQ(w.StatBar()->currentMessage(), seen.tip);  // the program's words, whole
        progress->StopButton()->click();
    });
    watch.start(0);
    QString stopped;
    EXPECT_TRUE(Drive({Choose(in, names), On<QMessageBox>([&](QMessageBox& b) {
                           stopped = b.windowTitle() + ": " + b.text();
                           b.close();
                       })},
                      [&] { w.Item("ToGrayscale2")->trigger(); }));
    watch.stop();

    const QString second = QString::fromStdString(in) + "/frame_2.bmp";
    EXPECT_TRUE(seen.status.startsWith("Converting ")) << seen.status.toStdString();
    EXPECT_TRUE(seen.status.endsWith("frame_2.bmp")) << seen.status.toStdString();
    EXPECT_TRUE(seen.status.contains(QChar(0x2026))) << seen.status.toStdString();
    EXPECT_EQ(seen.tip, "Converting " + second);
    EXPECT_GT(seen.width, narrow);
    QString left;
    for (int i = 3; i <= 5; ++i) left += "\n" + QString::fromStdString(in) + QStringLiteral("/frame_%1.bmp").arg(i);
    EXPECT_EQ(stopped, "Stopped: 2 of 5 files were written before the stop.\n\nNot written:" + left);
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(vt::ReadBytes(in + "/" + names[int(i)].toStdString()) != before[i], i < 2) << i;
    EXPECT_FALSE(progress->Shown());
    EXPECT_TRUE(progress->Bar()->isHidden());
    EXPECT_EQ(w.width(), narrow);
    EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");

    // The next command starts afresh: it runs to its end.
    EXPECT_TRUE(Drive({Choose(in, names)}, [&] { w.Item("ToGrayscale2")->trigger(); }));
    for (size_t i = 2; i < before.size(); ++i) EXPECT_NE(vt::ReadBytes(in + "/" + names[int(i)].toStdString()), before[i]);

    // The close box stops a batch too, and the window goes without a word.
    for (const QString& name : names) TestPicture(6, 4).SaveToFile(in + "/" + name.toStdString());
    seen.status.clear();
    QObject::disconnect(&watch, nullptr, nullptr, nullptr);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (seen.status.isEmpty() && progress->Shown() && progress->Bar()->text() == "2 of 5") {
            seen.status = w.StatBar()->currentMessage();
            w.close();
        }
    });
    watch.start(0);
    EXPECT_TRUE(Drive({Choose(in, names)}, [&] { w.Item("ToGrayscale2")->trigger(); }));
    watch.stop();
    EXPECT_FALSE(w.isVisible());
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(vt::ReadBytes(in + "/" + names[int(i)].toStdString()) != before[i], i < 2) << i;
}

TEST_F(MainWindow, OneCommandAtATime) {
    TfrmMain w;
    w.show();
    bool innerRan = false, ran = false;
    EXPECT_TRUE(Drive({}, [&] {  // no step: any dialog fails the test
        ran = w.RunCommand([&] {
            EXPECT_FALSE(w.MainMenu1()->isEnabled());
            EXPECT_FALSE(w.RunCommand([&] { innerRan = true; }));
            w.Item("Median1")->trigger();  // a menu click that got through: no dialog
            w.close();                     // the close box waits for the command
            EXPECT_TRUE(w.isVisible());
        });
    }));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(innerRan);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.MainMenu1()->isEnabled());
}

TEST(SmallDialogs, TypingPutsOnlyWhatTheFieldTakes) {
    TfrmGetString prompt;
    prompt.DigitsOnly = 1;
    prompt.show();
    QTest::keyClicks(prompt.Edit1, "1a2- +.");
    QTest::keyClick(prompt.Edit1, Qt::Key_Backspace);  // editing keys still edit
    EXPECT_EQ(prompt.Edit1->text(), "1");
    QApplication::clipboard()->setText("-7b");  // pasted text is taken as it is
    QTest::keyClick(prompt.Edit1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(prompt.Edit1->text(), "1-7b");

    TfrmPrescale factor;  // digits and the point only
    factor.show();
    QTest::keyClicks(factor.Edit1, "1a2,-+e .5~");
    for (const char* utf8 : {"\xC3\xA9", "\xD9\xA3"}) {  // é, an Arabic-Indic digit three
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8(utf8));
        QApplication::sendEvent(factor.Edit1, &press);
    }
    EXPECT_EQ(factor.Edit1->text(), "12.5");
}

TEST(SmallDialogs, EachQuestionShowsItsDialogAndTheCommandGetsWhatItShowsWhenClosed) {
    TVelmoraWindows windows;
    EXPECT_FALSE(windows.frmGetString().isVisible() || windows.frmGenHelp().isVisible());
    TUiPort& port = windows.frmMain().Port();
    QStringList shown;  // what each dialog showed when it came up
    QPointer<TfrmResults> results;  // it goes as soon as it is closed
    const std::vector<Step> steps = {
        On<TfrmGetString>([&](TfrmGetString& d) {
            shown << d.windowTitle() + "/" + d.Label1->text() + "/" + d.Edit1->text();
            d.Edit1->clear();
            QTest::keyClicks(d.Edit1, "4x2");
            QTest::mouseClick(d.Button1, Qt::LeftButton);
        }),
        // The close box hands back the field as OK does.
        On<TfrmGetString>([](TfrmGetString& d) { QTest::keyClicks(d.Edit1, "5"); d.close(); }),
        On<TfrmPrescale>([&](TfrmPrescale& d) {
            shown << d.windowTitle() + "/" + d.Edit1->text();
            QTest::keyClicks(d.Edit1, "0.5");  // the default is selected: typing replaces it
            QTest::mouseClick(d.btnFactor, Qt::LeftButton);
        }),
        On<TfrmRenameParms>([&](TfrmRenameParms& d) {
            shown << d.Edit1->text() + "/" + QString::number(d.ItemIndex());
            QTest::keyClicks(d.Edit1, "m42");
            QTest::mouseClick(d.Item(1), Qt::LeftButton);
            QTest::mouseClick(d.Button1, Qt::LeftButton);
        }),
        // The rename dialog has no cancel and keeps its values from one use to the next.
        On<TfrmRenameParms>([](TfrmRenameParms& d) { d.close(); }),
        On<TfrmResults>([&](TfrmResults& d) {  // it has no buttons
            results = &d;
            shown << d.windowTitle();
            for (QLabel* l : {d.Label1, d.Result1, d.Label2, d.Result2, d.Label3, d.Result3, d.Label4, d.Result4,
                              d.Label5, d.Result5})
                shown.back() += "/" + l->text();
            d.close();
        })};
    std::vector<std::string> got;
    EXPECT_TRUE(Drive(steps, [&] {
        got.push_back(port.GetString("Iterations", "Enter number of passes (1..n)", "1", true).value_or("-"));
        got.push_back(port.GetString("Threshhold", "Enter +/- threshhold (1..n)", "20", true).value_or("-"));
        got.push_back(port.Dialogs().AskPrescaleFactor("2.0"));
        for (int i = 0; i < 2; ++i) {
            const TRenameParms parms = port.Dialogs().AskRenameParms();
            got.push_back(parms.root + (parms.padded ? "/padded" : "/normal"));
        }
        port.Dialogs().ShowResults({{"Highest", "255"}, {"Lowest", "0"}, {"Average", "85"}});
    }));
    EXPECT_EQ(got, (std::vector<std::string>{"42", "5", "0.5", "m42/padded", "m42/padded"}));
    EXPECT_EQ(shown, (QStringList{"Iterations/Enter number of passes (1..n)/1", "Prescale/2.0", "/0",
                                  "Results/Highest/255/Lowest/0/Average/85////"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(results.isNull());

    windows.frmMain().Item("GeneralTips1")->trigger();
    EXPECT_EQ(windows.frmGenHelp().windowTitle(), "General Usage Notes");
    windows.frmGenHelp().close();
}

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
    TBitmap frame = vt::MakeBitmap(3, 2, pf8bit, {1, 2, 0, 2, 1, 9});  // 9: beyond the palette
    frame.SetPalette({{0, 0, 0, 0}, {10, 20, 30, 0}, {200, 100, 50, 0}});

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

TEST(GenHelp, TopicsReplaceTextAndCaptionInTheSameWindowAndAMissingFileAddsALine) {
    vt::TempDir empty;
    TfrmGenHelp help;
    EXPECT_EQ(help.helpFolder, QCoreApplication::applicationDirPath() + "/");
    help.helpFolder = kDataDir;
    help.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_TRUE(help.isVisible());
    EXPECT_FALSE(help.isModal());
    EXPECT_EQ(help.windowTitle(), QString("General Usage Notes"));
    EXPECT_TRUE(help.RichEdit1->toPlainText().contains("Create Median"));
    help.ShowHelpTopic("Other", 42);
    EXPECT_TRUE(help.RichEdit1->toPlainText().contains("No help for this topic"));

    help.ShowHelpTopic("Stacking Images", 1);
    EXPECT_EQ(help.windowTitle(), QString("Stacking Images"));
    const QString before = help.RichEdit1->toPlainText();
    EXPECT_TRUE(before.contains("Auto Register All") && !before.contains("Create Median"));
    // Each attempt appends the line below what was shown, in plain text rather
    // than in the format the help file ended with.
    help.helpFolder = QString::fromStdString(empty.path()) + "/";
    help.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_EQ(help.windowTitle(), QString("General Usage Notes"));
    EXPECT_EQ(help.RichEdit1->toPlainText(), before + "\nHelp files not found in program directory.");
    EXPECT_EQ(help.RichEdit1->document()->lastBlock().charFormat().fontWeight(), QFont::Normal);
}

// Every block's format and every run's text and format, as a short digest.
QByteArray DocumentDigest(const QTextDocument& doc) {
    QString all;
    const auto add = [&all](const QTextFormat& f) {
        for (const auto& [key, value] : f.properties().asKeyValueRange())
            all += QString(" %1=%2").arg(key).arg(value.toString());
    };
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        add(b.blockFormat());
        for (auto it = b.begin(); !it.atEnd(); ++it) add(it.fragment().charFormat()), all += it.fragment().text();
    }
    return QCryptographicHash::hash(all.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
}

TEST(RichText, ShippedFilesReadCleanlyAndWhatIsNotRichTextLeavesTheDocument) {
    // The digests of the documents as the reader has always built them.
    const std::pair<const char*, const char*> files[] = {{"VelmoraQCAboutv3.rtf", "b16835e89b8d6503"},
                                                         {"VM3ALIGN.RTF", "8d13f22a72d37904"},
                                                         {"VM3NOHELP.rtf", "800d77ab733ce736"}};
    for (const auto& [name, digest] : files) {
        QTextDocument doc;
        ASSERT_TRUE(LoadRichTextFile(kDataDir + name, &doc)) << name;
        EXPECT_EQ(DocumentDigest(doc), QByteArray(digest)) << name;
        const QString text = doc.toPlainText();
        // Markup that leaked into the text means a typing error in the file.
        EXPECT_FALSE(text.contains('\\') || text.contains('{') || text.contains('}')) << name;
        EXPECT_FALSE(text.contains(QChar(0xFFFD))) << name;
    }
    QTextDocument doc;
    doc.setPlainText("keep");
    for (const char* text : {"", "plain words", "{\\rt"}) EXPECT_FALSE(Load(text, doc)) << text;
    EXPECT_FALSE(LoadRichTextFile("/nonexistent/help.rtf", &doc));
    EXPECT_EQ(doc.toPlainText(), QString("keep"));
}

// Each snippet's text, then the formats of the first: bold, italic,
// underline and size in half-points at each word; alignment and left margin
// in twips of each paragraph. A group's \pard\qr ends with the group.
TEST(RichText, FormattingEscapesAndSkippedDestinations) {
    const QByteArray formatted = "{\\rtf1 plain {\\b bold} {\\i it}\\par \\ul under\\ulnone  back\\line x\\tab y\\par"
                                 "\\pard\\qc\\li720\\fs40 big\\plain  reset\\par{\\pard\\qr right\\par}\\qj just\\par}";
    const std::pair<QByteArray, QString> texts[] = {
        {formatted, "plain bold it\u2029under back\u2028x\ty\u2029big reset\u2029right\u2029just"},
        {"{\\rtf1\\uc1 caf\\'e9 \\u8212? \\{x\\} a\\\\b \\'93q\\'94 \\'80{\\uc2\\u233xy}z\\u-3913?\\emdash\\~!}",
         QString::fromUtf8("café — {x} a\\b “q” €éz\uF0B7—\u00A0!")},
        {"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
         "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Secret}{\\author Me}}{\\*\\generator Writer;}{\\pict\\bin3 }{}}"
         "{\\lang1033\\loch Body}{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt  link}}}trailing",
         "Body link"}};
    QTextDocument doc;
    for (const auto& [rtf, text] : texts) {
        EXPECT_TRUE(Load(rtf, doc));
        EXPECT_EQ(doc.toRawText(), text);
    }
    Load(formatted, doc);
    QStringList formats;
    for (const char* word : {"plain", "bold", "it", "under", "back", "big", "reset"}) {
        const QTextCharFormat f = doc.find(word).charFormat();
        formats << QString(f.fontWeight() == QFont::Bold ? "b" : "") + (f.fontItalic() ? "i" : "") +
                       (f.fontUnderline() ? "u" : "") + QString::number(f.fontPointSize() * 2);
    }
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        formats << QString::number(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask) + "/" +
                       QString::number(qRound(b.blockFormat().leftMargin() * 15));
    EXPECT_EQ(formats, (QStringList{"0", "b0", "i0", "u0", "0", "40", "0", "1/0", "1/0", "4/720", "2/0", "8/720"}));
}

// Nothing here checks output but the nesting's: the reader must come back
// (no crash, no endless loop, no read past the end) and the sanitizer build
// watches the memory.
TEST(RichText, SurvivesMalformedInput) {
    for (const char* text : {"{\\rtf1\\", "{\\rtf1\\'4", "{\\rtf1}}}}}x", "{\\rtf1\\u-", "{\\rtf1\\bin-5 abc}",
                             "{\\rtf1\\uc99999999999999\\u65}", "{\\rtf1\\bin99999999999 abc}",
                             "{\\rtf1\\fs99999999999999999999 \\li-99999999999999999999 \\u99999999999 x}"}) {
        QTextDocument doc;
        EXPECT_TRUE(Load(text, doc)) << text;
    }
    QTextDocument deep;
    EXPECT_TRUE(Load("{\\rtf1" + QByteArray(100000, '{') + "x" + QByteArray(100000, '}'), deep));
    EXPECT_EQ(deep.toPlainText(), QString("x"));

    const char* const pieces[] = {"{", "}", "\\", "\\b0", "\\par", "\\'e", "\\u", "\\uc2", "-", "12",
                                  " ", "x", "\\*", "\\fonttbl", "\\bin", "\\pard", "\\fs", "\\\n", "\xff"};
    std::mt19937 rng(1234);
    for (int round = 0; round < 100; ++round) {
        QByteArray text("{\\rtf1");
        for (int k = static_cast<int>(rng() % 200); k > 0; --k) text.append(pieces[rng() % std::size(pieces)]);
        QTextDocument doc;
        EXPECT_TRUE(Load(text, doc));
    }
}

// Window tests run without a display and never touch the user's settings.
namespace {

// The align window waits for its user inside RunAlignment; each step acts
// on it from the wait, once it is ready (false: try again a moment later).
using AlignStep = std::function<bool(TfrmAlign&)>;

// Runs the align window's run (call) with its steps and the modal windows'.
void DriveAlign(std::deque<AlignStep> steps, const std::vector<Step>& modal, const std::function<void()>& call) {
    QObject context;
    std::function<void()> turn = [&] {
        QTimer::singleShot(5, &context, turn);
        if (QApplication::activeModalWidget() || steps.empty()) return;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* align = qobject_cast<TfrmAlign*>(w); align && align->isVisible() && steps.front()(*align)) {
                steps.pop_front();
                return;
            }
    };
    QTimer::singleShot(5, &context, turn);
    EXPECT_TRUE(Drive(modal, call));
    EXPECT_TRUE(steps.empty()) << steps.size() << " steps of the align window left";
}

// A run of a window of its own over the scripted port.
struct AlignSession {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;
    TfrmAlign window{nullptr, state, port};
    std::vector<std::string> Frames(int n, int w, int h) {
        std::vector<std::string> files;
        for (int i = 0; i < n; ++i) {
            files.push_back(dir.file(std::string(1, char('a' + i)) + ".bmp"));
            TestPicture(w, h).SaveToFile(files.back());
        }
        port.AnswerOpen(files);
        return files;
    }
    void Run(std::deque<AlignStep> steps) {
        window.show();
        DriveAlign(std::move(steps), {}, [&] { window.RunAlignment(); });
    }
};

QStringList Lines(QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
}

}  // namespace

TEST(AlignWindow, LooksAndMovesAsItShould) {
    AlignSession s;
    s.Frames(3, 40, 30);
    s.port.AnswerMessage(TMsgResult::No);  // the purge
    s.port.AnswerMessage(TMsgResult::Yes);
    s.Run({[&](TfrmAlign& w) {
               EXPECT_EQ(Lines(w.lbFileList), (QStringList{"*  a.bmp", "*  b.bmp", "*  c.bmp"}));
               EXPECT_EQ(Lines(w.ListRefPts), QStringList{" 0000, 0000 Base"});
               EXPECT_EQ(w.btnPrevFrame->toolTip(), "Previous Frame");
               EXPECT_EQ(w.sbTrash->toolTip(), "Purge unused frames");
               EXPECT_FALSE(w.btnPrevFrame->isEnabled() || w.btnDone->isEnabled() || w.sbTrash->isEnabled() ||
                            w.AutoRegisterAll1->isEnabled());
               EXPECT_TRUE(w.btnNextFrame->isEnabled() && w.Manual1->isChecked());
               QTest::keyClick(w.lbFileList, Qt::Key_Down);
               QTest::keyClick(w.lbFileList, Qt::Key_Down);
               EXPECT_EQ(w.Run().CurrentFrame, 2);
               EXPECT_TRUE(w.btnPrevFrame->isEnabled() && !w.btnNextFrame->isEnabled());
               QTest::mouseMove(w.Image1, QPoint(7, 12));
               EXPECT_EQ(w.StatBar->currentMessage(), "0007, 0012");
               QTest::mouseClick(w.Image1, Qt::LeftButton, {}, QPoint(7, 12));
               QTest::keyClick(w.TrackBar1, Qt::Key_9);  // nothing
               QTest::keyClick(w.TrackBar1, Qt::Key_0);
               EXPECT_EQ(w.lbFileList->item(2)->text(), "*0 c.bmp");
               EXPECT_TRUE(w.btnDone->isEnabled() && !w.AutoRegisterAll1->isEnabled());
               // The crosshair inverts row 12 and column 7 on screen.
               const QImage shown = w.Image1->pixmap().toImage();
               EXPECT_EQ(qGray(shown.pixel(3, 12)), 255 - (20 + (3 * 7 + 12 * 13) % 200));
               w.lbFileList->setCurrentRow(0);
               QTest::keyClick(w.lbFileList, Qt::Key_Delete);
               EXPECT_EQ(w.lbFileList->item(0)->text(), " - a.bmp");
               w.sbTrash->click();  // answered No
               EXPECT_EQ(w.lbFileList->count(), 3);
               w.sbTrash->click();  // Yes
               EXPECT_EQ(Lines(w.lbFileList), (QStringList{"*- b.bmp", "*0 c.bmp"}));
               EXPECT_EQ(w.Run().CurrentFrame, 1);
               // The movie: the frame buttons set its speed, within 50 and 2500 ms.
               w.btnMovie->click();
               for (int i = 0; i < 12; ++i) w.btnPrevFrame->click();
               EXPECT_EQ(w.Timer1->interval(), 50);
               for (int i = 0; i < 60; ++i) w.btnNextFrame->click();
               EXPECT_EQ(w.Timer1->interval(), 2500);
               w.btnMovie->click();
               w.btnCancel->click();
               return true;
           }});
    EXPECT_EQ(s.dir.entries(), (std::vector<std::string>{"DebugData.txt", "b.bmp", "c.bmp"}));
    EXPECT_EQ(s.port.messages.back().text, "Delete 1 unused frame files from the disk?");
}

TEST(AlignWindow, DoneAsksAboutUnlockedFramesAndTheCloseBoxCancels) {
    for (bool closeBox : {false, true}) {
        AlignSession s;
        s.Frames(2, 20, 10);
        s.port.AnswerMessage(TMsgResult::No);
        s.Run({[&](TfrmAlign& w) {
                   QTest::mouseClick(w.Image1, Qt::LeftButton, {}, QPoint(3, 4));
                   QTest::keyClick(w.ListRefPts, Qt::Key_0);
                   w.btnDone->click();  // one frame without a lock: No
                   closeBox ? (void)w.close() : w.btnCancel->click();
                   return true;
               }});
        EXPECT_EQ(s.port.messages.size(), 1u);
        EXPECT_EQ(s.port.messages[0].text, "There are 1 files which have no reference. Stack anyway?");
        EXPECT_FALSE(QFile::exists(QString::fromStdString(s.dir.file("AlignData.dat"))));
    }
}

namespace {

// The first n real m51 frames, copied into folder.
QStringList M51Frames(const vt::TempDir& folder, int n) {
    QStringList names;
    for (int i = 1; i <= n; ++i) names << QString::asprintf("m51_%03d.bmp", i);
    for (const QString& name : names)
        vt::WriteBytes(folder.file(name.toStdString()),
                       vt::ReadBytes(vt::TestDataDir() + "/sky/m51/" + name.toStdString()));
    return names;
}

// Locks the first m51 frame on its star (radius 8, "0"), registers all, then "Done".
std::deque<AlignStep> RegisterM51AndStack() {
    return {[](TfrmAlign& a) {
                if (!a.lbFileList->isEnabled()) return false;  // still loading
                a.activateWindow();                            // where a user's Escape goes
                a.Auto81->trigger();
                QTest::mouseClick(a.Image1, Qt::LeftButton, {}, QPoint(251, 145));
                QTest::keyClick(a.lbFileList, Qt::Key_0);
                a.AutoRegisterAll1->trigger();
                return true;
            },
            [](TfrmAlign& a) {
                if (a.Run().AutoRegistering) return false;
                EXPECT_EQ(a.lbFileList->item(a.lbFileList->count() - 1)->text().left(2), "*0");
                a.btnDone->click();
                return true;
            }};
}

}  // namespace

// The real frames from the menu, through Qt's dialogs: the same picture,
// state file and trace as velmora-cli stack with the same click.
TEST_F(MainWindow, AlignAndStackFromTheMenuGivesWhatTheCommandLineGives) {
    VT_REQUIRE_TESTDATA();
    const QStringList names = M51Frames(dir, 10);
    TfrmMain w;
    DriveAlign(RegisterM51AndStack(), {Choose(dir.path(), names), Choose(dir.path(), {"window"})},
               [&] { w.Median2Click(); });
    for (const char* name : {"AlignData.dat", "DebugData.txt"})
        ASSERT_TRUE(QFile::rename(QString::fromStdString(dir.file(name)), QString::fromStdString(dir.file(name) + ".window")));
    std::string files;
    for (const QString& name : names) files += " " + vt::ShellQuote(dir.file(name.toStdString()));
    ASSERT_EQ(vt::RunCommand("cd " + vt::ShellQuote(dir.path()) + " && " + VELMORA_CLI_PATH +
                             " stack --rule median --star 251,145 --radius 8" + files + " -o cli.bmp"),
              0);
    EXPECT_EQ(vt::ReadBytes(dir.file("window.bmp")), vt::ReadBytes(dir.file("cli.bmp")));
    for (const char* name : {"AlignData.dat", "DebugData.txt"})
        EXPECT_EQ(vt::ReadBytes(dir.file(name) + ".window"), vt::ReadBytes(dir.file(name))) << name;
}


// Stop while the rows are combined: no save dialog, no picture, and the main
// window says the stack was not written.
TEST_F(MainWindow, StopWhileTheAlignWindowStacksWritesNoPicture) {
    VT_REQUIRE_TESTDATA();
    const QStringList names = M51Frames(dir, 3);
    TfrmMain w;
    QString bar, stopped;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* a = qobject_cast<TfrmAlign*>(top); a && bar.isEmpty() && a->Progress->Shown() &&
                                                           a->Progress->Bar()->text().endsWith('%')) {
                bar = a->Progress->Bar()->text();
                QTest::keyClick(a, Qt::Key_Escape);
            }
    });
    watch.start(0);
    DriveAlign(RegisterM51AndStack(), {Choose(dir.path(), names), On<QMessageBox>([&](QMessageBox& b) {
                                           stopped = b.windowTitle() + ": " + b.text();
                                           b.close();
                                       })},
               [&] { w.Average2Click(); });
    watch.stop();
    EXPECT_FALSE(bar.isEmpty());
    EXPECT_EQ(stopped, "Stopped: Stopped before the result was written.");
    EXPECT_EQ(dir.entries().size(), 5u);  // the frames and the state and trace files
}

// Sum stops on a scale that is no number; Median Sum takes it as 1 and goes on.
TEST(AlignWindow, TheScalePromptOfSumAndMedianSum) {
    TVelmoraWindows windows;
    QStringList seen;
    const Step cleared = On<TfrmGetString>([&](TfrmGetString& d) {
        seen << d.windowTitle() + "/" + d.Label1->text() + "/" + d.Edit1->text();
        d.Edit1->clear();
        d.close();
    });
    const Step open = On<QFileDialog>([&](QFileDialog& d) {
        seen << d.windowTitle();
        d.reject();
    });
    EXPECT_TRUE(Drive({cleared, On<QMessageBox>([&](QMessageBox& b) { seen << b.text(); b.close(); })},
                      [&] { windows.frmMain().Sum1Click(); }));
    EXPECT_TRUE(Drive({cleared, open}, [&] { windows.frmMain().MedianSum1Click(); }));
    const QString prompt = "Scale Factor/Enter a scale factor (1..n) 1 = none/1";
    EXPECT_EQ(seen, (QStringList{prompt, "'' is not a valid integer value", prompt, "Select frames to stack"}));
}

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    // A purge moves frames to the trash: a private one.
    qputenv("XDG_DATA_HOME", configDir.path().toLocal8Bit());
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
