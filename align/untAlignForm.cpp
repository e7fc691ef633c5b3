#include "untAlignForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "untBatch.h"
#include "untBitmapView.h"
#include "untStatusProgress.h"

namespace {

constexpr int kPanelWidth = 201;
// What the window keeps around a frame or a stack: the panel and the frames
// of the window across, the buttons and the status line down.
constexpr int kExtraWidth = 231;
constexpr int kExtraHeight = 75;

// The pane's cursors: a cross, with a square the size of the centroid
// window where the click will be refined (16 stands for 16 and 32).
QCursor PaneCursor(int radius) {
    QPixmap pixmap(33, 33);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    for (const auto& [colour, width] : {std::pair{Qt::white, 3}, std::pair{Qt::black, 1}}) {
        painter.setPen(QPen(colour, width));
        painter.drawLine(16, 0, 16, 32);
        painter.drawLine(0, 16, 32, 16);
        if (radius > 1) {
            const int half = std::min(radius, 16);
            painter.drawRect(16 - half, 16 - half, 2 * half, 2 * half);
        }
    }
    return QCursor(pixmap, 16, 16);
}

// The window stays within what the screen offers; the pane scrolls.
QSize FitScreen(const QWidget* window, QSize size) {
    const QScreen* screen = window->screen();
    if (!screen) return size;
    return size.boundedTo(screen->availableGeometry().size());
}

template <class F>
void Guarded(TUiPort& port, F&& body) {
    // Qt cannot carry an exception out of an event handler: an error that
    // ends a handler is shown, and the window goes on.
    try {
        body();
    } catch (const std::exception& e) {
        port.ShowException(e.what());
    }
}

}  // namespace

void TAlignImage::mousePressEvent(QMouseEvent* event) {
    if (MouseDown) MouseDown(event->button(), event->position().toPoint().x(), event->position().toPoint().y());
    QLabel::mousePressEvent(event);
}

void TAlignImage::mouseMoveEvent(QMouseEvent* event) {
    if (MouseMove) MouseMove(event->position().toPoint().x(), event->position().toPoint().y());
    QLabel::mouseMoveEvent(event);
}

