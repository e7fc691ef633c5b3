// The window's answers to the questions single commands ask: the dialogs
// that start-up created once and a results dialog made for each
// measurement. Start-up hands this to the main window's port.
#pragma once

#include "untCommandDialogs.h"

class QWidget;
class TfrmPrescale;
class TfrmRenameParms;

class TWindowDialogs : public TCommandDialogs {
public:
    // owner owns the results dialogs; the others live as long as this does.
    TWindowDialogs(QWidget* owner, TfrmPrescale& prescale, TfrmRenameParms& renameParms);

    std::string AskPrescaleFactor(const std::string& defaultText) override;
    TRenameParms AskRenameParms() override;
    void ShowResults(const TResultRows& rows) override;

private:
    QWidget* owner_;
    TfrmPrescale& prescale_;
    TfrmRenameParms& renameParms_;
};
