// The help viewer and the help files we ship.
#include "untGenHelp.h"
#include "untRichText.h"

#include "TestFiles.h"

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

// Failure messages show the text, not its UTF-16 units.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QString kNotFound = "Help files not found in program directory.";
const QString kDataDir = QString(VELMORA_DATA_DIR) + "/";

}  // namespace

TEST(GenHelp, SwitchingTopicsReplacesTextAndCaptionInTheSameWindow) {
    TfrmGenHelp help;
    EXPECT_EQ(help.windowTitle(), QString("Stacking Help"));
    EXPECT_EQ(help.helpFolder, QCoreApplication::applicationDirPath() + "/");
    help.helpFolder = kDataDir;
    help.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_TRUE(help.isVisible());
    EXPECT_FALSE(help.isModal());
    EXPECT_EQ(help.windowTitle(), QString("General Usage Notes"));
    EXPECT_TRUE(help.RichEdit1->toPlainText().contains("Create Median"));

    help.ShowHelpTopic("Stacking Images", 1);
    EXPECT_EQ(help.windowTitle(), QString("Stacking Images"));
    EXPECT_TRUE(help.RichEdit1->toPlainText().contains("Auto Register All"));
    EXPECT_FALSE(help.RichEdit1->toPlainText().contains("Create Median"));

    help.ShowHelpTopic("Other", 42);
    EXPECT_TRUE(help.RichEdit1->toPlainText().contains("No help for this topic"));
}

TEST(GenHelp, MissingFilesAppendTheLineOncePerAttemptBelowWhatWasShown) {
    vt::TempDir empty;
    TfrmGenHelp help;
    help.helpFolder = kDataDir;
    help.ShowHelpTopic("Stacking Images", 1);
    const QString before = help.RichEdit1->toPlainText();
    help.helpFolder = QString::fromStdString(empty.path()) + "/";
    help.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.windowTitle(), QString("General Usage Notes"));
    EXPECT_EQ(help.RichEdit1->toPlainText(), before + "\n" + kNotFound);
    // The line is plain text, not in the format the help file ended with.
    EXPECT_EQ(help.RichEdit1->document()->lastBlock().charFormat().fontWeight(), QFont::Normal);
    help.ShowHelpTopic("Stacking Images", 1);
    EXPECT_EQ(help.RichEdit1->toPlainText(), before + "\n" + kNotFound + "\n" + kNotFound);
}

TEST(GenHelp, EveryShippedHelpFileReadsCleanly) {
    for (const char* name : {"VelmoraQCAboutv3.rtf", "VM3ALIGN.RTF", "VM3NOHELP.rtf"}) {
        QTextDocument doc;
        ASSERT_TRUE(LoadRichTextFile(kDataDir + name, &doc)) << name;
        const QString text = doc.toPlainText();
        // Markup that leaked into the text means a typing error in the file.
        EXPECT_FALSE(text.contains('\\') || text.contains('{') || text.contains('}')) << name;
        EXPECT_FALSE(text.contains(QChar(0xFFFD))) << name;
    }
}