TfrmAlign::TfrmAlign(QWidget* owner, TMainState& state, TUiPort& port) : QWidget(owner, Qt::Window), port_(port), run_(state, port) {
    setObjectName(QStringLiteral("frmAlign"));
    setWindowTitle(QStringLiteral("Align and Stack"));
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(537, 329);

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedWidth(kPanelWidth);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(4, 4, 4, 4);
    QFont bold = font();
    bold.setBold(true);

    auto* files = new QGroupBox(QStringLiteral("Files"), panel);
    files->setFont(bold);
    auto* filesLayout = new QHBoxLayout(files);
    lbFileList = new QListWidget(files);
    lbFileList->setObjectName(QStringLiteral("lbFileList"));
    lbFileList->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    filesLayout->addWidget(lbFileList);
    auto* frameButtons = new QVBoxLayout;
    auto toolButton = [&](const char* name, const char* hint, QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(files);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(QString::fromLatin1(hint));
        button->setIcon(style()->standardIcon(icon));
        button->setAutoRaise(true);
        frameButtons->addWidget(button);
        return button;
    };
    btnPrevFrame = toolButton("btnPrevFrame", "Previous Frame", QStyle::SP_ArrowUp);
    btnNextFrame = toolButton("btnNextFrame", "Next Frame", QStyle::SP_ArrowDown);
    sbTrash = toolButton("sbTrash", "Purge unused frames", QStyle::SP_TrashIcon);
    frameButtons->addStretch();
    filesLayout->addLayout(frameButtons);
    panelLayout->addWidget(files, 3);

    auto* stretchRow = new QHBoxLayout;
    auto* stretchColumn = new QVBoxLayout;
    TrackBar1 = new QSlider(Qt::Horizontal, panel);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(1, 20);
    TrackBar1->setValue(1);
    TrackBar1->setTickInterval(2);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setPageStep(2);
    stretchColumn->addWidget(TrackBar1);
    stretchColumn->addWidget(new QLabel(QStringLiteral("Histogram Stretch"), panel));
    stretchRow->addLayout(stretchColumn, 1);
    btnMovie = new QToolButton(panel);
    btnMovie->setObjectName(QStringLiteral("btnMovie"));
    btnMovie->setText(QStringLiteral("Movie"));
    stretchRow->addWidget(btnMovie);
    panelLayout->addLayout(stretchRow);

    auto* refs = new QGroupBox(QStringLiteral("Ref Points"), panel);
    refs->setFont(bold);
    auto* refsLayout = new QVBoxLayout(refs);
    ListRefPts = new QListWidget(refs);
    ListRefPts->setObjectName(QStringLiteral("ListRefPts"));
    ListRefPts->setFont(QApplication::font());
    refsLayout->addWidget(ListRefPts);
    panelLayout->addWidget(refs, 2);

    auto* buttons = new QHBoxLayout;
    auto pushButton = [&](const char* caption, const char* name) {
        auto* button = new QPushButton(QString::fromLatin1(caption), panel);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        button->setMinimumWidth(40);
        buttons->addWidget(button);
        return button;
    };
    btnDone = pushButton("Done", "btnDone");
    btnCancel = pushButton("Cancel", "btnCancel");
    btnHelp = pushButton("Help", "btnHelp");
    panelLayout->addLayout(buttons);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1 = new TAlignImage;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setMouseTracking(true);
    Image1->setCursor(PaneCursor(1));
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    ScrollBox1->setWidget(Image1);

    StatBar = new QStatusBar(this);
    StatBar->setObjectName(QStringLiteral("StatBar"));
    StatBar->setSizeGripEnabled(true);
    Progress = new TStatusProgress(StatBar);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(panel);
    top->addWidget(ScrollBox1, 1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(top, 1);
    outer->addWidget(StatBar);

    PopupMenu1 = new QMenu(this);
    NewRef = PopupMenu1->addAction(QStringLiteral("New Reference"));
    NewRef->setObjectName(QStringLiteral("NewRef"));
    DelRef = PopupMenu1->addAction(QStringLiteral("Delete Reference"));
    DelRef->setObjectName(QStringLiteral("DelRef"));
    PopupMenu2 = new QMenu(this);
    auto radiusItem = [&](const char* caption, const char* name) {
        QAction* item = PopupMenu2->addAction(QString::fromLatin1(caption));
        item->setObjectName(QString::fromLatin1(name));
        item->setCheckable(true);
        return item;
    };
    Auto321 = radiusItem("AutoCentroid (radius=32)", "Auto321");
    Auto1 = radiusItem("AutoCentroid (radius=16)", "Auto1");
    Auto81 = radiusItem("AutoCentroid (radius=8)", "Auto81");
    Auto41 = radiusItem("AutoCentroid (radius=4)", "Auto41");
    Manual1 = radiusItem("Manual", "Manual1");
    Manual1->setChecked(true);
    PopupMenu2->addSeparator();
    AutoRegisterAll1 = PopupMenu2->addAction(QStringLiteral("Auto Register All"));
    AutoRegisterAll1->setObjectName(QStringLiteral("AutoRegisterAll1"));
    AutoRegisterAll1->setEnabled(false);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);

    TUiPort& p = port;
    auto on = [this, &p](auto handler) { return [this, &p, handler] { Guarded(p, [&] { (this->*handler)(); }); }; };
    connect(btnDone, &QPushButton::clicked, this, on(&TfrmAlign::btnDoneClick));
    connect(btnCancel, &QPushButton::clicked, this, on(&TfrmAlign::btnCancelClick));
    connect(btnHelp, &QPushButton::clicked, this, [this] {
        if (ShowHelp) ShowHelp();
    });
    connect(btnPrevFrame, &QToolButton::clicked, this, on(&TfrmAlign::btnPrevFrameClick));
    connect(btnNextFrame, &QToolButton::clicked, this, on(&TfrmAlign::btnNextFrameClick));
    connect(sbTrash, &QToolButton::clicked, this, on(&TfrmAlign::sbTrashClick));
    connect(btnMovie, &QToolButton::clicked, this, on(&TfrmAlign::btnMovieClick));
    connect(Timer1, &QTimer::timeout, this, on(&TfrmAlign::Timer1Timer));
    connect(TrackBar1, &QSlider::valueChanged, this, on(&TfrmAlign::TrackBar1Change));
    connect(lbFileList, &QListWidget::itemClicked, this, on(&TfrmAlign::lbFileListClick));
    connect(lbFileList, &QListWidget::itemDoubleClicked, this, on(&TfrmAlign::lbFileListDblClick));
    connect(ListRefPts, &QListWidget::itemClicked, this, on(&TfrmAlign::ListRefPtsClick));
    connect(NewRef, &QAction::triggered, this, on(&TfrmAlign::NewRefClick));
    connect(DelRef, &QAction::triggered, this, on(&TfrmAlign::DelRefClick));
    connect(PopupMenu1, &QMenu::aboutToShow, this, on(&TfrmAlign::PopupMenu1Popup));
    connect(AutoRegisterAll1, &QAction::triggered, this, on(&TfrmAlign::AutoRegisterAll1Click));
    for (const auto& [item, radius] : {std::pair{Auto321, 32}, {Auto1, 16}, {Auto81, 8}, {Auto41, 4}, {Manual1, 1}})
        connect(item, &QAction::triggered, this, [this, &p, item = item, radius = radius] {
            Guarded(p, [&] { SelectRadiusClick(item, radius); });
        });
    for (QListWidget* list : {lbFileList, ListRefPts}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& at) { PopupMenu1->popup(list->viewport()->mapToGlobal(at)); });
    }
    connect(Image1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (input_) PopupMenu2->popup(Image1->mapToGlobal(at));
    });
    Image1->MouseDown = [this, &p](Qt::MouseButton button, int x, int y) {
        Guarded(p, [&] { Image1MouseDown(button, x, y); });
    };
    Image1->MouseMove = [this](int x, int y) { Image1MouseMove(x, y); };

    // The lists, the track bar and the buttons hand their keys to the window.
    for (QWidget* w : std::initializer_list<QWidget*>{lbFileList, ListRefPts, TrackBar1, btnDone, btnCancel, btnHelp,
                                                      btnPrevFrame, btnNextFrame, sbTrash, btnMovie, ScrollBox1})
        w->installEventFilter(this);

    run_.StatusLine = [this](const std::string& text) { Progress->ShowText(QString::fromStdString(text)); };
    run_.Progress = [this](int64_t done, int64_t total, const std::string& what) {
        Progress->Progress(done, total, what);
    };
    run_.FrameShown = [this] {
        SelectLine(run_.CurrentFrame);
        RefreshImage();
        // Painted, but no click or key is taken while the pass runs.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    run_.StateFolderFromOpen = true;
    run_.RemoveFile = [](const std::string& path) {
        // To the desktop's trash where there is one, so a purge can be undone.
        const QString name = QString::fromStdString(path);
        if (!QFile::moveToTrash(name)) QFile::remove(name);
    };
}

