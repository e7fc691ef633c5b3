// The main window: a narrow fixed window with the whole menu and a one-line
// status bar. Every menu handler is one call into its command.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "untMainState.h"
#include "untPostProc.h"
#include "untQtPort.h"

class QAction;
class QMenu;
class QStatusBar;
class TfrmGetString;
class TfrmGenHelp;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The reusable dialogs, created once at start-up after the main window.
    void SetDialogs(TfrmGetString* getString, TfrmGenHelp* genHelp);
    // The three operation dialogs that "Process" borrows.
    void SetPostProcDialogs(const TPostProcDialogs& dialogs) { postProcDialogs_ = dialogs; }

    TMainState& State() { return state_; }
    TQtPort& Port() { return *port_; }
    QStatusBar* StatBar() const { return StatBar_; }
    QMenuBar* MainMenu1() const { return menuBar(); }
    // A menu item by its object name ("Median1", "Exit1", ...); nullptr if none.
    QAction* Item(const QString& objectName) const;

    // Runs one command with the menu disabled, whatever way it ends; an error
    // that escapes it is shown by the default error display. False when a
    // command is already running (the new one is not started).
    bool RunCommand(const std::function<void()>& body);
    bool CommandRunning() const { return running_; }

    // Menu handlers.
    void Median1Click();
    void CreateFlatAvg1Click();
    void Normal1Click();
    void Compensate1Click();
    void MapHotPixels1Click();
    void NewNormal1Click();
    void NewMap1Click();
    void AutoGlobal1Click();
    void Auto1Click();
    void Manual1Click();
    void Wide1Click();
    void SmartWide1Click();
    void FlatField1Click();
    void FindHighandLow1Click();
    void Average2Click();
    void Sum1Click();
    void Median2Click();
    void MedianAverage1Click();
    void MedianSum1Click();
    void Drizzle1Click();
    void AlignWCMY1Click();
    void fpAverage1Click();
    void Process1Click();
    void Tofits1Click();
    void Tograyscale1Click();
    void Rename1Click();
    void Erode1Click();
    void StripTop161Click();
    void StripLeft1Click();
    void VerticalBars1Click();
    void FixEdges1Click();
    void ResizeFrames1Click();
    void Exit1Click();
    void GeneralTips1Click();

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose: saves the two folders
    bool event(QEvent* event) override;

private:
    void BuildMenu();
    void AlignAndStack(int stackMode, int wcmyMode, bool askScale);
    void LoadFolders();
    void FormClose();

    TMainState state_;
    std::unique_ptr<TQtPort> port_;
    QStatusBar* StatBar_ = nullptr;
    TfrmGetString* frmGetString_ = nullptr;
    TfrmGenHelp* frmGenHelp_ = nullptr;
    TPostProcDialogs postProcDialogs_;
    bool running_ = false;
    bool closePending_ = false;  // the close box was used while a command ran
};

// The folder of the program's own executable, with its trailing separator.
std::string ProgramFolder();
