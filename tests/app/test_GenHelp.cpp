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

TEST(GenHelp, StartsHiddenWithItsDefaultCaptionLookingInTheProgramFolder) {
    TfrmGenHelp help;
    EXPECT_FALSE(help.isVisible());
    EXPECT_EQ(help.windowTitle(), QString("Stacking Help"));
    EXPECT_EQ(help.geometry().size(), QSize(306, 307));
    EXPECT_EQ(help.helpFolder, QCoreApplication::applicationDirPath() + "/");
    EXPECT_EQ(help.RichEdit1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST(GenHelp, SwitchingTopicsReplacesTextAndCaptionInTheSameWindow) {
    TfrmGenHelp help;
    help.helpFolder = kDataDir;
    help.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_TRUE(help.isVisible());
    EXPECT_FALSE(help.isModal());
    EXPECT_EQ(help.windowTitle(), QString("General Usage Notes"));
    const QString about = help.RichEdit1->toPlainText();
    EXPECT_TRUE(about.contains("Create Median"));
    EXPECT_FALSE(about.contains(kNotFound));

    help.ShowHelpTopic("Stacking Images", 1);
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.windowTitle(), QString("Stacking Images"));
    const QString align = help.RichEdit1->toPlainText();
    EXPECT_TRUE(align.contains("Auto Register All"));
    EXPECT_FALSE(align.contains("Create Median"));

    help.ShowHelpTopic("Other", 42);
    EXPECT_TRUE(help.RichEdit1->toPlainText().contains("No help for this topic"));
    EXPECT_FALSE(help.RichEdit1->toPlainText().contains("Auto Register All"));
}

TEST(GenHelp, MissingFilesAppendTheLineOncePerAttemptBelowWhatWasShown) {
    vt::TempDir empty;
    TfrmGenHelp help;
    help.helpFolder = QString::fromStdString(empty.path()) + "/";
    help.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.windowTitle(), QString("General Usage Notes"));
    EXPECT_EQ(help.RichEdit1->toPlainText(), kNotFound);
    help.ShowHelpTopic("Stacking Images", 1);
    EXPECT_EQ(help.windowTitle(), QString("Stacking Images"));
    EXPECT_EQ(help.RichEdit1->toPlainText(), kNotFound + "\n" + kNotFound);

    TfrmGenHelp loaded;
    loaded.helpFolder = kDataDir;
    loaded.ShowHelpTopic("Stacking Images", 1);
    const QString before = loaded.RichEdit1->toPlainText();
    loaded.helpFolder = QString::fromStdString(empty.path()) + "/";
    loaded.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_EQ(loaded.RichEdit1->toPlainText(), before + "\n" + kNotFound);
    // The line is plain text, not in the format the help file ended with.
    EXPECT_EQ(loaded.RichEdit1->document()->lastBlock().charFormat().fontWeight(), QFont::Normal);
}

TEST(GenHelp, EveryShippedHelpFileReadsCleanly) {
    const struct {
        const char* name;
        std::vector<const char*> words;
    } files[] = {
        {"VelmoraQCAboutv3.rtf",
         {"General Usage Notes", "copies", "Create Median", "lower of the two middle values",
          "Create Flat (Avg)", "Dark Subtract", "Flat Field", "Prescale", "Convert Files",
          "Find High and Low", "Resize Frames", "Align and Stack", "Process", "velmora-cli",
          "later versions", "greyed out"}},
        {"VM3ALIGN.RTF",
         {"Stacking Images", "later version", "centroid lock", "Auto Register All", "Done",
          "Average", "Sum", "Median Average", "Median Sum", "fp Average"}},
        {"VM3NOHELP.rtf", {"No help for this topic"}},
    };
    for (const auto& f : files) {
        QTextDocument doc;
        ASSERT_TRUE(LoadRichTextFile(kDataDir + f.name, &doc)) << f.name;
        const QString text = doc.toPlainText();
        for (const char* w : f.words) EXPECT_TRUE(text.contains(w)) << f.name << ": " << w;
        // Markup that leaked into the text means a typing error in the file.
        EXPECT_FALSE(text.contains('\\') || text.contains('{') || text.contains('}')) << f.name;
        EXPECT_FALSE(text.contains(QChar(0xFFFD))) << f.name;
    }
}
