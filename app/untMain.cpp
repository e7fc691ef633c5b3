#include "untMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QMenuBar>
#include <QStatusBar>
#include <algorithm>
#include <functional>
#include <map>

#include "untAlignForm.h"
#include "untGenHelp.h"
#include "untConvert.h"
#include "untDarkSubtract.h"
#include "untErode.h"
#include "untFindHighLow.h"
#include "untFlatAvg.h"
#include "untFlatField.h"
#include "untMedian.h"
#include "untPrescaleFrames.h"
#include "untRename.h"
#include "untRepair.h"
#include "untResizeFrames.h"
#include "untSettings.h"
#include "untStatusProgress.h"

namespace {

const char* const kOpenFilter =
    "All (*.bmp;*.ico;*.emf;*.wmf)|*.bmp;*.ico;*.emf;*.wmf|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|"
    "Enhanced Metafiles (*.emf)|*.emf|Metafiles (*.wmf)|*.wmf|All file types|*.*";
const char* const kSaveFilter =
    "All (*.bmp;*.ico;*.emf;*.wmf)|*.bmp;*.ico;*.emf;*.wmf|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|"
    "Enhanced Metafiles (*.emf)|*.emf|Metafiles (*.wmf)|*.wmf";

struct TSubMenu {
    const char* path;  // "File/Convert Files": the caption is the last part
    const char* name;
};

const TSubMenu kSubMenus[] = {
    {"File", "File1"},
    {"File/Convert Files", "ConvertFiles1"},
    {"File/Dark Subtract", "DarkSubtract1"},
    {"File/Prescale", "Prescale1"},
    {"File/Align and Stack", "AlignandStack1"},
    {"Help", "Help1"},
};

struct TMenuItem {
    const char* menu;
    const char* caption;  // "-" is a separator
    const char* name;
    void (TfrmMain::*handler)();  // nullptr: the command is not built yet, the item stays disabled
    bool hidden = false;
};

// In menu order. The handler each item will call is named in its comment
// until the command exists; note that Tograyscale1 is "To FITS".
const TMenuItem kMenuItems[] = {
    {"File", "Create Median", "Median1", &TfrmMain::Median1Click},
    {"File", "Create Flat (Avg)", "CreateFlatAvg1", &TfrmMain::CreateFlatAvg1Click},
    {"File/Convert Files", "To FITS", "Tograyscale1", &TfrmMain::Tofits1Click},
    {"File/Convert Files", "To Grayscale", "ToGrayscale2", &TfrmMain::Tograyscale1Click},
    {"File/Convert Files", "Rename", "Rename1", &TfrmMain::Rename1Click},
    {"File/Convert Files", "Erode", "Erode1", &TfrmMain::Erode1Click},
    {"File/Convert Files", "Strip Top and Bottom", "StripTop161", &TfrmMain::StripTop161Click},
    {"File/Convert Files", "Strip Sides", "StripLeft1", &TfrmMain::StripLeft1Click},
    {"File/Convert Files", "Vertical Bars", "VerticalBars1", &TfrmMain::VerticalBars1Click},
    {"File/Convert Files", "Fix Edges", "FixEdges1", &TfrmMain::FixEdges1Click},
    {"File/Dark Subtract", "Normal", "Normal1", &TfrmMain::Normal1Click},
    {"File/Dark Subtract", "Compensate", "Compensate1", &TfrmMain::Compensate1Click},
    {"File/Dark Subtract", "Map Hot Pixels", "MapHotPixels1", &TfrmMain::MapHotPixels1Click},
    {"File/Dark Subtract", "New Normal", "NewNormal1", &TfrmMain::NewNormal1Click},
    {"File/Dark Subtract", "New Map", "NewMap1", &TfrmMain::NewMap1Click},
    {"File/Prescale", "Auto (global)", "AutoGlobal1", &TfrmMain::AutoGlobal1Click},
    {"File/Prescale", "Auto (per file)", "Auto1", &TfrmMain::Auto1Click},
    {"File/Prescale", "Manual", "Manual1", &TfrmMain::Manual1Click},
    {"File/Prescale", "Wide", "Wide1", &TfrmMain::Wide1Click},
    {"File/Prescale", "Smart Wide", "SmartWide1", &TfrmMain::SmartWide1Click},
    {"File", "Flat Field", "FlatField1", &TfrmMain::FlatField1Click},
    {"File", "-", "N4", nullptr},
    {"File", "Find High and Low", "FindHighandLow1", &TfrmMain::FindHighandLow1Click},
    {"File", "Resize Frames", "ResizeFrames1", &TfrmMain::ResizeFrames1Click},
    {"File", "-", "N2", nullptr},
    {"File/Align and Stack", "Average", "Average2", &TfrmMain::Average2Click},
    {"File/Align and Stack", "Sum", "Sum1", &TfrmMain::Sum1Click},
    {"File/Align and Stack", "Median", "Median2", &TfrmMain::Median2Click},
    {"File/Align and Stack", "Median Average", "MedianAverage1", &TfrmMain::MedianAverage1Click},
    {"File/Align and Stack", "Median Sum", "MedianSum1", &TfrmMain::MedianSum1Click},
    {"File/Align and Stack", "Drizzle", "Drizzle1", &TfrmMain::Drizzle1Click, true},
    {"File/Align and Stack", "Align WCMY", "AlignWCMY1", &TfrmMain::AlignWCMY1Click, true},
    {"File/Align and Stack", "fp Average", "fpAverage1", &TfrmMain::fpAverage1Click},
    {"File", "Process", "Process1", &TfrmMain::Process1Click},
    {"File", "-", "N3", nullptr},
    {"File", "Exit", "Exit1", &TfrmMain::Exit1Click},
    {"Help", "General Tips", "GeneralTips1", &TfrmMain::GeneralTips1Click},
};

}  // namespace

