// A reader for the rich-text subset our help files use: paragraphs and line
// breaks, tabs, bold, italic, underline, font sizes, alignment and indents,
// escaped characters (\'hh, \uN) and braces; groups it does not know
// (font and colour tables, pictures, \* destinations) are skipped.
#pragma once

#include <QString>

class QTextDocument;

// Replaces doc's contents with the rich text; false (doc untouched) when the
// text is not rich text at all.
bool LoadRichText(const QByteArray& rtf, QTextDocument* doc);
// The same from a file; false when it cannot be read or is not rich text.
bool LoadRichTextFile(const QString& path, QTextDocument* doc);
