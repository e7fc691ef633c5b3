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

// Answers the program's dialogs in order, as a user would. Every dialog is
// closed whatever happens, so a failed check cannot leave a test hanging in
// exec(); a file dialog nobody expected is cancelled.
class DialogDriver {
public:
    DialogDriver() {
        TQtFileDialog::beforeExec = [this](QFileDialog& dlg) { Answer(dlg); };
        QObject::connect(&poll_, &QTimer::timeout, [this] { AnswerModal(); });
        poll_.start(5);
    }
    ~DialogDriver() { TQtFileDialog::beforeExec = nullptr; }

    void Choose(const std::string& folder, const QStringList& names) {
        answers_.push_back({QString::fromStdString(folder), names});
    }
    void Cancel() { answers_.push_back({}); }

    QStringList dialogs;          // "title in start folder" of each file dialog
    QList<QStringList> filters;   // the filter captions each file dialog offered
    QStringList boxes;   // "title: text" of each message box, answered with OK
    QStringList others;  // other modal windows, closed with their close box

private:
    void Answer(QFileDialog& dlg) {
        QStringList shown;
        if (auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
        dialogs << dlg.windowTitle() + " in " + dlg.directory().absolutePath();
        filters << shown;
        std::pair<QString, QStringList> answer;  // no names: cancel
        if (!answers_.empty()) answer = answers_.front(), answers_.pop_front();
        QTimer::singleShot(0, &dlg, [&dlg, answer] {
            const auto& [folder, names] = answer;
            if (!names.isEmpty()) {
                dlg.setDirectory(folder);
                dlg.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(names.size() == 1 ? names.front() : '"' + names.join("\" \"") + '"');
                static_cast<QDialog&>(dlg).accept();  // the file dialog's own checks run
            }
            if (dlg.isVisible()) dlg.reject();
        });
    }
    void AnswerModal() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->windowTitle() + ": " + box->text();
            box->done(QMessageBox::Ok);
        } else if (modal && !qobject_cast<QFileDialog*>(modal)) {
            others << modal->windowTitle();
            modal->close();
        }
    }

    std::deque<std::pair<QString, QStringList>> answers_;
    QTimer poll_;
};

void Frame(const vt::TempDir& dir, const std::string& name, uint8_t value) {
    vt::WriteBytes(dir.file(name), vt::BuildBmp({.width = 3, .height = 2, .pixels = std::vector<uint8_t>(6, value),
                                                 .paletteBGRA = {}}));
}

std::string StoredValue(const char* name) { return TSettingsStore::ReadString(name).value_or("(missing)"); }

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(QString::fromStdString(TSettingsStore::FileName())); }
    vt::TempDir dir;
};

}  // namespace

TEST_F(MainWindow, MenuTreeHasEveryItemInPlace) {
    TfrmMain w;
    // Each item as caption=objectName, "~" when hidden, "!" when disabled; a submenu's items in [ ].
    std::function<std::string(QMenu*)> walk = [&](QMenu* menu) {
        std::string s;
        for (QAction* a : menu->actions()) {
            s += (s.empty() ? "" : ", ") + (a->isSeparator() ? "-" : a->text().toStdString()) + "=" +
                 a->objectName().toStdString() + (a->isVisible() ? "" : "~") + (a->isEnabled() ? "" : "!");
            if (a->menu()) s += "[" + walk(a->menu()) + "]";
        }
        return s;
    };
    std::string tree;
    for (QAction* top : w.MainMenu1()->actions()) tree += top->text().toStdString() + "[" + walk(top->menu()) + "]";
    EXPECT_EQ(tree,
              "File[Create Median=Median1, Create Flat (Avg)=CreateFlatAvg1, Convert Files=[To FITS=Tograyscale1, "
              "To Grayscale=ToGrayscale2, Rename=Rename1, Erode=Erode1, Strip Top and Bottom=StripTop161, "
              "Strip Sides=StripLeft1, Vertical Bars=VerticalBars1, Fix Edges=FixEdges1], Dark Subtract=["
              "Normal=Normal1, Compensate=Compensate1, Map Hot Pixels=MapHotPixels1, New Normal=NewNormal1, "
              "New Map=NewMap1], Prescale=[Auto (global)=AutoGlobal1, Auto (per file)=Auto1, Manual=Manual1, "
              "Wide=Wide1, Smart Wide=SmartWide1], Flat Field=FlatField1, -=N4, Find High and Low=FindHighandLow1, "
              "Resize Frames=ResizeFrames1, -=N2, Align and Stack=[Average=Average2!, Sum=Sum1!, Median=Median2!, "
              "Median Average=MedianAverage1!, Median Sum=MedianSum1!, Drizzle=Drizzle1~!, "
              "Align WCMY=AlignWCMY1~!, fp Average=fpAverage1!], Process=Process1, -=N3, Exit=Exit1]"
              "Help[General Tips=GeneralTips1]");

    EXPECT_EQ(w.windowTitle(), "Velmora");
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    // Moving over a menu item must not wipe the status line.
    QStatusTipEvent tip(QString{});
    QApplication::sendEvent(&w, &tip);
    EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");
}

