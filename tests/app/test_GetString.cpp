// The prompt dialog: what typing may put into the field, and what the caller
// gets back however the dialog is closed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "untGetString.h"

namespace {

// Runs `act` once Ask shows the dialog modally, then makes sure it is
// closed: a check failing inside the timer must not leave exec() waiting.
std::string AskAnd(TfrmGetString& dialog, const std::string& defaultText, const std::function<void()>& act) {
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget() == &dialog) act();
        if (dialog.isVisible()) dialog.reject();
    });
    return dialog.Ask("Iterations", "Enter number of passes (1..n)", defaultText, true);
}

TEST(GetString, DigitsOnlyDropsTypedNonDigitsButNotPastedText) {
    TfrmGetString dialog;
    dialog.DigitsOnly = 1;
    dialog.show();
    QTest::keyClicks(dialog.Edit1, "1a2- +.");
    QTest::keyClick(dialog.Edit1, Qt::Key_Backspace);  // editing keys still edit
    EXPECT_EQ(dialog.Edit1->text(), "1");
    QApplication::clipboard()->setText("-7b");
    QTest::keyClick(dialog.Edit1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(dialog.Edit1->text(), "1-7b");
}

TEST(GetString, OkAndTheCloseBoxBothHandBackTheField) {
    TfrmGetString dialog;
    std::string shown;
    EXPECT_EQ(AskAnd(dialog, "1", [&] {
                  shown = dialog.windowTitle().toStdString() + " / " + dialog.Label1->text().toStdString() +
                          " / " + dialog.Edit1->text().toStdString();
                  dialog.Edit1->clear();
                  QTest::keyClicks(dialog.Edit1, "4x2");
                  QTest::mouseClick(dialog.Button1, Qt::LeftButton);
              }),
              "42");
    EXPECT_EQ(shown, "Iterations / Enter number of passes (1..n) / 1");
    EXPECT_EQ(AskAnd(dialog, "20", [&] {
                  QTest::keyClick(dialog.Edit1, Qt::Key_End);
                  QTest::keyClicks(dialog.Edit1, "5");
                  dialog.close();
              }),
              "205");
}

}  // namespace
