#include "ImgForm.h"

#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "untBitmapView.h"

TfrmImage::TfrmImage(QWidget* parent) : QWidget(parent, Qt::Window), picture_(std::make_unique<TBitmap>()) {
    setObjectName("frmImage");
    setWindowTitle("frmImage");
    // Closing frees the window, and with it Image1 and the picture: the
    // command that created it keeps nothing of it.
    setAttribute(Qt::WA_DeleteOnClose);
    move(209, 119);
    resize(332, 271);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setAlignment(Qt::AlignCenter);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->horizontalScrollBar()->setTracking(true);
    ScrollBox1->verticalScrollBar()->setTracking(true);

    Image1 = new QLabel;
    Image1->setObjectName("Image1");
    Image1->setAlignment(Qt::AlignCenter);
    ScrollBox1->setWidget(Image1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ScrollBox1);
}

TfrmImage::~TfrmImage() = default;

void TfrmImage::SetPicture(const TBitmap& bitmap) {
    *picture_ = bitmap;
    Redraw();
}

void TfrmImage::Redraw() {
    // The pixmap is the screen's copy of the picture; the view it is made
    // from costs nothing, so it is taken afresh after every change.
    Image1->setPixmap(QPixmap::fromImage(BitmapImage(*picture_)));
    Image1->resize(picture_->Width(), picture_->Height());
}
