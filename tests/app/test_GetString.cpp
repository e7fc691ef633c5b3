// The small dialogs: the prompt and the prescale factor (what typing may put
// into their fields, what the caller gets back however they are closed), and
// the results dialog (its captions, and that it is gone once closed).
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "untGetString.h"
#include "untPrescale.h"
#include "untResults.h"

namespace {

// Runs `act` once `ask` shows the dialog modally, then makes sure it is
// closed: a check failing inside the timer must not leave exec() waiting.
std::string AskAnd(QDialog& dialog, const std::function<std::string()>& ask, const std::function<void()>& act) {
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget() == &dialog) act();
        if (dialog.isVisible()) dialog.reject();
    });
    return ask();
}

TEST(SmallDialogs, TypingPutsOnlyWhatTheFieldTakes) {
    TfrmGetString prompt;
    prompt.DigitsOnly = 1;
    prompt.show();
    QTest::keyClicks(prompt.Edit1, "1a2- +.");
    QTest::keyClick(prompt.Edit1, Qt::Key_Backspace);  // editing keys still edit
    EXPECT_EQ(prompt.Edit1->text(), "1");
    QApplication::clipboard()->setText("-7b");  // pasted text is taken as it is
    QTest::keyClick(prompt.Edit1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(prompt.Edit1->text(), "1-7b");

    TfrmPrescale factor;  // digits and the point only
    factor.show();
    factor.Edit1->clear();
    QTest::keyClicks(factor.Edit1, "1a2,-+e .5~");
    for (const char* utf8 : {"\xC3\xA9", "\xD9\xA3"}) {  // é, an Arabic-Indic digit three
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8(utf8));
        QApplication::sendEvent(factor.Edit1, &press);
    }
    EXPECT_EQ(factor.Edit1->text(), "12.5");
}

TEST(SmallDialogs, TheyOpenOnTheirDefaultsAndOkAndTheCloseBoxBothHandBackTheField) {
    TfrmGetString prompt;
    auto ask = [&](const std::string& defaultText) {
        return [&, defaultText] { return prompt.Ask("Iterations", "Enter number of passes (1..n)", defaultText, true); };
    };
    std::string shown;
    EXPECT_EQ(AskAnd(prompt, ask("1"),
                     [&] {
                         shown = prompt.windowTitle().toStdString() + " / " + prompt.Label1->text().toStdString() +
                                 " / " + prompt.Edit1->text().toStdString();
                         prompt.Edit1->clear();
                         QTest::keyClicks(prompt.Edit1, "4x2");
                         QTest::mouseClick(prompt.Button1, Qt::LeftButton);
                     }),
              "42");
    EXPECT_EQ(shown, "Iterations / Enter number of passes (1..n) / 1");
    EXPECT_EQ(AskAnd(prompt, ask("20"),
                     [&] {
                         QTest::keyClick(prompt.Edit1, Qt::Key_End);
                         QTest::keyClicks(prompt.Edit1, "5");
                         prompt.close();
                     }),
              "205");

    TfrmPrescale factor;
    EXPECT_EQ(AskAnd(factor, [&] { return factor.Ask("2.0"); },
                     [&] {
                         shown = factor.Edit1->text().toStdString();
                         QTest::keyClicks(factor.Edit1, "0.5");  // the default is selected: typing replaces it
                         QTest::mouseClick(factor.btnFactor, Qt::LeftButton);
                     }),
              "0.5");
    EXPECT_EQ(shown, "2.0");
}

TEST(SmallDialogs, ResultsShowTheRowsAndAreReleasedWhenClosed) {
    QWidget owner;
    QPointer<TfrmResults> shown;
    QStringList captions;
    QTimer::singleShot(0, [&] {
        shown = qobject_cast<TfrmResults*>(QApplication::activeModalWidget());
        if (!shown) return;  // the second timer closes whatever is up
        captions << shown->windowTitle();
        for (QLabel* l : {shown->Label1, shown->Result1, shown->Label2, shown->Result2, shown->Label3, shown->Result3,
                          shown->Label4, shown->Result4, shown->Label5, shown->Result5})
            captions << l->text();
        shown->close();  // the close box: the dialog has no buttons
    });
    QTimer::singleShot(0, [] {
        if (QWidget* left = QApplication::activeModalWidget()) left->close();
    });
    ShowResultsDialog(&owner, {{"Highest", "255"}, {"Lowest", "0"}, {"Average", "85"}});
    EXPECT_EQ(captions, (QStringList{"Results", "Highest", "255", "Lowest", "0", "Average", "85", "", "", "", ""}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
}

}  // namespace