TfrmAlign::~TfrmAlign() = default;

// ---- The run ----

void TfrmAlign::RunAlignment() {
    TrackBar1->setValue(1);
    MovieRunning = 0;
    Timer1->stop();
    leave_ = cancel_ = proceed_ = stacking_ = false;
    TakeInput(false);
    if (!run_.Start()) {
        close();
        return;
    }
    TakeInput(true);
    // New lines carry no lock marker yet, whatever the records hold.
    for (int i = 0; i < run_.FrameCount; ++i)
        lbFileList->addItem(QStringLiteral("*  ") + QString::fromStdString(run_.FrameLine(i).substr(3)));
    RefreshRefPoints();
    SelectLine(0);
    const aligndata& last = run_.Frames[static_cast<size_t>(run_.FrameCount - 1)];
    GrowFor(last.width, last.height);
    RefreshImage();
    UpdateButtons();

    const int count = run_.FrameCount;
    while (!proceed_ && !cancel_) {
        leave_ = false;
        WaitForUser(count);
    }
    Timer1->stop();
    if (cancel_) {
        close();
        return;
    }
    stacking_ = true;
    TakeInput(false);
    const bool stacked = run_.Stack();
    stacking_ = false;
    if (stacked) {
        const TBitmap& canvas = run_.Canvas();
        const int screenWidth = screen() ? screen()->geometry().width() : 1024;
        const bool halve = canvas.Width() > screenWidth - 150;
        const int w = halve ? canvas.Width() / 2 : canvas.Width(), h = halve ? canvas.Height() / 2 : canvas.Height();
        resize(FitScreen(this, QSize(std::max(231, w + kExtraWidth), std::max(302, h + kExtraHeight))));
        Image1->setPixmap(QPixmap::fromImage(BitmapImage(canvas)));
        Image1->resize(canvas.Width(), canvas.Height());
        run_.SaveResult();
    }
    run_.Release();
    close();
}

bool TfrmAlign::WaitForUser(int count) {
    // Sleeps until something happens; the pass runs from here, not from the
    // menu item's handler, so the menu has closed before it starts.
    while (!leave_ && !cancel_) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (run_.AutoRegistering == 1) {
            // A frame that cannot be read stops the pass, not the run.
            Guarded(port_, [&] { (void)run_.AutoRegisterPass(count); });
            run_.AutoRegistering = 0;
            AutoRegisterAll1->setEnabled(run_.AutoRegisterEnabled);
            RefreshFileList();
            SelectLine(run_.CurrentFrame);
            RefreshImage();
            UpdateButtons();
        }
    }
    return proceed_;
}

