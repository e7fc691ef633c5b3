#include "untStatusProgress.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

#include "untBatch.h"

TStatusProgress::TStatusProgress(QStatusBar* bar)
    : QObject(bar), status_(bar), bar_(new QProgressBar(bar)), stop_(new QPushButton(QStringLiteral("Stop"), bar)) {
    bar_->setObjectName(QStringLiteral("ProgressBar"));
    stop_->setObjectName(QStringLiteral("btnStop"));
    stop_->setToolTip(QStringLiteral("Stop after the file in hand (Esc)"));
    stop_->setFocusPolicy(Qt::NoFocus);  // a key meant for the window must not press it
    // Wide enough for "999 of 999" whatever the style draws around it.
    const QFontMetrics metrics(bar_->font());
    bar_->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("9999 of 9999")) + 24);
    bar_->setTextVisible(true);
    bar_->setAlignment(Qt::AlignCenter);
    stop_->setFixedHeight(bar_->sizeHint().height() + 2);
    status_->addPermanentWidget(bar_);
    status_->addPermanentWidget(stop_);
    bar_->hide();
    stop_->hide();
    QObject::connect(stop_, &QPushButton::clicked, this, [this] { RequestStop(); });
    // Escape in the window does what Stop does, and only while Stop is there.
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), status_->window());
    escape_->setEnabled(false);
    QObject::connect(escape_, &QShortcut::activated, this, [this] { RequestStop(); });
    status_->installEventFilter(this);
}

void TStatusProgress::ShowText(const QString& text) {
    text_ = text;
    // The status bar keeps the program's words; only its painting is shortened.
    status_->showMessage(text);
    Elide();
    // The command keeps the event loop busy: paint now, not when it returns.
    status_->repaint();
}

QRect TStatusProgress::MessageRect() const {
    // Where QStatusBar puts a message: from the left edge to the bar and the
    // button when they show (their place is not laid out yet when the first
    // text after them is painted), or short of the size grip.
    int right = status_->width() - 12;
    if (shown_) right -= ExtraWidth();
    return QRect(6, 0, std::max(right - 6, 0), status_->height());
}

QString TStatusProgress::ShownText() const {
    return QFontMetrics(status_->font()).elidedText(status_->currentMessage(), Qt::ElideMiddle, MessageRect().width());
}

void TStatusProgress::Elide() {
    const QString message = status_->currentMessage();
    status_->setToolTip(ShownText() == message ? QString() : message);
    status_->update();
}

void TStatusProgress::Paint() {
    // QStatusBar's own painting, with the message elided in the middle.
    QPainter p(status_);
    QStyleOption opt;
    opt.initFrom(status_);
    status_->style()->drawPrimitive(QStyle::PE_PanelStatusBar, &opt, &p, status_);
    for (QWidget* item : {static_cast<QWidget*>(bar_), static_cast<QWidget*>(stop_)}) {
        if (!item->isVisible()) continue;
        QStyleOption frame(0);
        frame.rect = item->geometry().adjusted(-2, -1, 2, 1);
        frame.palette = status_->palette();
        frame.state = QStyle::State_None;
        status_->style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &p, item);
    }
    p.setPen(status_->palette().windowText().color());
    p.drawText(MessageRect(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, ShownText());
}

void TStatusProgress::Progress(int64_t done, int64_t total, const std::string& what) {
    if (total <= 0) {
        if (!shown_) return;
        shown_ = false;
        done_ = total_ = -1;
        bar_->hide();
        stop_->hide();
        escape_->setEnabled(false);
        stop_->setEnabled(true);
        // A Stop pressed after the last item was begun concerns nothing now.
        if (!BatchStopTaken()) ClearBatchStop();
        if (ShownChanged) ShownChanged(false);
        Elide();
        return;
    }
    const bool rows = what.empty();
    // Rows come by the thousand: the bar changes by whole percents.
    const int64_t value = rows ? std::clamp<int64_t>(done * 100 / total, 0, 100) : std::clamp<int64_t>(done, 0, total);
    const int64_t maximum = rows ? 100 : total;
    if (shown_ && value == done_ && maximum == total_) return;
    done_ = value;
    total_ = maximum;
    // QProgressBar counts in int; a series longer than that is not shown in steps.
    bar_->setRange(0, static_cast<int>(std::min<int64_t>(maximum, INT32_MAX)));
    bar_->setValue(static_cast<int>(std::min<int64_t>(value, INT32_MAX)));
    bar_->setFormat(rows ? QStringLiteral("%p%")
                         : QStringLiteral("%1 of %2").arg(static_cast<qlonglong>(value)).arg(static_cast<qlonglong>(total)));
    if (!shown_) {
        shown_ = true;
        bar_->show();
        stop_->show();
        escape_->setEnabled(true);
        if (ShownChanged) ShownChanged(true);
        Elide();
    }
    bar_->repaint();
}

bool TStatusProgress::RequestStop() {
    if (!shown_) return false;
    RequestBatchStop();
    stop_->setEnabled(false);
    return true;
}

int TStatusProgress::ExtraWidth() const {
    const int spacing = std::max(4, status_->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing));
    return bar_->width() + stop_->sizeHint().width() + 2 * spacing + 8;
}

bool TStatusProgress::eventFilter(QObject* watched, QEvent* event) {
    if (watched == status_ && event->type() == QEvent::Resize) Elide();
    // Other texts (a menu item's tip) have no room problem: QStatusBar paints them.
    if (watched == status_ && event->type() == QEvent::Paint && !status_->currentMessage().isEmpty() &&
        status_->currentMessage() == text_) {
        Paint();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