std::string ProgramFolder() {
    QString folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder.toStdString();
}

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Velmora"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    StatBar_ = new QStatusBar(this);
    StatBar_->setObjectName(QStringLiteral("StatBar"));
    StatBar_->setSizeGripEnabled(false);
    setStatusBar(StatBar_);
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    // A global menu bar would leave the window with nothing but its status line.
    menuBar()->setNativeMenuBar(false);
    BuildMenu();

    port_ = std::make_unique<TQtPort>(this, StatBar_);
    port_->OpenDialog().Filter = kOpenFilter;
    port_->SaveDialog().Filter = kSaveFilter;

    // Narrow and fixed: the menu bar over one status line, 293 pixels wide,
    // or wider where a large font would cut the stage texts off.
    const QFontMetrics metrics(StatBar_->font());
    const int width = std::max(293, 2 * metrics.horizontalAdvance(QStringLiteral("Validating input files...")));
    const int height = menuBar()->sizeHint().height() + StatBar_->sizeHint().height();
    setFixedSize(width, height);
    // While long work shows its progress bar and Stop button the window
    // grows to the right by their width, still one line high, so the
    // status text keeps its room.
    TStatusProgress* progress = port_->StatusProgress();
    progress->ShownChanged = [this, progress, width, height](bool shown) {
        setFixedSize(shown ? width + progress->ExtraWidth() : width, height);
    };

    state_.LastPathOpen.clear();
    state_.LastPathSave.clear();
    port_->SetStatus("Initializing...");
    state_.FrameList.clear();
    LoadFolders();
    // No grey palette is built: nothing in the program would use it.
    port_->SetStatus("Idle");
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::SetDialogs(TfrmGetString* getString, TfrmGenHelp* genHelp) {
    frmGetString_ = getString;
    frmGenHelp_ = genHelp;
}

