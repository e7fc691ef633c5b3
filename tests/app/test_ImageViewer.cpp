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

TEST(ImageViewer, LargePictureScrollsAndClosingFreesTheWindowNotItsOwner) {
    QWidget owner;
    QPointer<TfrmImage> viewer = new TfrmImage(&owner);
    EXPECT_TRUE(viewer->isWindow());
    viewer->SetPicture(TBitmap(3000, 2000, pf8bit));
    viewer->showMaximized();
    QApplication::processEvents();
    EXPECT_GT(viewer->ScrollBox1->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(viewer->ScrollBox1->verticalScrollBar()->maximum(), 0);
    viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());
}

// What the window shows goes through a pixmap, so each pixel is checked in
// the view and after that conversion. Width 3 gives rows of 3 bytes: the
// second row does not start on a 4-byte boundary.
TEST(BitmapImage, EightBitViewUsesTheFramesRowsAndPalette) {
    TBitmap frame(3, 2, pf8bit);
    frame.SetPalette({{0, 0, 0, 0}, {10, 20, 30, 0}, {200, 100, 50, 0}});
    const uint8_t rows[2][3] = {{1, 2, 0}, {2, 1, 9}};  // 9: beyond the palette
    for (int y = 0; y < 2; ++y) std::copy(rows[y], rows[y] + 3, frame.ScanLine(y));

    const QImage view = BitmapImage(frame);
    const QImage shown = QPixmap::fromImage(view).toImage();
    const QRgb expected[2][3] = {{qRgb(30, 20, 10), qRgb(50, 100, 200), qRgb(0, 0, 0)},
                                 {qRgb(50, 100, 200), qRgb(30, 20, 10), qRgb(0, 0, 0)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(view.pixel(x, y), expected[y][x]) << x << "," << y;
            EXPECT_EQ(shown.pixel(x, y), expected[y][x]) << x << "," << y;
        }

    frame.ScanLine(1)[2] = 2;  // the view shares the pixels
    EXPECT_EQ(view.pixel(2, 1), qRgb(50, 100, 200));
    frame.SetPalette({});
    EXPECT_EQ(BitmapImage(frame).pixel(2, 1), qRgb(2, 2, 2));  // no palette: grey ramp
}

}  // namespace
