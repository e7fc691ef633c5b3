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

class GetString : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.show();
        dialog.Edit1->clear();
    }

    // Runs `act` once Ask shows the dialog modally, then makes sure it is
    // closed: a check failing inside the timer must not leave exec() waiting.
    std::string AskAnd(const std::string& title, const std::string& prompt, const std::string& defaultText,
                       bool digitsOnly, const std::function<void()>& act) {
        dialog.hide();
        QTimer::singleShot(0, [&] {
            if (QApplication::activeModalWidget() == &dialog) act();
            if (dialog.isVisible()) dialog.reject();
        });
        return dialog.Ask(title, prompt, defaultText, digitsOnly);
    }

    QLineEdit* Field() { return dialog.Edit1; }
    std::string Text() const { return dialog.Edit1->text().toStdString(); }
    TfrmGetString dialog;
};

TEST_F(GetString, DigitsOnlyDropsTypedNonDigitsButKeepsEditingKeys) {
    dialog.DigitsOnly = 1;
    QTest::keyClicks(Field(), "1a2- +.");
    EXPECT_EQ(Text(), "12");

    QTest::keyClick(Field(), Qt::Key_Backspace);
    QTest::keyClick(Field(), Qt::Key_Home);
    QTest::keyClicks(Field(), "9");
    EXPECT_EQ(Text(), "91");
    QTest::keyClick(Field(), Qt::Key_Delete);
    EXPECT_EQ(Text(), "9");

    // Pasting is not typing: Ctrl+V brings in whatever the clipboard holds.
    QApplication::clipboard()->setText("-7b");
    QTest::keyClick(Field(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(), "9-7b");
}

TEST_F(GetString, AskSetsUpTheDialogAndReturnsTheTextOnOk) {
    std::string caption, prompt, shownDefault;
    const std::string answer = AskAnd("Iterations", "Enter number of passes (1..n)", "1", true, [&] {
        caption = dialog.windowTitle().toStdString();
        prompt = dialog.Label1->text().toStdString();
        shownDefault = Text();
        Field()->clear();
        QTest::keyClicks(Field(), "4x2");
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    });
    EXPECT_EQ(caption, "Iterations");
    EXPECT_EQ(prompt, "Enter number of passes (1..n)");
    EXPECT_EQ(shownDefault, "1");
    EXPECT_EQ(answer, "42");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    // The same dialog serves the next caller, in free-text mode.
    const std::string name = AskAnd("Reference Point Name", "Enter a name for reference point", "", false, [&] {
        QTest::keyClicks(Field(), "M 42-b");
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    });
    EXPECT_EQ(name, "M 42-b");
}

TEST_F(GetString, CloseBoxHandsBackTheFieldAsItStands) {
    const std::string cleared = AskAnd("Threshhold", "Enter +/- threshhold (1..n)", "20", true, [&] {
        Field()->clear();
        dialog.close();
    });
    EXPECT_EQ(cleared, "");
}

}  // namespace
