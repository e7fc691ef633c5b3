// Start-up: the application object, the main window, the dialogs that
// commands reuse, and the message loop.
#pragma once

#include <memory>

class TfrmMain;
class TfrmGetString;
class TfrmGenHelp;
class TfrmPrescale;

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

private:
    std::unique_ptr<TfrmMain> frmMain_;
    // Owned by the main window (a dialog centred over it).
    TfrmGetString* frmGetString_ = nullptr;
    // A window of its own beside the main window.
    std::unique_ptr<TfrmGenHelp> frmGenHelp_;
    // Owned by the main window.
    TfrmPrescale* frmPrescale_ = nullptr;
};

// The whole program: returns the exit status.
int VelmoraMain(int argc, char** argv);
