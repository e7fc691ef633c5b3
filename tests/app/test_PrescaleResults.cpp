// The prescale factor dialog (what typing may put into its field, what the
// caller gets back however it closes) and the results dialog (its captions,
// and that it is gone once closed).
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "untPrescale.h"
#include "untResults.h"

namespace {

class PrescaleDialog : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.show();
        dialog.Edit1->clear();
    }

    // Runs `act` once Ask shows the dialog modally, then makes sure it is
    // closed: a check failing inside the timer must not leave exec() waiting.
    std::string AskAnd(const std::string& defaultText, const std::function<void()>& act) {
        dialog.hide();
        QTimer::singleShot(0, [&] {
            if (QApplication::activeModalWidget() == &dialog) act();
            if (dialog.isVisible()) dialog.reject();
        });
        return dialog.Ask(defaultText);
    }

    void Type(const QString& text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(dialog.Edit1, &press);
    }

    std::string Text() const { return dialog.Edit1->text().toStdString(); }
    TfrmPrescale dialog;
};

TEST_F(PrescaleDialog, OnlyDigitsAndThePointCanBeTyped) {
    EXPECT_EQ(dialog.windowTitle(), "Prescale");
    EXPECT_EQ(dialog.size(), QSize(156, 88));

    QTest::keyClicks(dialog.Edit1, "1a2,-+e .5~");
    Type(QString::fromUtf8("\xC3\xA9"));   // é
    Type(QString::fromUtf8("\xD9\xA3"));   // an Arabic-Indic digit three
    EXPECT_EQ(Text(), "12.5");
    QInputMethodEvent composed;
    composed.setCommitString(QString::fromUtf8("4\xC3\xBC"));
    QApplication::sendEvent(dialog.Edit1, &composed);
    EXPECT_EQ(Text(), "12.5");

    // Editing keys still edit.
    QTest::keyClick(dialog.Edit1, Qt::Key_Backspace);
    QTest::keyClick(dialog.Edit1, Qt::Key_Home);
    QTest::keyClick(dialog.Edit1, Qt::Key_Delete);
    EXPECT_EQ(Text(), "2.");
    QTest::keyClick(dialog.Edit1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dialog.Edit1, "3");
    EXPECT_EQ(Text(), "3");
}

TEST_F(PrescaleDialog, AskStartsFromTheDefaultAndHandsBackTheFieldHoweverItCloses) {
    std::string shown;
    std::string answer = AskAnd("2.0", [&] {
        shown = Text();
        QTest::keyClicks(dialog.Edit1, "0.5");  // the default is selected: typing replaces it
        QTest::mouseClick(dialog.btnFactor, Qt::LeftButton);
    });
    EXPECT_EQ(shown, "2.0");
    EXPECT_EQ(answer, "0.5");

    answer = AskAnd("2.0", [&] {
        QTest::keyClick(dialog.Edit1, Qt::Key_End);
        QTest::keyClicks(dialog.Edit1, "5");
        QTest::keyClick(dialog.Edit1, Qt::Key_Return);
    });
    EXPECT_EQ(answer, "2.05");

    answer = AskAnd("2.0", [&] {
        dialog.Edit1->clear();
        dialog.close();
    });
    EXPECT_EQ(answer, "");
}

TEST(ResultsDialog, StartsBlankShowsTheRowsAndIsReleasedWhenClosed) {
    QWidget owner;
    {
        TfrmResults blank(&owner);
        for (QLabel* l : {blank.Label1, blank.Label2, blank.Label3, blank.Label4, blank.Label5, blank.Result1,
                          blank.Result2, blank.Result3, blank.Result4, blank.Result5})
            EXPECT_EQ(l->text(), "") << l->objectName().toStdString();
    }

    QPointer<TfrmResults> shown;
    QStringList captions;
    QTimer::singleShot(0, [&] {
        shown = qobject_cast<TfrmResults*>(QApplication::activeModalWidget());
        if (!shown) return;  // the second timer closes whatever is up
        captions << shown->windowTitle();
        for (QLabel* l : {shown->Label1, shown->Result1, shown->Label2, shown->Result2, shown->Label3, shown->Result3,
                          shown->Label4, shown->Result4, shown->Label5, shown->Result5})
            captions << l->text();
        EXPECT_EQ(shown->parent(), &owner);
        shown->close();  // the close box: the dialog has no buttons
    });
    QTimer::singleShot(0, [] {
        if (QWidget* left = QApplication::activeModalWidget()) left->close();
    });
    ShowResultsDialog(&owner, {{"Highest", "255"}, {"Lowest", "0"}, {"Average", "85"}, {"", ""}, {"", ""}});
    EXPECT_EQ(captions, (QStringList{"Results", "Highest", "255", "Lowest", "0", "Average", "85", "", "", "", ""}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
    EXPECT_TRUE(owner.findChildren<TfrmResults*>().isEmpty());
}

}  // namespace
