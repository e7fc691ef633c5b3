// The rename parameters dialog as the window's port shows it: what it shows
// at first, and that the one instance keeps what was set the time before.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "untMain.h"
#include "untRenameParms.h"
#include "untStartup.h"

TEST(RenameParmsDialog, StartsEmptyAndNormalThenKeepsWhatWasSet) {
    TVelmoraWindows windows;
    TfrmRenameParms& dialog = windows.frmRenameParms();
    EXPECT_EQ(dialog.windowTitle(), "Rename Parameters");
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(dialog.Label1->text(), "Root file name");
    EXPECT_EQ(dialog.rgType->title(), "Suffix");
    EXPECT_EQ(dialog.Item(0)->text(), "Normal (1..10)");
    EXPECT_EQ(dialog.Item(1)->text(), "Padded(01..10)");
    EXPECT_EQ(dialog.Button1->text(), "Done");

    // Each use: note what the dialog shows, set it up, and close it however
    // the check went.
    QStringList shown;
    bool firstUse = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!dialog.isVisible()) return;
        shown << dialog.Edit1->text() + "/" + QString::number(dialog.ItemIndex());
        if (firstUse) {
            QTest::keyClicks(dialog.Edit1, "m42");
            QTest::mouseClick(dialog.Item(1), Qt::LeftButton);
            QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        }
        dialog.close();  // the close box: there is no cancel, the values stand
    });
    poll.start(5);
    TRenameParms got = windows.frmMain().Port().Dialogs().AskRenameParms();
    EXPECT_EQ(got.root, "m42");
    EXPECT_TRUE(got.padded);
    firstUse = false;
    got = windows.frmMain().Port().Dialogs().AskRenameParms();
    EXPECT_EQ(got.root, "m42");
    EXPECT_TRUE(got.padded);
    EXPECT_EQ(shown, (QStringList{"/0", "m42/1"}));
}
