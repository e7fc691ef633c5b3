// The help files' reader on any bytes: a document or a refusal, in time.
#include <QGuiApplication>
#include <QTextDocument>

#include "untRichText.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QTextDocument doc;
    (void)LoadRichText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), &doc);
    return 0;
}
