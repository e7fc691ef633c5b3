// The image viewer window and the display of toolkit bitmaps through QImage.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>

#include "ImgForm.h"
#include "untBitmapView.h"

namespace {

void ProcessDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(ImageViewer, PictureLargerThanTheScreenScrollsBothWays) {
    QPointer<TfrmImage> viewer = new TfrmImage;
    viewer->SetPicture(TBitmap(3000, 2000, pf8bit));
    viewer->showMaximized();
    QApplication::processEvents();
    EXPECT_GT(viewer->ScrollBox1->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(viewer->ScrollBox1->verticalScrollBar()->maximum(), 0);
    viewer->close();
    ProcessDeferredDeletes();
}

TEST(ImageViewer, ClosingDestroysTheWindowButNotItsOwner) {
    QWidget owner;
    QPointer<TfrmImage> viewer = new TfrmImage(&owner);
    EXPECT_TRUE(viewer->isWindow());
    viewer->SetPicture(TBitmap(40, 30, pf24bit));
    viewer->show();
    viewer->close();
    ProcessDeferredDeletes();
    EXPECT_TRUE(viewer.isNull());
}

// What the window shows goes through a pixmap, so each pixel is checked in
// the view and after that conversion. Width 3 gives rows of 3 and 9 bytes:
// no row after the first starts on a 4-byte boundary.
void ExpectShows(const QImage& view, int x, int y, QRgb colour) {
    EXPECT_EQ(view.pixel(x, y), colour) << x << "," << y;
    EXPECT_EQ(QPixmap::fromImage(view).toImage().pixel(x, y), colour) << x << "," << y;
}

TEST(BitmapImage, EightBitViewUsesTheFramesRowsAndPalette) {
    TBitmap frame(3, 2, pf8bit);
    frame.SetPalette({{0, 0, 0, 0}, {10, 20, 30, 0}, {200, 100, 50, 0}});
    const uint8_t rows[2][3] = {{1, 2, 0}, {2, 1, 9}};  // 9: beyond the palette
    for (int y = 0; y < 2; ++y) std::copy(rows[y], rows[y] + 3, frame.ScanLine(y));

    const QImage view = BitmapImage(frame);
    EXPECT_EQ(view.constBits(), frame.ScanLine(0));  // no copy
    ExpectShows(view, 0, 0, qRgb(30, 20, 10));
    ExpectShows(view, 1, 0, qRgb(50, 100, 200));
    ExpectShows(view, 0, 1, qRgb(50, 100, 200));
    ExpectShows(view, 1, 1, qRgb(30, 20, 10));
    ExpectShows(view, 2, 1, qRgb(0, 0, 0));

    frame.ScanLine(1)[2] = 2;  // the view follows the pixels
    EXPECT_EQ(view.pixel(2, 1), qRgb(50, 100, 200));
    frame.SetPalette({});
    EXPECT_EQ(BitmapImage(frame).pixel(2, 1), qRgb(2, 2, 2));  // no palette: grey ramp
}

TEST(BitmapImage, TwentyFourBitRowsAreBlueGreenRed) {
    TBitmap frame(3, 2, pf24bit);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 9; ++i) frame.ScanLine(y)[i] = static_cast<uint8_t>(y * 100 + i * 10);
    const QImage view = BitmapImage(frame);
    EXPECT_EQ(view.constBits(), frame.ScanLine(0));
    ExpectShows(view, 0, 0, qRgb(20, 10, 0));
    ExpectShows(view, 2, 1, qRgb(180, 170, 160));
}

TEST(BitmapImage, OneAndFourBitPixelsKeepTheirOrder) {
    TBitmap nibbles(3, 1, pf4bit);  // grey ramp of 16: entry i is grey 17 * i
    nibbles.ScanLine(0)[0] = 0x1f;
    nibbles.ScanLine(0)[1] = 0x20;
    const QImage four = BitmapImage(nibbles);
    EXPECT_EQ(four.pixel(0, 0), qRgb(17, 17, 17));
    EXPECT_EQ(four.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(four.pixel(2, 0), qRgb(34, 34, 34));

    TBitmap bits(3, 1, pf1bit);
    bits.ScanLine(0)[0] = 0x40;  // 0, 1, 0 from the top bit down
    const QImage one = BitmapImage(bits);
    EXPECT_EQ(one.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(one.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(one.pixel(2, 0), qRgb(0, 0, 0));
}

}  // namespace
