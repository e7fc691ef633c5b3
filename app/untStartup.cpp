#include "untStartup.h"

#include <signal.h>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <exception>
#include <iostream>

#include "untGenHelp.h"
#include "untDDP.h"
#include "untGetString.h"
#include "untHistogram.h"
#include "untMain.h"
#include "untPrescale.h"
#include "untRenameParms.h"
#include "untUnsharpMask.h"
#include "untWindowDialogs.h"

TVelmoraWindows::TVelmoraWindows() {
    frmMain_ = std::make_unique<TfrmMain>();

    // The reusable dialogs, in the order the commands came to need them.
    frmGetString_ = new TfrmGetString(frmMain_.get());
    frmGenHelp_ = std::make_unique<TfrmGenHelp>();
    frmHistogram_ = new TfrmHistogram(frmMain_.get());
    frmDDP_ = new TfrmDDP(frmMain_.get());
    frmUnsharpMask_ = new TfrmUnsharpMask(frmMain_.get());
    frmPrescale_ = new TfrmPrescale(frmMain_.get());
    frmRenameParms_ = new TfrmRenameParms(frmMain_.get());

    // An open help window must not keep the program running once the main
    // window has closed.
    frmGenHelp_->setAttribute(Qt::WA_QuitOnClose, false);
    frmGetString_->setAttribute(Qt::WA_QuitOnClose, false);
    frmPrescale_->setAttribute(Qt::WA_QuitOnClose, false);
    frmRenameParms_->setAttribute(Qt::WA_QuitOnClose, false);

    frmMain_->SetDialogs(frmGetString_, frmGenHelp_.get());
    frmMain_->SetPostProcDialogs({frmHistogram_, frmDDP_, frmUnsharpMask_});
    TfrmGetString* prompt = frmGetString_;
    frmMain_->Port().promptHandler = [prompt](const std::string& title, const std::string& text,
                                              const std::string& defaultText,
                                              bool digitsOnly) -> std::optional<std::string> {
        return prompt->Ask(title, text, defaultText, digitsOnly);
    };
    dialogs_ = std::make_unique<TWindowDialogs>(frmMain_.get(), *frmPrescale_, *frmRenameParms_);
    frmMain_->Port().SetCommandDialogs(dialogs_.get());
}

TVelmoraWindows::~TVelmoraWindows() {
    // Dialogs first, in reverse order; the prompt goes with the main window.
    frmGenHelp_.reset();
    frmMain_.reset();
}

int VelmoraMain(int argc, char** argv) {
    // Over the file-size limit a write must fail, so that the safe writer
    // reports it and removes its temporary file, rather than end the program.
    signal(SIGXFSZ, SIG_IGN);
    try {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Velmora"));
        QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
        QApplication::setDesktopFileName(QStringLiteral("velmora"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/velmora.png")));
        try {
            TVelmoraWindows windows;
            windows.frmMain().show();
            return QApplication::exec();
        } catch (const std::exception& e) {
            QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), QString::fromStdString(e.what()));
        } catch (...) {
            QMessageBox::critical(nullptr, QApplication::applicationDisplayName(),
                                  QStringLiteral("The program could not start."));
        }
    } catch (const std::exception& e) {
        std::cerr << "Velmora: " << e.what() << '\n';
    }
    return 1;
}
