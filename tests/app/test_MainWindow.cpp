// The main window as a user meets it: the menu's state, a command run through Qt's
// own dialogs, the remembered folders, and one command at a time.

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>

#include "Modal.h"
#include "untBitmap.h"
#include "untSettings.h"

using namespace vapp;

namespace {

std::string StoredValue(const char* name) { return TSettingsStore::ReadString(name).value_or("(missing)"); }

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(QString::fromStdString(TSettingsStore::FileName())); }
    vt::TempDir dir;
};

}  // namespace

TEST_F(MainWindow, OnlyWhatIsNotBuiltIsGreyedOutAndTheSizeIsFixed) {
    TfrmMain w;
    const QList<QAction*> notBuilt = w.findChild<QMenu*>("AlignandStack1")->actions();
    for (QAction* a : w.findChildren<QAction*>()) {
        if (a->isSeparator() || a->menu() || a->objectName().isEmpty()) continue;
        EXPECT_EQ(a->isEnabled(), !notBuilt.contains(a)) << a->objectName().toStdString();
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
