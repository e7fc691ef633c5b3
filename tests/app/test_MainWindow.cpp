// The main window as a user meets it: the menu, the remembered folders, a
// command run through Qt's own dialogs, and one command at a time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <deque>

#include "TestFiles.h"
#include "untBitmap.h"
#include "untGenHelp.h"
#include "untGetString.h"
#include "untMain.h"
#include "untSettings.h"
#include "untStartup.h"

namespace {

struct FileAnswer {
    bool ok = false;
    QString folder;
    QStringList names;  // in the folder
};

struct SeenDialog {
    QString title;
    QString startFolder;
    QFileDialog::FileMode mode;
    QStringList shownFilters;
};

// Answers the program's dialogs as a user would, in order. Every dialog is
// closed whatever happens, so a failed check cannot leave a test hanging in
// exec(); a dialog nobody expected is cancelled and counted.
class DialogDriver {
public:
    DialogDriver() {
        TQtFileDialog::beforeExec = [this](QFileDialog& dlg) { Answer(dlg); };
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, [this] { AnswerMessageBox(); });
        poll_.start();
    }
    ~DialogDriver() { TQtFileDialog::beforeExec = nullptr; }

    void Choose(const std::string& folder, QStringList names) {
        files_.push_back({true, QString::fromStdString(folder), std::move(names)});
    }
    void Cancel() { files_.push_back({}); }

    std::vector<SeenDialog> dialogs;
    QStringList boxes;  // "title: text" of each message box, answered with OK
    QStringList others;  // other modal windows, closed with their close box
    int unexpected = 0;

private:
    void Answer(QFileDialog& dlg) {
        auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QStringList shown;
        for (int i = 0; combo && i < combo->count(); ++i) shown << combo->itemText(i);
        dialogs.push_back({dlg.windowTitle(), dlg.directory().absolutePath(), dlg.fileMode(), shown});
        FileAnswer answer;
        if (files_.empty())
            ++unexpected;
        else
            answer = files_.front(), files_.pop_front();
        QTimer::singleShot(0, &dlg, [&dlg, answer] {
            if (answer.ok) {
                dlg.setDirectory(answer.folder);
                QStringList quoted;
                for (const QString& name : answer.names) quoted << '"' + name + '"';
                dlg.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(answer.names.size() == 1 ? answer.names.front() : quoted.join(' '));
                static_cast<QDialog&>(dlg).accept();  // the file dialog's own checks run
            }
            if (dlg.isVisible()) dlg.reject();
        });
    }
    void AnswerMessageBox() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->windowTitle() + ": " + box->text();
            box->done(QMessageBox::Ok);
        } else if (modal && !qobject_cast<QFileDialog*>(modal)) {
            others.push_back(modal->windowTitle());
            modal->close();
        }
    }

    std::deque<FileAnswer> files_;
    QTimer poll_;
};

std::string Frame(const vt::TempDir& dir, const std::string& name, int w, int h, uint8_t value, int bits = 8) {
    vt::BmpLayout layout;
    layout.width = w;
    layout.height = h;
    layout.bitCount = bits;
    layout.pixels.assign(static_cast<size_t>(w) * h * (bits / 8), value);
    vt::WriteBytes(dir.file(name), vt::BuildBmp(layout));
    return dir.file(name);
}

std::string StoredValue(const char* name) { return TSettingsStore::ReadString(name).value_or("(missing)"); }

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(QString::fromStdString(TSettingsStore::FileName())); }

    // Every text the status line showed, in order.
    void RecordStatus(TfrmMain& w) {
        QObject::connect(w.StatBar(), &QStatusBar::messageChanged, [this](const QString& s) {
            statuses.push_back(s.toStdString());
        });
    }
    std::vector<std::string> statuses;
    vt::TempDir dir;
};

}  // namespace