void TfrmMain::BuildMenu() {
    // A menu is created where its first item is listed, which puts every
    // submenu in its place among the items around it.
    std::map<std::string, QMenu*> menus;
    std::function<QMenu*(const std::string&)> menuFor = [&](const std::string& path) -> QMenu* {
        if (auto found = menus.find(path); found != menus.end()) return found->second;
        const size_t slash = path.rfind('/');
        const QString caption = QString::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1));
        QMenu* menu = slash == std::string::npos ? menuBar()->addMenu(caption)
                                                 : menuFor(path.substr(0, slash))->addMenu(caption);
        for (const TSubMenu& sub : kSubMenus)
            if (path == sub.path) menu->setObjectName(QString::fromLatin1(sub.name));
        return menus[path] = menu;
    };
    for (const TMenuItem& item : kMenuItems) {
        QMenu* menu = menuFor(item.menu);
        QAction* action = nullptr;
        if (std::string(item.caption) == "-") {
            action = menu->addSeparator();
        } else {
            action = menu->addAction(QString::fromLatin1(item.caption));
            if (item.handler)
                connect(action, &QAction::triggered, this, item.handler);
            else
                action->setEnabled(false);
        }
        action->setObjectName(QString::fromLatin1(item.name));
        action->setVisible(!item.hidden);
    }
}

QAction* TfrmMain::Item(const QString& objectName) const { return findChild<QAction*>(objectName); }

void TfrmMain::LoadFolders() {
    // Each value on its own: a store that fails for one still gives the other.
    auto load = [](std::string& member, const char* name) {
        try {
            member = TSettingsStore::ReadString(name).value_or(std::string());
            if (member.empty()) member = ProgramFolder();
            (void)TSettingsStore::WriteString(name, member);
        } catch (...) {
            // A settings store that fails never stops the program from starting.
        }
    };
    load(state_.LastPathOpen, "LastPathOpen");
    load(state_.LastPathSave, "LastPathSave");
}

void TfrmMain::FormClose() {
    (void)TSettingsStore::WriteString("LastPathOpen", state_.LastPathOpen);
    (void)TSettingsStore::WriteString("LastPathSave", state_.LastPathSave);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Commands share the window's members and run the event loop inside
    // themselves: the window closes once the running command has returned.
    if (running_) {
        closePending_ = true;
        // Long work stops after the file in hand, as with Stop.
        port_->StatusProgress()->RequestStop();
        event->ignore();
        return;
    }
    FormClose();
    QMainWindow::closeEvent(event);
}

bool TfrmMain::event(QEvent* event) {
    // Hovering a menu item would replace the status line with its (empty) tip.
    if (event->type() == QEvent::StatusTip) return true;
    return QMainWindow::event(event);
}

bool TfrmMain::RunCommand(const std::function<void()>& body) {
    if (running_) return false;
    running_ = true;
    menuBar()->setEnabled(false);
    struct TRunningGuard {
        TfrmMain& window;
        ~TRunningGuard() {
            window.running_ = false;
            window.menuBar()->setEnabled(true);
        }
    };
    {
        TRunningGuard guard{*this};
        port_->BeginCommand();
        try {
            body();
        } catch (const std::exception& e) {
            port_->ShowException(e.what());
        } catch (...) {
            port_->ShowException("The command ended with an unknown error.");
        }
        // A window that is closing has no one to tell.
        port_->EndCommand(!closePending_);
    }
    if (closePending_) {
        closePending_ = false;
        close();
    }
    return true;
}

void TfrmMain::Median1Click() {
    RunCommand([&] { RunCreateMedian(state_, *port_); });
}

void TfrmMain::CreateFlatAvg1Click() {
    RunCommand([&] { RunCreateFlatAvg(state_, *port_); });
}

void TfrmMain::Normal1Click() {
    state_.DarkSubtractMode = dsNormal;
    RunCommand([&] { DarkSubtract(state_, *port_); });
}

void TfrmMain::Compensate1Click() {
    state_.DarkSubtractMode = dsCompensate;
    RunCommand([&] { DarkSubtract(state_, *port_); });
}

