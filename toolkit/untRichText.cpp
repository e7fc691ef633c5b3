#include "untRichText.h"

#include <QFile>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

namespace {

// Bytes 0x80..0x9F of code page 1252; the rest of the page is Latin-1.
// Unassigned slots come out as the replacement character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0xFFFD};

QChar FromCp1252(uint8_t b) {
    if (b >= 0x80 && b < 0xA0) return QChar(kCp1252High[b - 0x80]);
    return QChar(b);
}

// Destinations whose text is not part of the document. A group opened by one of
// these words, or by \*, is skipped whole.
bool IsSkippedDestination(const QByteArray& w) {
    static const char* const kWords[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "pict", "header", "headerl",
        "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote",
        "object", "fldinst", "listtable", "listoverridetable", "rsidtbl", "generator",
        "filetbl", "revtbl", "themedata", "colorschememapping", "latentstyles",
        "datastore", "xmlnstbl", "pgdsctbl", "nonshppict", "shp", "shpinst",
        "bkmkstart", "bkmkend", "annotation", "atnid", "atnauthor", "comment",
        "author", "operator", "title", "subject", "keywords", "doccomm", "userprops",
        "template", "mmathPr", "listtext", "pntext", "pntxta", "pntxtb"};
    for (const char* k : kWords)
        if (w == k) return true;
    return false;
}

struct CharState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 0;  // 0: the document's own size
    int uc = 1;          // fallback characters after \uN
    int font = -1;       // \fN; only whether it is fixed-pitch matters
    bool skip = false;   // inside a destination we do not show
    bool fontTable = false;
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0;  // twips
};

struct GroupState {
    CharState ch;
    ParaState para;
};

// Twips to the document's pixel units at 96 dots per inch; exactness is not
// needed, only indents and gaps that look right.
double TwipsToPixels(int twips) { return twips / 15.0; }

class Reader {
public:
    Reader(const QByteArray& in, QTextDocument* doc) : in_(in), cursor_(doc) {}

    void Run();

private:
    const QByteArray& in_;
    qsizetype pos_ = 0;
    QTextCursor cursor_;
    std::vector<GroupState> stack_;
    GroupState cur_;
    std::set<int> fixedPitchFonts_;
    int fontBeingDefined_ = -1;
    int overflowDepth_ = 0;   // groups opened past kMaxDepth
    int fallbackLeft_ = 0;    // characters of a \uN fallback still to drop
    bool firstInGroup_ = false;
    QString pending_;
    QTextCharFormat pendingFmt_;

    static constexpr size_t kMaxDepth = 256;

    bool AtEnd() const { return pos_ >= in_.size(); }
    uint8_t Peek() const { return static_cast<uint8_t>(in_[pos_]); }

    QTextCharFormat CurrentFormat() const;
    QTextBlockFormat CurrentBlockFormat() const;
    void Emit(QChar c);
    void Flush();
    void EndParagraph();
    void OpenGroup();
    bool CloseGroup();  // false when the outermost group has closed
    void ControlWord(const QByteArray& word, bool hasParam, int param);
    void ControlSymbol(char c);
    void HexChar();
};

