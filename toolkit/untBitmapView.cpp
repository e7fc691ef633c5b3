#include "untBitmapView.h"

#include <QList>
#include <algorithm>

namespace {

QList<QRgb> ColourTable(std::vector<RGBQUAD> colours, int entries) {
    if (colours.empty()) colours = GreyRamp(entries);
    QList<QRgb> table(entries, qRgb(0, 0, 0));
    const int n = std::min(entries, static_cast<int>(colours.size()));
    for (int i = 0; i < n; ++i) table[i] = qRgb(colours[i].rgbRed, colours[i].rgbGreen, colours[i].rgbBlue);
    return table;
}

// The rows are handed over unpadded. The constructor that takes an explicit
// stride asks only that it be at least one row's bytes: the 32-bit alignment
// that QImage's documentation demands applies to the constructor without a
// stride, which assumes padded rows. The drawing and conversion paths read
// these formats a byte at a time (or with unaligned loads), so no row needs
// to start on a 4-byte boundary. The const constructor keeps the view
// read-only: anything that would write through it detaches into a copy.
QImage View(const TBitmap& bitmap, QImage::Format format) {
    return QImage(bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(), static_cast<qsizetype>(bitmap.RowBytes()),
                  format);
}

}  // namespace

QImage BitmapImage(const TBitmap& bitmap) {
    if (bitmap.Empty()) return {};
    switch (bitmap.PixelFormat()) {
        case pf8bit: {
            QImage image = View(bitmap, QImage::Format_Indexed8);
            image.setColorTable(ColourTable(bitmap.Palette(), 256));
            return image;
        }
        case pf24bit: return View(bitmap, QImage::Format_BGR888);
        case pf1bit: {
            QImage image = View(bitmap, QImage::Format_Mono);
            image.setColorTable(ColourTable(bitmap.Palette(), 2));
            return image;
        }
        case pf4bit: {
            QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_Indexed8);
            if (image.isNull()) return {};
            for (int y = 0; y < bitmap.Height(); ++y) {
                const uint8_t* src = bitmap.ScanLine(y);
                uchar* dst = image.scanLine(y);
                for (int x = 0; x < bitmap.Width(); ++x)
                    dst[x] = (x & 1) ? (src[x >> 1] & 0x0f) : (src[x >> 1] >> 4);
            }
            image.setColorTable(ColourTable(bitmap.Palette(), 16));
            return image;
        }
        default: return {};
    }
}
