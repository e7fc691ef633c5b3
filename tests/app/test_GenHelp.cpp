// The help viewer, the help files we ship, and the rich-text reader they go
// through, on small hand-written snippets and on broken input.
#include "untGenHelp.h"
#include "untRichText.h"

#include "Modal.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <random>

namespace {

const QString kNotFound = "Help files not found in program directory.";
const QString kDataDir = QString(VELMORA_DATA_DIR) + "/";

bool Load(const QByteArray& rtf, QTextDocument& doc) { return LoadRichText(rtf, &doc); }

}  // namespace

TEST(GenHelp, TopicsReplaceTextAndCaptionInTheSameWindowAndAMissingFileAddsALine) {
    vt::TempDir empty;
    TfrmGenHelp help;
    EXPECT_EQ(help.helpFolder, QCoreApplication::applicationDirPath() + "/");
    help.helpFolder = kDataDir;
    help.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_TRUE(help.isVisible());
    EXPECT_FALSE(help.isModal());
    EXPECT_EQ(help.windowTitle(), QString("General Usage Notes"));
    EXPECT_TRUE(help.RichEdit1->toPlainText().contains("Create Median"));
    help.ShowHelpTopic("Other", 42);
    EXPECT_TRUE(help.RichEdit1->toPlainText().contains("No help for this topic"));

    help.ShowHelpTopic("Stacking Images", 1);
    EXPECT_EQ(help.windowTitle(), QString("Stacking Images"));
    const QString before = help.RichEdit1->toPlainText();
    EXPECT_TRUE(before.contains("Auto Register All") && !before.contains("Create Median"));
    // Each attempt appends the line below what was shown, in plain text rather
    // than in the format the help file ended with.
    help.helpFolder = QString::fromStdString(empty.path()) + "/";
    help.ShowHelpTopic("General Usage Notes", 0);
    EXPECT_EQ(help.windowTitle(), QString("General Usage Notes"));
    EXPECT_EQ(help.RichEdit1->toPlainText(), before + "\n" + kNotFound);
    EXPECT_EQ(help.RichEdit1->document()->lastBlock().charFormat().fontWeight(), QFont::Normal);
}

TEST(RichText, ShippedFilesReadCleanlyAndWhatIsNotRichTextLeavesTheDocument) {
    for (const char* name : {"VelmoraQCAboutv3.rtf", "VM3ALIGN.RTF", "VM3NOHELP.rtf"}) {
        QTextDocument doc;
        ASSERT_TRUE(LoadRichTextFile(kDataDir + name, &doc)) << name;
        const QString text = doc.toPlainText();
        // Markup that leaked into the text means a typing error in the file.
        EXPECT_FALSE(text.contains('\\') || text.contains('{') || text.contains('}')) << name;
        EXPECT_FALSE(text.contains(QChar(0xFFFD))) << name;
    }
    QTextDocument doc;
    doc.setPlainText("keep");
    for (const char* text : {"", "plain words", "{\\rt"}) EXPECT_FALSE(Load(text, doc)) << text;
    EXPECT_FALSE(LoadRichTextFile("/nonexistent/help.rtf", &doc));
    EXPECT_EQ(doc.toPlainText(), QString("keep"));
}

// Each snippet's text, then the formats of the first: bold, italic,
// underline and size in half-points at each word; alignment and left margin
// in twips of each paragraph. A group's \pard\qr ends with the group.
TEST(RichText, FormattingEscapesAndSkippedDestinations) {
    const QByteArray formatted = "{\\rtf1 plain {\\b bold} {\\i it}\\par \\ul under\\ulnone  back\\line x\\tab y\\par"
                                 "\\pard\\qc\\li720\\fs40 big\\plain  reset\\par{\\pard\\qr right\\par}\\qj just\\par}";
    const std::pair<QByteArray, QString> texts[] = {
        {formatted, "plain bold it\u2029under back\u2028x\ty\u2029big reset\u2029right\u2029just"},
        {"{\\rtf1\\uc1 caf\\'e9 \\u8212? \\{x\\} a\\\\b \\'93q\\'94 \\'80{\\uc2\\u233xy}z\\u-3913?\\emdash\\~!}",
         QString::fromUtf8("café — {x} a\\b “q” €éz\uF0B7—\u00A0!")},
        {"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
         "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Secret}{\\author Me}}{\\*\\generator Writer;}{\\pict\\bin3 }{}}"
         "{\\lang1033\\loch Body}{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt  link}}}trailing",
         "Body link"}};
    QTextDocument doc;
    for (const auto& [rtf, text] : texts) {
        EXPECT_TRUE(Load(rtf, doc));
        EXPECT_EQ(doc.toRawText(), text);
    }
    Load(formatted, doc);
    QStringList formats;
    for (const char* word : {"plain", "bold", "it", "under", "back", "big", "reset"}) {
        const QTextCharFormat f = doc.find(word).charFormat();
        formats << QString(f.fontWeight() == QFont::Bold ? "b" : "") + (f.fontItalic() ? "i" : "") +
                       (f.fontUnderline() ? "u" : "") + QString::number(f.fontPointSize() * 2);
    }
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        formats << QString::number(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask) + "/" +
                       QString::number(qRound(b.blockFormat().leftMargin() * 15));
    EXPECT_EQ(formats, (QStringList{"0", "b0", "i0", "u0", "0", "40", "0", "1/0", "1/0", "4/720", "2/0", "8/720"}));
}

// Nothing here checks output but the nesting's: the reader must come back
// (no crash, no endless loop, no read past the end) and the sanitizer build
// watches the memory.
TEST(RichText, SurvivesMalformedInput) {
    for (const char* text : {"{\\rtf1\\", "{\\rtf1\\'4", "{\\rtf1}}}}}x", "{\\rtf1\\u-", "{\\rtf1\\bin-5 abc}",
                             "{\\rtf1\\uc99999999999999\\u65}", "{\\rtf1\\bin99999999999 abc}",
                             "{\\rtf1\\fs99999999999999999999 \\li-99999999999999999999 \\u99999999999 x}"}) {
        QTextDocument doc;
        EXPECT_TRUE(Load(text, doc)) << text;
    }
    QTextDocument deep;
    EXPECT_TRUE(Load("{\\rtf1" + QByteArray(100000, '{') + "x" + QByteArray(100000, '}'), deep));
    EXPECT_EQ(deep.toPlainText(), QString("x"));

    const char* const pieces[] = {"{", "}", "\\", "\\b0", "\\par", "\\'e", "\\u", "\\uc2", "-", "12",
                                  " ", "x", "\\*", "\\fonttbl", "\\bin", "\\pard", "\\fs", "\\\n", "\xff"};
    std::mt19937 rng(1234);
    for (int round = 0; round < 100; ++round) {
        QByteArray text("{\\rtf1");
        for (int k = static_cast<int>(rng() % 200); k > 0; --k) text.append(pieces[rng() % std::size(pieces)]);
        QTextDocument doc;
        EXPECT_TRUE(Load(text, doc));
    }
}