TEST_F(MainWindow, MenuTreeHasEveryItemInPlace) {
    TfrmMain w;
    // caption, object name; "[hidden]" and "[off]" mark items not visible or disabled.
    std::vector<std::string> tree;
    std::function<void(QMenu*, const std::string&)> walk = [&](QMenu* menu, const std::string& path) {
        for (QAction* a : menu->actions()) {
            std::string line = path + (a->isSeparator() ? "-" : a->text().toStdString()) + " = " +
                               a->objectName().toStdString();
            if (!a->isVisible()) line += " [hidden]";
            if (!a->isEnabled()) line += " [off]";
            tree.push_back(line);
            if (a->menu()) walk(a->menu(), path + a->text().toStdString() + " / ");
        }
    };
    for (QAction* top : w.MainMenu1()->actions()) walk(top->menu(), top->text().toStdString() + " / ");

    const std::vector<std::string> expected = {
        "File / Create Median = Median1",
        "File / Create Flat (Avg) = CreateFlatAvg1",
        "File / Convert Files = ",
        "File / Convert Files / To FITS = Tograyscale1 [off]",
        "File / Convert Files / To Grayscale = ToGrayscale2 [off]",
        "File / Convert Files / Rename = Rename1 [off]",
        "File / Convert Files / Erode = Erode1 [off]",
        "File / Convert Files / Strip Top and Bottom = StripTop161 [off]",
        "File / Convert Files / Strip Sides = StripLeft1 [off]",
        "File / Convert Files / Vertical Bars = VerticalBars1 [off]",
        "File / Convert Files / Fix Edges = FixEdges1 [off]",
        "File / Dark Subtract = ",
        "File / Dark Subtract / Normal = Normal1",
        "File / Dark Subtract / Compensate = Compensate1",
        "File / Dark Subtract / Map Hot Pixels = MapHotPixels1",
        "File / Dark Subtract / New Normal = NewNormal1",
        "File / Dark Subtract / New Map = NewMap1",
        "File / Prescale = ",
        "File / Prescale / Auto (global) = AutoGlobal1",
        "File / Prescale / Auto (per file) = Auto1",
        "File / Prescale / Manual = Manual1",
        "File / Prescale / Wide = Wide1",
        "File / Prescale / Smart Wide = SmartWide1",
        "File / Flat Field = FlatField1",
        "File / - = N4",
        "File / Find High and Low = FindHighandLow1",
        "File / Resize Frames = ResizeFrames1 [off]",
        "File / - = N2",
        "File / Align and Stack = ",
        "File / Align and Stack / Average = Average2 [off]",
        "File / Align and Stack / Sum = Sum1 [off]",
        "File / Align and Stack / Median = Median2 [off]",
        "File / Align and Stack / Median Average = MedianAverage1 [off]",
        "File / Align and Stack / Median Sum = MedianSum1 [off]",
        "File / Align and Stack / Drizzle = Drizzle1 [hidden] [off]",
        "File / Align and Stack / Align WCMY = AlignWCMY1 [hidden] [off]",
        "File / Align and Stack / fp Average = fpAverage1 [off]",
        "File / Process = Process1 [off]",
        "File / - = N3",
        "File / Exit = Exit1",
        "Help / General Tips = GeneralTips1",
    };
    EXPECT_EQ(tree, expected);

    EXPECT_EQ(w.windowTitle(), "Velmora");
    EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");
    EXPECT_FALSE(w.StatBar()->isSizeGripEnabled());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    // Moving over a menu item must not wipe the status line.
    QStatusTipEvent tip(QString{});
    QApplication::sendEvent(&w, &tip);
    EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");
}

TEST_F(MainWindow, FirstStartWritesBothFoldersAtOnce) {
    TfrmMain w;
    EXPECT_EQ(w.State().LastPathOpen, ProgramFolder());
    EXPECT_EQ(w.State().LastPathSave, ProgramFolder());
    // The values sit under the per-user key path, before the user does anything.
    QFile ini(QString::fromStdString(TSettingsStore::FileName()));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(text.contains("[HKEY_LOCAL_MACHINE]")) << text.toStdString();
    EXPECT_TRUE(text.contains("Software\\Quorvel\\Brisane\\LastPathOpen=")) << text.toStdString();
    EXPECT_TRUE(text.contains("Software\\Quorvel\\Brisane\\LastPathSave=")) << text.toStdString();
    EXPECT_EQ(StoredValue("LastPathOpen"), ProgramFolder());
    EXPECT_EQ(StoredValue("LastPathSave"), ProgramFolder());
}