QTextCharFormat Reader::CurrentFormat() const {
    QTextCharFormat f;
    f.setFontWeight(cur_.ch.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(cur_.ch.italic);
    f.setFontUnderline(cur_.ch.underline);
    if (cur_.ch.halfPoints > 0) f.setFontPointSize(cur_.ch.halfPoints / 2.0);
    // Font names in the table are those of the writer's system; of a font we
    // keep only whether it is fixed-pitch, which commands and file names need.
    if (fixedPitchFonts_.count(cur_.ch.font)) {
        f.setFontFamilies({QStringLiteral("monospace")});
        f.setFontStyleHint(QFont::Monospace);
        f.setFontFixedPitch(true);
    }
    return f;
}

QTextBlockFormat Reader::CurrentBlockFormat() const {
    QTextBlockFormat b;
    b.setAlignment(cur_.para.align);
    b.setLeftMargin(TwipsToPixels(cur_.para.left));
    b.setRightMargin(TwipsToPixels(cur_.para.right));
    b.setTextIndent(TwipsToPixels(cur_.para.first));
    b.setTopMargin(TwipsToPixels(cur_.para.before));
    b.setBottomMargin(TwipsToPixels(cur_.para.after));
    return b;
}

void Reader::Emit(QChar c) {
    if (cur_.ch.skip) return;
    if (fallbackLeft_ > 0) {
        --fallbackLeft_;
        return;
    }
    const QTextCharFormat f = CurrentFormat();
    if (!pending_.isEmpty() && f != pendingFmt_) Flush();
    pendingFmt_ = f;
    pending_.append(c);
}

void Reader::Flush() {
    if (pending_.isEmpty()) return;
    cursor_.insertText(pending_, pendingFmt_);
    pending_.clear();
}

// RTF gives a paragraph its formatting at its end (\par), so the block is
// formatted then, and the next one starts plain until its own \par.
void Reader::EndParagraph() {
    if (cur_.ch.skip) return;
    fallbackLeft_ = 0;
    Flush();
    cursor_.setBlockFormat(CurrentBlockFormat());
    cursor_.insertBlock(CurrentBlockFormat(), CurrentFormat());
}

void Reader::OpenGroup() {
    fallbackLeft_ = 0;
    if (stack_.size() >= kMaxDepth) {
        ++overflowDepth_;
        return;
    }
    stack_.push_back(cur_);
    firstInGroup_ = true;
}

bool Reader::CloseGroup() {
    fallbackLeft_ = 0;
    firstInGroup_ = false;
    if (overflowDepth_ > 0) {
        --overflowDepth_;
        return true;
    }
    if (stack_.empty()) return false;
    cur_ = stack_.back();
    stack_.pop_back();
    return !stack_.empty();
}

void Reader::ControlWord(const QByteArray& w, bool hasParam, int n) {
    const bool first = firstInGroup_;
    firstInGroup_ = false;
    if (w == "bin") {
        // Raw bytes follow; they must not be read as text or braces.
        const qsizetype count = hasParam && n > 0 ? n : 0;
        pos_ = std::min(in_.size(), pos_ + count);
        return;
    }
    if (first && IsSkippedDestination(w)) {
        cur_.ch.skip = true;
        cur_.ch.fontTable = w == "fonttbl";
        return;
    }
    if (cur_.ch.fontTable) {
        if (w == "f" && hasParam) fontBeingDefined_ = n;
        else if (w == "fmodern" && fontBeingDefined_ >= 0 && fixedPitchFonts_.size() < 1000)
            fixedPitchFonts_.insert(fontBeingDefined_);
        return;
    }
    if (w == "u" && hasParam) {
        const int unit = n < 0 ? n + 65536 : n;
        if (unit >= 0 && unit <= 0xFFFF) Emit(QChar(char16_t(unit)));
        if (!cur_.ch.skip) fallbackLeft_ = cur_.ch.uc;
        return;
    }
    // Any other word inside a \uN fallback counts as one of its characters.
    if (fallbackLeft_ > 0 && !cur_.ch.skip) {
        --fallbackLeft_;
        return;
    }
    const bool on = !hasParam || n != 0;
    if (w == "par" || w == "sect" || w == "page" || w == "row") EndParagraph();
    else if (w == "line") Emit(QChar::LineSeparator);
    else if (w == "tab" || w == "cell") Emit(QChar('\t'));
    else if (w == "b") cur_.ch.bold = on;
    else if (w == "i") cur_.ch.italic = on;
    else if (w == "ul") cur_.ch.underline = on;
    else if (w == "ulnone") cur_.ch.underline = false;
    else if (w == "f") cur_.ch.font = hasParam ? n : -1;
    else if (w == "fs") cur_.ch.halfPoints = hasParam && n > 0 && n <= 3276 ? n : 0;
    else if (w == "uc") cur_.ch.uc = hasParam ? std::clamp(n, 0, 16) : 1;
    else if (w == "plain") {
        CharState plain;
        plain.skip = cur_.ch.skip;
        plain.fontTable = cur_.ch.fontTable;
        plain.uc = cur_.ch.uc;
        cur_.ch = plain;
    } else if (w == "pard") cur_.para = ParaState{};
    else if (w == "ql") cur_.para.align = Qt::AlignLeft;
    else if (w == "qc") cur_.para.align = Qt::AlignHCenter;
    else if (w == "qr") cur_.para.align = Qt::AlignRight;
    else if (w == "qj") cur_.para.align = Qt::AlignJustify;
    else if (w == "li") cur_.para.left = std::clamp(n, -31680, 31680);
    else if (w == "ri") cur_.para.right = std::clamp(n, -31680, 31680);
    else if (w == "fi") cur_.para.first = std::clamp(n, -31680, 31680);
    else if (w == "sb") cur_.para.before = std::clamp(n, 0, 31680);
    else if (w == "sa") cur_.para.after = std::clamp(n, 0, 31680);
    else if (w == "emdash") Emit(QChar(0x2014));
    else if (w == "endash") Emit(QChar(0x2013));
    else if (w == "bullet") Emit(QChar(0x2022));
    else if (w == "lquote") Emit(QChar(0x2018));
    else if (w == "rquote") Emit(QChar(0x2019));
    else if (w == "ldblquote") Emit(QChar(0x201C));
    else if (w == "rdblquote") Emit(QChar(0x201D));
    // Every other word changes nothing we show.
}

void Reader::ControlSymbol(char c) {
    const bool first = firstInGroup_;
    firstInGroup_ = false;
    switch (c) {
    case '*':
        if (first) cur_.ch.skip = true;
        return;
    case '\'':
        HexChar();
        return;
    case '\\':
    case '{':
    case '}':
        Emit(QChar(c));
        return;
    case '~':
        Emit(QChar(0x00A0));
        return;
    case '_':
        Emit(QChar(0x2011));
        return;
    case '\r':
    case '\n':
        if (fallbackLeft_ > 0 && !cur_.ch.skip) --fallbackLeft_;
        else EndParagraph();
        return;
    default:  // \- optional hyphen, \| and the rest show nothing
        if (fallbackLeft_ > 0 && !cur_.ch.skip) --fallbackLeft_;
        return;
    }
}

void Reader::HexChar() {
    auto hexValue = [](uint8_t h) -> int {
        if (h >= '0' && h <= '9') return h - '0';
        if (h >= 'a' && h <= 'f') return h - 'a' + 10;
        if (h >= 'A' && h <= 'F') return h - 'A' + 10;
        return -1;
    };
    int value = 0;
    for (int k = 0; k < 2; ++k) {
        if (AtEnd()) return;
        const int d = hexValue(Peek());
        if (d < 0) return;  // a broken escape shows nothing; what follows is read normally
        value = value * 16 + d;
        ++pos_;
    }
    Emit(FromCp1252(static_cast<uint8_t>(value)));
}

void Reader::Run() {
    while (!AtEnd()) {
        const uint8_t c = Peek();
        ++pos_;
        if (c == '{') {
            OpenGroup();
        } else if (c == '}') {
            if (!CloseGroup()) break;
        } else if (c == '\\') {
            if (AtEnd()) break;
            const uint8_t d = Peek();
            const bool letter = (d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z');
            if (!letter) {
                ++pos_;
                ControlSymbol(static_cast<char>(d));
                continue;
            }
            QByteArray word;
            while (!AtEnd() && word.size() < 32) {
                const uint8_t l = Peek();
                if (!((l >= 'a' && l <= 'z') || (l >= 'A' && l <= 'Z'))) break;
                word.append(static_cast<char>(l));
                ++pos_;
            }
            // A word longer than any real one: drop the rest of its letters.
            while (!AtEnd() && ((Peek() >= 'a' && Peek() <= 'z') || (Peek() >= 'A' && Peek() <= 'Z')))
                ++pos_;
            bool negative = false;
            if (!AtEnd() && Peek() == '-') {
                negative = true;
                ++pos_;
            }
            bool hasParam = false;
            int64_t value = 0;
            while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
                hasParam = true;
                // Saturate: a huge number must neither overflow nor stop the reader.
                if (value < 100000000) value = value * 10 + (Peek() - '0');
                ++pos_;
            }
            if (!AtEnd() && Peek() == ' ') ++pos_;  // the delimiter belongs to the word
            const int param = static_cast<int>(std::clamp<int64_t>(negative ? -value : value,
                                                                  -100000000, 100000000));
            ControlWord(word, hasParam, param);
        } else if (c == '\r' || c == '\n') {
            // Line ends in the source are only layout of the file.
        } else {
            firstInGroup_ = false;
            Emit(FromCp1252(c));
        }
    }
    Flush();
    cursor_.setBlockFormat(CurrentBlockFormat());
}

}  // namespace

bool LoadRichText(const QByteArray& rtf, QTextDocument* doc) {
    if (!doc || !rtf.startsWith("{\\rtf")) return false;
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    // One edit: the document is laid out once at the end, not again after
    // every run of text, which costs the square of a paragraph's runs.
    QTextCursor edit(doc);
    edit.beginEditBlock();
    Reader(rtf, doc).Run();
    // Writers end the last paragraph with \par; that leaves an empty block
    // behind it which would show as a blank line at the end.
    const QTextBlock last = doc->lastBlock();
    if (doc->blockCount() > 1 && last.length() <= 1) {
        edit.movePosition(QTextCursor::End);
        edit.deletePreviousChar();
    }
    edit.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    return true;
}

bool LoadRichTextFile(const QString& path, QTextDocument* doc) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // Help texts are small; anything this large is not one of ours.
    constexpr qint64 kMaxBytes = 64 * 1024 * 1024;
    if (file.size() > kMaxBytes) return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return false;
    return LoadRichText(bytes, doc);
}
