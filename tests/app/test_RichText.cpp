// The rich-text reader on small hand-written snippets, and on input that is
// broken in every way we could think of.
#include "untRichText.h"

#include "TestFiles.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <random>

// Failure messages show the text, not its UTF-16 units.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// The character format at the first occurrence of `text`.
QTextCharFormat FormatAt(QTextDocument& doc, const QString& text) {
    QTextCursor c = doc.find(text);
    EXPECT_FALSE(c.isNull()) << text.toStdString();
    return c.charFormat();
}

bool Load(const char* rtf, QTextDocument& doc) { return LoadRichText(QByteArray(rtf), &doc); }

}  // namespace

TEST(RichText, BoldItalicUnderlineRunsAndParagraphs) {
    QTextDocument doc;
    ASSERT_TRUE(Load("{\\rtf1 plain {\\b bold} {\\i it}\\par \\ul under\\ulnone  back\\line x\\tab y\\par}", doc));
    // \line breaks the line inside its paragraph; the trailing \par leaves no empty block.
    EXPECT_EQ(doc.toRawText(), QString("plain bold it") + QChar::ParagraphSeparator + "under back" +
                                   QChar::LineSeparator + "x\ty");
    EXPECT_EQ(doc.blockCount(), 2);
    EXPECT_EQ(FormatAt(doc, "plain").fontWeight(), QFont::Normal);
    EXPECT_EQ(FormatAt(doc, "bold").fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatAt(doc, "it").fontItalic());
    EXPECT_TRUE(FormatAt(doc, "under").fontUnderline());
    EXPECT_FALSE(FormatAt(doc, "back").fontUnderline());
}

TEST(RichText, SizesAndPlainResetCharacterFormatting) {
    QTextDocument doc;
    ASSERT_TRUE(Load("{\\rtf1\\fs40\\b big\\b0\\i0 \\fs18 small\\b\\i\\plain  reset}", doc));
    EXPECT_DOUBLE_EQ(FormatAt(doc, "big").fontPointSize(), 20.0);  // half-points
    EXPECT_DOUBLE_EQ(FormatAt(doc, "small").fontPointSize(), 9.0);
    const QTextCharFormat reset = FormatAt(doc, "reset");
    EXPECT_EQ(reset.fontWeight(), QFont::Normal);
    EXPECT_FALSE(reset.fontItalic());
    EXPECT_FALSE(reset.hasProperty(QTextFormat::FontPointSize));

    ASSERT_TRUE(Load("{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}\\f1 cmd\\f0  text}", doc));
    EXPECT_TRUE(FormatAt(doc, "cmd").fontFixedPitch());
    EXPECT_FALSE(FormatAt(doc, "text").fontFixedPitch());
}

