// Loads rich-text files as the help viewer does, into a document that is laid
// out, and prints each document as HTML: the benchmark times it, and two
// builds of the reader can be held against each other by its output.
#include <QApplication>
#include <QTextDocument>
#include <QTextStream>

#include "untRichText.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc < 2) {
        QTextStream(stderr) << "usage: velmora-richtext FILE...\n";
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        QTextDocument doc;
        doc.documentLayout();  // as in the viewer: every change is laid out
        if (!LoadRichTextFile(QString::fromLocal8Bit(argv[i]), &doc)) {
            QTextStream(stderr) << argv[i] << ": not read\n";
            return 1;
        }
        out << doc.toHtml() << '\n';
    }
    return 0;
}