TEST_F(MainWindow, FirstStartWritesBothFoldersAtOnceAndExitAndTheCloseBoxBothSave) {
    {
        TfrmMain w;
        EXPECT_EQ(StoredValue("LastPathOpen"), ProgramFolder());
        EXPECT_EQ(StoredValue("LastPathSave"), ProgramFolder());
        QFile ini(QString::fromStdString(TSettingsStore::FileName()));
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        EXPECT_TRUE(ini.readAll().contains("Software\\Quorvel\\Brisane\\LastPathSave="));
    }
    for (const std::string folder : {"/exit/", "/close box/ü, x/"}) {
        {
            TfrmMain w;
            w.show();
            w.State().LastPathOpen = folder + "open/";
            w.State().LastPathSave = folder + "save/";
            if (folder == "/exit/") w.Item("Exit1")->trigger();
            else w.close();  // what the close box sends
            EXPECT_FALSE(w.isVisible());
        }
        EXPECT_EQ(StoredValue("LastPathOpen"), folder + "open/");
        EXPECT_EQ(StoredValue("LastPathSave"), folder + "save/");
    }
}

TEST_F(MainWindow, CreateMedianThroughTheFileDialogsItsErrorsAndTheFoldersSurviveARestart) {
    vt::TempDir out;
    const QString program = QString::fromStdString(ProgramFolder()).chopped(1);
    Frame(dir, "a.bmp", 10);
    Frame(dir, "b.bmp", 250);
    Frame(dir, "c.bmp", 12);
    {
        DialogDriver driver;
        TfrmMain w;
        std::vector<std::string> statuses;
        QObject::connect(w.StatBar(), &QStatusBar::messageChanged,
                         [&](const QString& s) { statuses.push_back(s.toStdString()); });
        driver.Choose(dir.path(), {"a.bmp", "b.bmp", "c.bmp"});
        driver.Choose(out.path(), {"dark"});
        w.Item("Median1")->trigger();
        EXPECT_EQ(statuses, (std::vector<std::string>{"Loading input files...", "Validating input files...",
                                                      "Creating median...", "", "Saving output file...",
                                                      "Cleaning up...", "Idle"}));
        TBitmap master;
        master.LoadFromFile(out.file("dark.bmp"));  // no dot typed: ".bmp" appended
        EXPECT_EQ(master.ScanLine(1)[2], 12);
        EXPECT_EQ(driver.dialogs, (QStringList{"Open in " + program, "Save As in " + program}));
        EXPECT_EQ(driver.filters.value(0),
                  (QStringList{"All (*.bmp;*.ico;*.emf;*.wmf)", "Bitmaps (*.bmp)", "Icons (*.ico)",
                               "Enhanced Metafiles (*.emf)", "Metafiles (*.wmf)", "All file types"}));

        // A refusal is a box, and no save dialog follows.
        driver.Choose(dir.path(), {"a.bmp", "b.bmp"});
        w.Item("Median1")->trigger();
        EXPECT_EQ(driver.boxes, QStringList{"Error: A minimum of three files is required for a median"});
        EXPECT_EQ(driver.dialogs.size(), 3);
        EXPECT_EQ(w.StatBar()->currentMessage(), "Idle");

        // An error that ends a command is a box too, and the command can run again.
        vt::WriteBytes(dir.file("broken.bmp"), {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
        driver.Choose(dir.path(), {"a.bmp", "broken.bmp", "c.bmp"});
        w.Item("Median1")->trigger();
        ASSERT_EQ(driver.boxes.size(), 2);
        EXPECT_TRUE(driver.boxes[1].startsWith(QApplication::applicationDisplayName() + ": ")) << driver.boxes[1].toStdString();
        EXPECT_TRUE(w.MainMenu1()->isEnabled());
        EXPECT_TRUE(w.State().FrameList.empty());
        driver.Cancel();
        w.Item("Median1")->trigger();
        EXPECT_EQ(driver.dialogs.size(), 5);
        w.Item("Exit1")->trigger();
    }
    DialogDriver driver;
    TfrmMain restarted;
    driver.Choose(dir.path(), {"a.bmp", "b.bmp", "c.bmp"});
    driver.Cancel();
    restarted.Item("Median1")->trigger();
    EXPECT_EQ(driver.dialogs, (QStringList{"Open in " + QString::fromStdString(dir.path()),
                                           "Save As in " + QString::fromStdString(out.path())}));
}

TEST_F(MainWindow, OneCommandAtATime) {
    DialogDriver driver;
    TfrmMain w;
    w.show();
    bool innerRan = false;
    EXPECT_TRUE(w.RunCommand([&] {
        EXPECT_FALSE(w.MainMenu1()->isEnabled());
        EXPECT_FALSE(w.RunCommand([&] { innerRan = true; }));
        w.Item("Median1")->trigger();  // a menu click that got through: no dialog
        w.close();                     // the close box waits for the command
        EXPECT_TRUE(w.isVisible());
    }));
    EXPECT_FALSE(innerRan);
    EXPECT_TRUE(driver.dialogs.empty());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.MainMenu1()->isEnabled());
}

TEST_F(MainWindow, StartUpWiresTheHiddenDialogsIn) {
    TVelmoraWindows windows;
    EXPECT_FALSE(windows.frmGetString().isVisible() || windows.frmGenHelp().isVisible());
    DialogDriver driver;
    EXPECT_EQ(windows.frmMain().Port().GetString("Scale", "Factor", "12", true), std::optional<std::string>("12"));
    EXPECT_EQ(driver.others, QStringList{"Scale"});
    windows.frmMain().Item("GeneralTips1")->trigger();
    EXPECT_EQ(windows.frmGenHelp().windowTitle(), "General Usage Notes");
    windows.frmGenHelp().close();
}