TEST(RichText, ParagraphAlignmentIndentsAndSpacing) {
    QTextDocument doc;
    ASSERT_TRUE(Load("{\\rtf1\\pard\\qc\\li720\\ri300\\fi-240\\sb240\\sa120 centre\\par"
                     "\\pard left\\par{\\pard\\qr right\\par}\\qj just\\par}", doc));
    ASSERT_EQ(doc.blockCount(), 4);
    const QTextBlockFormat centre = doc.findBlockByNumber(0).blockFormat();
    EXPECT_EQ(centre.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_NEAR(centre.leftMargin(), 48, 1);  // 720 twips: half an inch
    EXPECT_NEAR(centre.textIndent(), -16, 1);
    EXPECT_NEAR(centre.topMargin(), 16, 1);
    const QTextBlockFormat left = doc.findBlockByNumber(1).blockFormat();
    EXPECT_EQ(left.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(left.leftMargin(), 0);
    EXPECT_EQ(doc.findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    // The group's \pard\qr ended with the group.
    EXPECT_EQ(doc.findBlockByNumber(3).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
}

TEST(RichText, EscapesAndUnicodeWithTheirFallbacks) {
    QTextDocument doc;
    ASSERT_TRUE(Load("{\\rtf1\\uc1 caf\\'e9 \\u8212? \\{x\\} a\\\\b \\'93q\\'94 \\'80"
                     "{\\uc2\\u233xy}z\\u-3913?\\emdash\\~!}", doc));
    EXPECT_EQ(doc.toRawText(),
              QString::fromUtf8("café — {x} a\\b “q” €éz") + QChar(0xF0B7) + QChar(0x2014) + QChar(0xA0) + "!");
}

TEST(RichText, SkipsTablesInfoPicturesAndIgnorableDestinations) {
    QTextDocument doc;
    ASSERT_TRUE(Load("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
                     "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Secret}{\\author Me}}"
                     "{\\*\\generator Writer;}{\\pict\\bin3 }{}}{\\lang1033\\loch Body}"
                     "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt  link}}}trailing", doc));
    EXPECT_EQ(doc.toPlainText(), QString("Body link"));
}

TEST(RichText, RefusesWhatIsNotRichTextAndLeavesTheDocument) {
    QTextDocument doc;
    doc.setPlainText("keep");
    EXPECT_FALSE(Load("", doc));
    EXPECT_FALSE(Load("plain words", doc));
    EXPECT_FALSE(Load("{\\rt", doc));
    EXPECT_FALSE(LoadRichTextFile("/nonexistent/help.rtf", &doc));
    vt::TempDir dir;
    vt::WriteBytes(dir.file("empty.rtf"), {});
    EXPECT_FALSE(LoadRichTextFile(QString::fromStdString(dir.file("empty.rtf")), &doc));
    EXPECT_EQ(doc.toPlainText(), QString("keep"));
    EXPECT_TRUE(LoadRichText(QByteArray("{\\rtf1 new}"), &doc));
    EXPECT_EQ(doc.toPlainText(), QString("new"));
}

// Nothing here checks output: the reader must come back (no crash, no endless
// loop, no read past the end) and the sanitizer build watches the memory.
TEST(RichText, SurvivesMalformedInput) {
    const char* const hostile[] = {
        "{\\rtf1", "{\\rtf1\\", "{\\rtf1\\'", "{\\rtf1\\'4", "{\\rtf1\\'zz}", "{\\rtf1}}}}}x",
        "{\\rtf1\\u", "{\\rtf1\\u-", "{\\rtf1\\uc99999999999999\\u65}",
        "{\\rtf1\\fs99999999999999999999 \\li-99999999999999999999 \\u99999999999 x}",
        "{\\rtf1\\bin99999999999 abc}", "{\\rtf1\\bin-5 abc}", "{\\rtf1{\\*}}",
        "{\\rtf1\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa1 x}"};
    for (const char* text : hostile) {
        QTextDocument doc;
        EXPECT_TRUE(Load(text, doc)) << text;
    }
    QTextDocument deep;
    EXPECT_TRUE(LoadRichText("{\\rtf1" + QByteArray(100000, '{') + "x" + QByteArray(100000, '}'), &deep));
    EXPECT_EQ(deep.toPlainText(), QString("x"));

    const char* const pieces[] = {"{", "}", "\\", "\\b", "\\b0", "\\par", "\\'e", "\\'9", "\\u",
                                  "\\uc2", "-", "12", " ", "x", "\\*", "\\fonttbl", "\\bin",
                                  "\\plain", "\\pard", "\\qc", "\\fs", "\r\n", "\\\n", "\xff"};
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        QByteArray text("{\\rtf1");
        const int count = static_cast<int>(rng() % 200);
        for (int k = 0; k < count; ++k) {
            if (rng() % 8 == 0) text.append(static_cast<char>(rng() % 256));
            else text.append(pieces[rng() % std::size(pieces)]);
        }
        QTextDocument doc;
        EXPECT_TRUE(LoadRichText(text, &doc));
    }
    const std::vector<uint8_t> help = vt::ReadBytes(VELMORA_DATA_DIR "/VelmoraQCAboutv3.rtf");
    const QByteArray whole(reinterpret_cast<const char*>(help.data()), static_cast<qsizetype>(help.size()));
    for (qsizetype cut = 6; cut < whole.size(); cut += 97) {
        QTextDocument doc;
        EXPECT_TRUE(LoadRichText(whole.left(cut), &doc));
    }
}