TEST_F(MainWindow, ChosenFoldersStartTheNextDialogsAndSurviveARestart) {
    vt::TempDir inputs, outputs;
    const QStringList names = {"a.bmp", "b.bmp", "c.bmp"};
    for (const QString& n : names) Frame(inputs, n.toStdString(), 2, 1, 7);
    {
        DialogDriver driver;
        TfrmMain w;
        driver.Choose(inputs.path(), names);
        driver.Choose(outputs.path(), {"master"});
        w.Item("Median1")->trigger();
        driver.Cancel();  // the next run's open dialog: just look where it starts
        w.Item("Median1")->trigger();
        ASSERT_EQ(driver.dialogs.size(), 3u);
        EXPECT_EQ(driver.dialogs[0].startFolder.toStdString() + "/", ProgramFolder());
        EXPECT_EQ(driver.dialogs[1].startFolder.toStdString() + "/", ProgramFolder());
        EXPECT_EQ(driver.dialogs[2].startFolder.toStdString(), inputs.path());
        EXPECT_TRUE(vt::Exists(outputs.file("master.bmp")));
        w.Item("Exit1")->trigger();
    }
    DialogDriver driver;
    TfrmMain restarted;
    EXPECT_EQ(restarted.State().LastPathOpen, inputs.path() + "/");
    EXPECT_EQ(restarted.State().LastPathSave, outputs.path() + "/");
    driver.Choose(inputs.path(), names);
    driver.Cancel();
    restarted.Item("Median1")->trigger();
    ASSERT_EQ(driver.dialogs.size(), 2u);
    EXPECT_EQ(driver.dialogs[0].startFolder.toStdString(), inputs.path());
    EXPECT_EQ(driver.dialogs[1].startFolder.toStdString(), outputs.path());
    EXPECT_EQ(driver.unexpected, 0);
}

TEST_F(MainWindow, ExitAndTheCloseBoxBothSave) {
    {
        TfrmMain w;
        w.show();
        w.State().LastPathOpen = "/exit/open/";
        w.State().LastPathSave = "/exit/save/";
        w.Item("Exit1")->trigger();
        EXPECT_FALSE(w.isVisible());
    }
    EXPECT_EQ(StoredValue("LastPathOpen"), "/exit/open/");
    EXPECT_EQ(StoredValue("LastPathSave"), "/exit/save/");
    {
        TfrmMain w;
        w.show();
        w.State().LastPathOpen = "/close box/open, ü/";
        w.close();  // what the close box sends
    }
    EXPECT_EQ(StoredValue("LastPathOpen"), "/close box/open, ü/");
    EXPECT_EQ(StoredValue("LastPathSave"), "/exit/save/");
}

TEST_F(MainWindow, CreateMedianThroughTheFileDialogsShowsEveryStage) {
    DialogDriver driver;
    TfrmMain w;
    RecordStatus(w);
    Frame(dir, "a.bmp", 3, 2, 10);
    Frame(dir, "b.bmp", 3, 2, 250);
    Frame(dir, "c.bmp", 3, 2, 12);
    driver.Choose(dir.path(), {"a.bmp", "b.bmp", "c.bmp"});
    driver.Choose(dir.path(), {"dark"});
    w.Item("Median1")->trigger();

    EXPECT_EQ(statuses, (std::vector<std::string>{"Loading input files...", "Validating input files...",
                                                  "Creating median...", "", "Saving output file...",
                                                  "Cleaning up...", "Idle"}));
    EXPECT_TRUE(driver.boxes.empty());
    TBitmap master;
    master.LoadFromFile(dir.file("dark.bmp"));  // no dot typed: ".bmp" appended
    EXPECT_EQ(master.ScanLine(1)[2], 12);

    ASSERT_EQ(driver.dialogs.size(), 2u);
    EXPECT_EQ(driver.dialogs[0].title, "Open");
    EXPECT_EQ(driver.dialogs[0].mode, QFileDialog::ExistingFiles);
    EXPECT_EQ(driver.dialogs[0].shownFilters,
              (QStringList{"All (*.bmp;*.ico;*.emf;*.wmf)", "Bitmaps (*.bmp)", "Icons (*.ico)",
                           "Enhanced Metafiles (*.emf)", "Metafiles (*.wmf)", "All file types"}));
    EXPECT_EQ(driver.dialogs[1].title, "Save As");
    EXPECT_EQ(driver.dialogs[1].mode, QFileDialog::AnyFile);
    EXPECT_TRUE(w.MainMenu1()->isEnabled());
}

