// Start-up: the application object, the main window, the dialogs that
// commands reuse, and the message loop.
#pragma once

#include <memory>

class TfrmMain;
class TfrmGetString;
class TfrmGenHelp;
class TfrmPrescale;
class TfrmHistogram;
class TfrmDDP;
class TfrmUnsharpMask;
class TfrmRenameParms;
class TWindowDialogs;

// The windows that live as long as the program. The main window comes
// first, then each reusable dialog once, hidden until a command shows it.
class TVelmoraWindows {
public:
    TVelmoraWindows();
    ~TVelmoraWindows();
    TVelmoraWindows(const TVelmoraWindows&) = delete;
    TVelmoraWindows& operator=(const TVelmoraWindows&) = delete;

    TfrmMain& frmMain() { return *frmMain_; }
    TfrmGetString& frmGetString() { return *frmGetString_; }
    TfrmGenHelp& frmGenHelp() { return *frmGenHelp_; }
    TfrmPrescale& frmPrescale() { return *frmPrescale_; }
    TfrmHistogram& frmHistogram() { return *frmHistogram_; }
    TfrmDDP& frmDDP() { return *frmDDP_; }
    TfrmUnsharpMask& frmUnsharpMask() { return *frmUnsharpMask_; }
    TfrmRenameParms& frmRenameParms() { return *frmRenameParms_; }

private:
    std::unique_ptr<TfrmMain> frmMain_;
    // Owned by the main window (a dialog centred over it).
    TfrmGetString* frmGetString_ = nullptr;
    // A window of its own beside the main window.
    std::unique_ptr<TfrmGenHelp> frmGenHelp_;
    // Owned by the main window, like the operation dialogs of "Process".
    TfrmPrescale* frmPrescale_ = nullptr;
    TfrmHistogram* frmHistogram_ = nullptr;
    TfrmDDP* frmDDP_ = nullptr;
    TfrmUnsharpMask* frmUnsharpMask_ = nullptr;
    // Owned by the main window; its values last as long as the program.
    TfrmRenameParms* frmRenameParms_ = nullptr;
    // What the main window's port answers single commands' questions with.
    std::unique_ptr<TWindowDialogs> dialogs_;
};

// The whole program: returns the exit status.
int VelmoraMain(int argc, char** argv);