// ---- Showing ----

void TfrmAlign::ShowCurrent() {
    run_.ShowFrame(run_.CurrentFrame);
    RefreshImage();
}

void TfrmAlign::RefreshImage() {
    const TBitmap& shown = run_.Display();
    Image1->setPixmap(QPixmap::fromImage(BitmapImage(shown)));
    Image1->resize(shown.Width(), shown.Height());
    Image1->repaint();
}

void TfrmAlign::RefreshFileList() {
    lbFileList->clear();
    for (int i = 0; i < run_.FrameCount; ++i) lbFileList->addItem(QString::fromStdString(run_.FrameLine(i)));
}

void TfrmAlign::UpdateFrameLine(int i) {
    if (i < 0 || i >= run_.FrameCount || i >= lbFileList->count()) return;
    lbFileList->item(i)->setText(QString::fromStdString(run_.FrameLine(i)));
    lbFileList->repaint();
}

void TfrmAlign::RefreshRefPoints() {
    ListRefPts->clear();
    for (const auto& line : run_.RefPointLines()) ListRefPts->addItem(QString::fromStdString(line));
}

void TfrmAlign::SelectLine(int i) {
    if (i >= 0 && i < lbFileList->count()) lbFileList->setCurrentRow(i);
}

void TfrmAlign::UpdateButtons() {
    const int f = run_.CurrentFrame, n = run_.FrameCount;
    btnPrevFrame->setEnabled(MovieRunning || f > 0);
    btnNextFrame->setEnabled(MovieRunning || f < n - 1);
    btnDone->setEnabled(run_.DoneEnabled);
    sbTrash->setEnabled(run_.AnyUnused());
    AutoRegisterAll1->setEnabled(run_.AutoRegisterEnabled);
}

void TfrmAlign::TakeInput(bool take) {
    // The pane keeps showing its picture as it is; only its clicks stop.
    findChild<QWidget*>(QStringLiteral("Panel1"))->setEnabled(take);
    input_ = take;
}

void TfrmAlign::GrowFor(int width, int height) {
    const QSize wanted = size().expandedTo(QSize(width + kExtraWidth, height + kExtraHeight));
    resize(FitScreen(this, wanted).expandedTo(size()));
}

// ---- Buttons ----

void TfrmAlign::btnDoneClick() {
    leave_ = true;
    if (run_.Done()) proceed_ = true;
}

void TfrmAlign::btnCancelClick() { leave_ = cancel_ = true; }

void TfrmAlign::closeEvent(QCloseEvent* event) {
    // While the rows are combined the window may go; the run goes on to the
    // save dialog.
    if (!stacking_) cancel_ = true;
    event->accept();
}

void TfrmAlign::btnPrevFrameClick() {
    if (MovieRunning) {
        if (Timer1->interval() > 50) Timer1->setInterval(Timer1->interval() - 50);
        return;
    }
    if (run_.CurrentFrame <= 0) return;
    --run_.CurrentFrame;
    SelectLine(run_.CurrentFrame);
    ShowCurrent();
    UpdateButtons();
}

void TfrmAlign::btnNextFrameClick() {
    if (MovieRunning) {
        if (Timer1->interval() < 2500) Timer1->setInterval(Timer1->interval() + 50);
        return;
    }
    if (run_.CurrentFrame >= run_.FrameCount - 1) return;
    ++run_.CurrentFrame;
    SelectLine(run_.CurrentFrame);
    ShowCurrent();
    UpdateButtons();
}

void TfrmAlign::lbFileListClick() {
    const int line = lbFileList->currentRow();
    if (MovieRunning || line < 0 || line >= run_.FrameCount) return;
    if (line != run_.CurrentFrame) {
        run_.CurrentFrame = line;
        ShowCurrent();
    }
    UpdateButtons();
}

void TfrmAlign::lbFileListDblClick() {
    const int line = lbFileList->currentRow();
    run_.ToggleUsed(line);
    UpdateFrameLine(line);
    UpdateButtons();
}

void TfrmAlign::sbTrashClick() {
    if (!run_.Purge()) return;
    RefreshFileList();
    SelectLine(run_.CurrentFrame);
    if (run_.FrameCount > 0) {
        ShowCurrent();
    } else {
        Image1->clear();
        Image1->resize(0, 0);
    }
    UpdateButtons();
}

