#include "untStatusProgress.h"

#include <QEvent>
#include <QFontMetrics>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
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
    Elide();
    // The command keeps the event loop busy: paint now, not when it returns.
    status_->repaint();
}

void TStatusProgress::Elide() {
    int room = status_->contentsRect().width() - 12;
    if (shown_) room -= ExtraWidth();
    const QString shown = QFontMetrics(status_->font()).elidedText(text_, Qt::ElideMiddle, std::max(room, 0));
    status_->showMessage(shown);
    status_->setToolTip(shown == text_ ? QString() : text_);
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
    if (watched == status_ && event->type() == QEvent::Resize && !text_.isEmpty()) Elide();
    return QObject::eventFilter(watched, event);
}