void TfrmMain::MapHotPixels1Click() {
    state_.DarkSubtractMode = dsMapHotPixels;
    RunCommand([&] { DarkSubtract(state_, *port_); });
}

void TfrmMain::NewNormal1Click() {
    RunCommand([&] { RunDarkSubtractNewNormal(state_, *port_); });
}

void TfrmMain::NewMap1Click() {
    RunCommand([&] { RunDarkSubtractNewMap(state_, *port_); });
}

void TfrmMain::AutoGlobal1Click() {
    RunCommand([&] { PrescaleFrames(state_, *port_, psGlobal, 0.0); });
}

void TfrmMain::Auto1Click() {
    RunCommand([&] { PrescaleFrames(state_, *port_, psPerFile, 0.0); });
}

void TfrmMain::Manual1Click() {
    RunCommand([&] { RunPrescaleManual(state_, *port_); });
}

void TfrmMain::Wide1Click() {
    RunCommand([&] { RunPrescaleWide(state_, *port_); });
}

void TfrmMain::SmartWide1Click() {
    RunCommand([&] { RunPrescaleSmartWide(state_, *port_); });
}

void TfrmMain::FlatField1Click() {
    RunCommand([&] { RunFlatField(state_, *port_); });
}

void TfrmMain::FindHighandLow1Click() {
    RunCommand([&] { RunFindHighAndLow(state_, *port_); });
}

void TfrmMain::Tofits1Click() {
    RunCommand([&] { RunToFits(state_, *port_); });
}

void TfrmMain::Tograyscale1Click() {
    RunCommand([&] { RunToGrayscale(state_, *port_); });
}

void TfrmMain::Rename1Click() {
    RunCommand([&] { RunRename(state_, *port_); });
}

void TfrmMain::Erode1Click() {
    RunCommand([&] { RunErode(state_, *port_); });
}

void TfrmMain::StripTop161Click() {
    RunCommand([&] { RunStripTopAndBottom(state_, *port_); });
}

void TfrmMain::StripLeft1Click() {
    RunCommand([&] { RunStripSides(state_, *port_); });
}

void TfrmMain::VerticalBars1Click() {
    RunCommand([&] { RunVerticalBars(state_, *port_); });
}

void TfrmMain::FixEdges1Click() {
    RunCommand([&] { RunFixEdges(state_, *port_); });
}

void TfrmMain::ResizeFrames1Click() {
    RunCommand([&] { RunResizeFrames(state_, *port_); });
}

void TfrmMain::AlignAndStack(int stackMode, int wcmyMode, bool askScale) {
    RunCommand([&] {
        RunAlignAndStack(state_, *port_, this, TAlignCommand{stackMode, wcmyMode, askScale}, [this] {
            if (frmGenHelp_) frmGenHelp_->ShowHelpTopic(QStringLiteral("Stacking Images"), 1);
        });
    });
}

void TfrmMain::Average2Click() { AlignAndStack(smAverage, 0, false); }
void TfrmMain::Sum1Click() { AlignAndStack(smSum, 0, true); }
void TfrmMain::Median2Click() { AlignAndStack(smMedian, 0, false); }
void TfrmMain::MedianAverage1Click() { AlignAndStack(smMedianAverage, 0, false); }
void TfrmMain::MedianSum1Click() { AlignAndStack(smMedianSum, 0, true); }
// A hidden item that was never more than its place in the menu.
void TfrmMain::Drizzle1Click() {}
void TfrmMain::AlignWCMY1Click() { AlignAndStack(smAverage, 1, false); }
void TfrmMain::fpAverage1Click() { AlignAndStack(smFpAverage, 0, false); }

void TfrmMain::Process1Click() {
    RunCommand([&] { RunProcess(state_, *port_, this, postProcDialogs_); });
}

void TfrmMain::Exit1Click() { close(); }

void TfrmMain::GeneralTips1Click() {
    RunCommand([&] {
        if (frmGenHelp_) frmGenHelp_->ShowHelpTopic(QStringLiteral("General Usage Notes"), 0);
    });
}
