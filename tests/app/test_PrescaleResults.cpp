// The prescale factor dialog (what typing may put into its field, what the
// caller gets back) and the results dialog (its captions, and that it is
// gone once closed).
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "untPrescale.h"
#include "untResults.h"

namespace {

TEST(PrescaleDialog, OnlyDigitsAndThePointCanBeTyped) {
    TfrmPrescale dialog;
    dialog.show();
    dialog.Edit1->clear();
    QTest::keyClicks(dialog.Edit1, "1a2,-+e .5~");
    for (const char* utf8 : {"\xC3\xA9", "\xD9\xA3"}) {  // é, an Arabic-Indic digit three
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8(utf8));
        QApplication::sendEvent(dialog.Edit1, &press);
    }
    EXPECT_EQ(dialog.Edit1->text(), "12.5");
}

TEST(PrescaleDialog, AskStartsFromTheDefaultAndHandsBackTheField) {
    TfrmPrescale dialog;
    std::string shown;
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget() == &dialog) {
            shown = dialog.Edit1->text().toStdString();
            QTest::keyClicks(dialog.Edit1, "0.5");  // the default is selected: typing replaces it
            QTest::mouseClick(dialog.btnFactor, Qt::LeftButton);
        }
        if (dialog.isVisible()) dialog.reject();  // a failed check must not leave exec() waiting
    });
    EXPECT_EQ(dialog.Ask("2.0"), "0.5");
    EXPECT_EQ(shown, "2.0");
}

TEST(ResultsDialog, ShowsTheRowsAndIsReleasedWhenClosed) {
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