void TfrmAlign::btnMovieClick() {
    if (!MovieRunning) {
        MovieRunning = 1;
        Timer1->start();
    } else {
        MovieRunning = 0;
        Timer1->stop();
        SelectLine(run_.CurrentFrame);
        ShowCurrent();
    }
    lbFileList->setEnabled(true);
    UpdateButtons();
}

void TfrmAlign::Timer1Timer() {
    if (run_.FrameCount == 0) return;
    ShowCurrent();
    run_.CurrentFrame = (run_.CurrentFrame + 1) % run_.FrameCount;
}

void TfrmAlign::TrackBar1Change() {
    if (TrackBar1->value() == run_.StretchFactor || run_.FrameCount == 0) return;
    run_.SetStretchFactor(TrackBar1->value());
    RefreshImage();
}

// ---- Reference points ----

void TfrmAlign::ReferenceKey(int point) {
    run_.ReferenceKey(point);
    UpdateFrameLine(run_.CurrentFrame);
    RefreshRefPoints();
    RefreshImage();
    UpdateButtons();
}

void TfrmAlign::FormKeyPress(QChar key) {
    // Only "0".."8" act; "9" and the rest are swallowed.
    if (key >= QLatin1Char('0') && key <= QLatin1Char('8')) ReferenceKey(key.digitValue());
}

void TfrmAlign::NewRefClick() { ReferenceKey(ListRefPts->count()); }

void TfrmAlign::ListRefPtsClick() { ReferenceKey(ListRefPts->currentRow()); }

void TfrmAlign::PopupMenu1Popup() { NewRef->setEnabled(!(run_.ClickX == 0 && run_.ClickY == 0)); }

void TfrmAlign::DelRefClick() {
    run_.DeleteReference();
    UpdateFrameLine(run_.CurrentFrame);
    UpdateButtons();
}

void TfrmAlign::SelectRadiusClick(QAction* item, int radius) {
    for (QAction* other : {Auto321, Auto1, Auto81, Auto41, Manual1}) other->setChecked(other == item);
    run_.SelectRadius(radius);
    if (radius > 1) Image1->setCursor(PaneCursor(radius));
    UpdateButtons();
}

void TfrmAlign::AutoRegisterAll1Click() {
    if (!run_.StartAutoRegister()) return;
    for (QAction* other : {Auto1, Auto81, Auto41, Manual1}) other->setChecked(false);
    UpdateButtons();
}

void TfrmAlign::Image1MouseDown(Qt::MouseButton button, int x, int y) {
    if (!input_ || button != Qt::LeftButton || run_.FrameCount == 0) return;
    (void)run_.ImageMouseDown(x, y);
    UpdateButtons();
}

void TfrmAlign::Image1MouseMove(int x, int y) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d, %04d", x, y);
    Progress->ShowText(QString::fromLatin1(text));
}

void TfrmAlign::FormKeyUp(int key) {
    if (key == Qt::Key_Up) btnPrevFrameClick();
    if (key == Qt::Key_Down) btnNextFrameClick();
}

bool TfrmAlign::eventFilter(QObject* watched, QEvent* event) {
    if (!input_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) return true;
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool press = event->type() == QEvent::KeyPress;
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            // The frame moves once, when the key comes up, not with the list too.
            if (!press && !key->isAutoRepeat()) Guarded(port_, [&] { FormKeyUp(key->key()); });
            return true;
        }
        if (press && key->key() == Qt::Key_Delete && watched == lbFileList) {
            Guarded(port_, [&] { lbFileListDblClick(); });
            return true;
        }
        if (press && key->text().size() == 1 && key->text()[0].isDigit()) {
            Guarded(port_, [&] { FormKeyPress(key->text()[0]); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- The menu commands ----

void RunAlignAndStack(TMainState& state, TUiPort& port, QWidget* owner, const TAlignCommand& command,
                      const std::function<void()>& showHelp) {
    std::string scaleText;
    if (command.AskScale)
        scaleText = port.GetString("Scale Factor", "Enter a scale factor (1..n) 1 = none", "1", true).value_or("");
    TfrmAlign frmAlign(owner, state, port);
    TAlignRun& run = frmAlign.Run();
    run.StackMode = command.StackMode;
    run.WcmyMode = command.WcmyMode;
    if (command.AskScale) {
        int32_t scale = 1;
        // Median Sum takes what it cannot read as 1; Sum stops there.
        if (!ReadWholeNumber(scaleText, &scale) && command.StackMode == smSum)
            throw std::runtime_error("'" + scaleText + "' is not a valid integer value");
        run.ScaleFactor = scale;
    }
    frmAlign.ShowHelp = showHelp;
    frmAlign.show();
    frmAlign.RunAlignment();
}
