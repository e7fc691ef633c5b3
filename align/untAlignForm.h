// The align window: the frames of one run in a list, the displayed frame
// in a scrolling pane, the reference points, and the buttons that end the
// wait. Everything it does to the run goes through TAlignRun; the window
// forwards clicks, keys and menu choices and shows what the run holds.
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>

#include "untAlign.h"

class QAction;
class QListWidget;
class QMenu;
class QPushButton;
class QScrollArea;
class QSlider;
class QStatusBar;
class QTimer;
class QToolButton;

// The image pane: the frame at its own size, pixel (0, 0) at the top left,
// so a mouse position is a frame pixel.
class TAlignImage : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void(Qt::MouseButton, int, int)> MouseDown;
    std::function<void(int, int)> MouseMove;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

class TfrmAlign : public QWidget {
    Q_OBJECT
public:
    TfrmAlign(QWidget* owner, TMainState& state, TUiPort& port);
    ~TfrmAlign() override;

    TAlignRun& Run() { return run_; }
    // "Help": the main window's help viewer, handed in by the command.
    std::function<void()> ShowHelp;

    // The whole run, from the choice of frames to the saved picture.
    void RunAlignment();

    QListWidget* lbFileList = nullptr;
    QToolButton* btnPrevFrame = nullptr;
    QToolButton* btnNextFrame = nullptr;
    QToolButton* sbTrash = nullptr;
    QSlider* TrackBar1 = nullptr;
    QToolButton* btnMovie = nullptr;
    QListWidget* ListRefPts = nullptr;
    QPushButton* btnDone = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnHelp = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    TAlignImage* Image1 = nullptr;
    QStatusBar* StatBar = nullptr;
    // Its status text, progress bar and Stop button while frames load and rows are combined.
    class TStatusProgress* Progress = nullptr;
    QMenu* PopupMenu1 = nullptr;  // the lists'
    QAction* NewRef = nullptr;
    QAction* DelRef = nullptr;
    QMenu* PopupMenu2 = nullptr;  // the image pane's
    QAction* Auto321 = nullptr;
    QAction* Auto1 = nullptr;
    QAction* Auto81 = nullptr;
    QAction* Auto41 = nullptr;
    QAction* Manual1 = nullptr;
    QAction* AutoRegisterAll1 = nullptr;
    QTimer* Timer1 = nullptr;

    int MovieRunning = 0;

    // Handlers, named as the window has always named them.
    void btnDoneClick();
    void btnCancelClick();
    void btnPrevFrameClick();
    void btnNextFrameClick();
    void lbFileListClick();
    void lbFileListDblClick();
    void sbTrashClick();
    void btnMovieClick();
    void Timer1Timer();
    void TrackBar1Change();
    void NewRefClick();
    void DelRefClick();
    void ListRefPtsClick();
    void PopupMenu1Popup();
    void SelectRadiusClick(QAction* item, int radius);
    void AutoRegisterAll1Click();
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void Image1MouseMove(int x, int y);
    void FormKeyPress(QChar key);
    void FormKeyUp(int key);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool WaitForUser(int count);
    void ShowCurrent();       // reload, stretch and show the current frame
    void ReferenceKey(int point);  // a digit, "New Reference" or a "Ref Points" line
    void RefreshImage();      // show what the run displays
    void RefreshFileList();   // every line again
    void UpdateFrameLine(int i);
    void RefreshRefPoints();
    void UpdateButtons();
    void SelectLine(int i);
    void GrowFor(int width, int height);
    // Clicks and keys reach the run only while it waits for them: not while
    // the frames load (messages are let through), nor while rows are combined.
    void TakeInput(bool take);

    TUiPort& port_;
    TAlignRun run_;
    bool leave_ = false;
    bool cancel_ = false;
    bool proceed_ = false;
    bool stacking_ = false;
    bool input_ = false;
};

// The "Align and Stack" commands: a fresh window for one run with the rule
// set, shown beside the main window, released when the run is over. Sum
// and Median Sum ask for their scale factor first.
struct TAlignCommand {
    int StackMode = smAverage;
    int WcmyMode = 0;
    bool AskScale = false;
};
void RunAlignAndStack(TMainState& state, TUiPort& port, QWidget* owner, const TAlignCommand& command,
                      const std::function<void()>& showHelp);