TEST_F(MainWindow, CreateMedianRefusalsAreShownInErrorBoxes) {
    struct Case {
        std::vector<std::string> files;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{Frame(dir, "a.bmp", 2, 2, 1), Frame(dir, "b.bmp", 2, 2, 2)},
         "A minimum of three files is required for a median"},
        {{dir.file("a.bmp"), dir.file("b.bmp"), Frame(dir, "big.bmp", 3, 2, 3)}, "All files must be the same size"},
        {{Frame(dir, "c1.bmp", 2, 2, 4, 24), Frame(dir, "c2.bmp", 2, 2, 5, 24), Frame(dir, "c3.bmp", 2, 2, 6, 24)},
         "256 color or monochrome bitmaps are reguired."},
    };
    TfrmMain w;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        DialogDriver driver;
        QStringList names;
        for (const std::string& f : c.files) names << QString::fromStdString(f.substr(dir.path().size() + 1));
        driver.Choose(dir.path(), names);
        w.Item("Median1")->trigger();
        EXPECT_EQ(driver.boxes, QStringList{QString("Error: ") + c.message});
        EXPECT_EQ(driver.dialogs.size(), 1u);  // never a save dialog
        EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");
    }
}

TEST_F(MainWindow, OneCommandAtATime) {
    DialogDriver driver;
    TfrmMain w;
    w.show();
    bool innerRan = false;
    const bool ran = w.RunCommand([&] {
        EXPECT_FALSE(w.MainMenu1()->isEnabled());
        EXPECT_FALSE(w.RunCommand([&] { innerRan = true; }));
        w.Item("Median1")->trigger();  // a menu click that got through: no dialog
        w.close();                     // the close box waits for the command
        EXPECT_TRUE(w.isVisible());
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(innerRan);
    EXPECT_TRUE(driver.dialogs.empty());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.MainMenu1()->isEnabled());
}

TEST_F(MainWindow, AnErrorEndingACommandIsShownAndTheWindowStaysUsable) {
    DialogDriver driver;
    TfrmMain w;
    Frame(dir, "a.bmp", 2, 2, 1);
    vt::WriteBytes(dir.file("b.bmp"), {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
    Frame(dir, "c.bmp", 2, 2, 3);
    driver.Choose(dir.path(), {"a.bmp", "b.bmp", "c.bmp"});
    w.Item("Median1")->trigger();

    std::string toolkitMessage;
    try {
        TBitmap().LoadFromFile(dir.file("b.bmp"));
    } catch (const EBitmapError& e) {
        toolkitMessage = e.what();
    }
    EXPECT_EQ(driver.boxes, QStringList{QApplication::applicationDisplayName() + ": " + toolkitMessage.c_str()});
    EXPECT_EQ(w.StatBar()->currentMessage(), "Loading input files...");  // kept as it was
    EXPECT_TRUE(w.MainMenu1()->isEnabled());
    EXPECT_TRUE(w.State().FrameList.empty());

    driver.Cancel();
    w.Item("Median1")->trigger();
    EXPECT_EQ(driver.dialogs.size(), 2u);
    EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");
}

TEST_F(MainWindow, StartUpCreatesTheDialogsHiddenAndWiresThemIn) {
    TVelmoraWindows windows;
    EXPECT_FALSE(windows.frmMain().isVisible());
    EXPECT_FALSE(windows.frmGetString().isVisible());
    EXPECT_FALSE(windows.frmGenHelp().isVisible());

    // The port's prompt is the prompt dialog; its close box hands back the text.
    DialogDriver driver;
    EXPECT_EQ(windows.frmMain().Port().GetString("Scale", "Factor", "12", true), std::optional<std::string>("12"));
    EXPECT_EQ(driver.others, QStringList{"Scale"});

    windows.frmMain().Item("GeneralTips1")->trigger();
    EXPECT_TRUE(windows.frmGenHelp().isVisible());
    EXPECT_EQ(windows.frmGenHelp().windowTitle(), "General Usage Notes");
    windows.frmGenHelp().close();
}
