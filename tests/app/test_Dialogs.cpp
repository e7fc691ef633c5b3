// The small dialogs as commands meet them through the main window's port:
// what typing may put into their fields, what they show, and what the
// command gets back however they are closed.

#include <QClipboard>
#include <QKeyEvent>
#include <QRadioButton>

#include "Modal.h"
#include "untGenHelp.h"
#include "untGetString.h"
#include "untPrescale.h"
#include "untRenameParms.h"
#include "untResults.h"

using namespace vapp;

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
    QTest::keyClicks(factor.Edit1, "1a2,-+e .5~");
    for (const char* utf8 : {"\xC3\xA9", "\xD9\xA3"}) {  // é, an Arabic-Indic digit three
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8(utf8));
        QApplication::sendEvent(factor.Edit1, &press);
    }
    EXPECT_EQ(factor.Edit1->text(), "12.5");
}

TEST(SmallDialogs, EachQuestionShowsItsDialogAndTheCommandGetsWhatItShowsWhenClosed) {
    TVelmoraWindows windows;
    EXPECT_FALSE(windows.frmGetString().isVisible() || windows.frmGenHelp().isVisible());
    TUiPort& port = windows.frmMain().Port();
    QStringList shown;  // what each dialog showed when it came up
    QPointer<TfrmResults> results;  // it goes as soon as it is closed
    const std::vector<Step> steps = {
        On<TfrmGetString>([&](TfrmGetString& d) {
            shown << d.windowTitle() + "/" + d.Label1->text() + "/" + d.Edit1->text();
            d.Edit1->clear();
            QTest::keyClicks(d.Edit1, "4x2");
            QTest::mouseClick(d.Button1, Qt::LeftButton);
        }),
        // The close box hands back the field as OK does.
        On<TfrmGetString>([](TfrmGetString& d) { QTest::keyClicks(d.Edit1, "5"); d.close(); }),
        On<TfrmPrescale>([&](TfrmPrescale& d) {
            shown << d.windowTitle() + "/" + d.Edit1->text();
            QTest::keyClicks(d.Edit1, "0.5");  // the default is selected: typing replaces it
            QTest::mouseClick(d.btnFactor, Qt::LeftButton);
        }),
        On<TfrmRenameParms>([&](TfrmRenameParms& d) {
            shown << d.Edit1->text() + "/" + QString::number(d.ItemIndex());
            QTest::keyClicks(d.Edit1, "m42");
            QTest::mouseClick(d.Item(1), Qt::LeftButton);
            QTest::mouseClick(d.Button1, Qt::LeftButton);
        }),
        // The rename dialog has no cancel and keeps its values from one use to the next.
        On<TfrmRenameParms>([](TfrmRenameParms& d) { d.close(); }),
        On<TfrmResults>([&](TfrmResults& d) {  // it has no buttons
            results = &d;
            shown << d.windowTitle();
            for (QLabel* l : {d.Label1, d.Result1, d.Label2, d.Result2, d.Label3, d.Result3, d.Label4, d.Result4,
                              d.Label5, d.Result5})
                shown.back() += "/" + l->text();
            d.close();
        })};
    std::vector<std::string> got;
    EXPECT_TRUE(Drive(steps, [&] {
        got.push_back(port.GetString("Iterations", "Enter number of passes (1..n)", "1", true).value_or("-"));
        got.push_back(port.GetString("Threshhold", "Enter +/- threshhold (1..n)", "20", true).value_or("-"));
        got.push_back(port.Dialogs().AskPrescaleFactor("2.0"));
        for (int i = 0; i < 2; ++i) {
            const TRenameParms parms = port.Dialogs().AskRenameParms();
            got.push_back(parms.root + (parms.padded ? "/padded" : "/normal"));
        }
        port.Dialogs().ShowResults({{"Highest", "255"}, {"Lowest", "0"}, {"Average", "85"}});
    }));
    EXPECT_EQ(got, (std::vector<std::string>{"42", "5", "0.5", "m42/padded", "m42/padded"}));
    EXPECT_EQ(shown, (QStringList{"Iterations/Enter number of passes (1..n)/1", "Prescale/2.0", "/0",
                                  "Results/Highest/255/Lowest/0/Average/85////"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(results.isNull());

    windows.frmMain().Item("GeneralTips1")->trigger();
    EXPECT_EQ(windows.frmGenHelp().windowTitle(), "General Usage Notes");
    windows.frmGenHelp().close();
}
