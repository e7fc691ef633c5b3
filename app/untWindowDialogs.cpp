#include "untWindowDialogs.h"

#include "untPrescale.h"
#include "untRenameParms.h"
#include "untResults.h"

TWindowDialogs::TWindowDialogs(QWidget* owner, TfrmPrescale& prescale, TfrmRenameParms& renameParms)
    : owner_(owner), prescale_(prescale), renameParms_(renameParms) {}

std::string TWindowDialogs::AskPrescaleFactor(const std::string& defaultText) { return prescale_.Ask(defaultText); }

TRenameParms TWindowDialogs::AskRenameParms() { return renameParms_.Ask(); }

void TWindowDialogs::ShowResults(const TResultRows& rows) { ShowResultsDialog(owner_, rows); }
