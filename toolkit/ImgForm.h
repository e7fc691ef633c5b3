// A plain window showing one picture with scroll bars. It frees itself
// (and its picture) when closed.
#pragma once

#include <QWidget>
#include <memory>

#include "untBitmap.h"

class QLabel;
class QScrollArea;

class TfrmImage : public QWidget {
    Q_OBJECT
public:
    // A top-level window even with a parent: the parent only owns it.
    explicit TfrmImage(QWidget* parent = nullptr);
    ~TfrmImage() override;

    QScrollArea* ScrollBox1 = nullptr;
    QLabel* Image1 = nullptr;

    // The picture shown; the window owns it. Redraw() after changing its pixels.
    TBitmap& Picture() { return *picture_; }
    void SetPicture(const TBitmap& bitmap);
    void Redraw();

private:
    std::unique_ptr<TBitmap> picture_;
};
