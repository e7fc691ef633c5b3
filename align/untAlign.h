// One alignment run, from the choice of frames to the saved stack: what the
// align window drives with its clicks, keys and buttons, and what velmora-cli
// drives from its options. The run owns the frame records, the reference
// points, the displayed frame and the canvas; it talks to the user only
// through the interaction port, and to the window through the members the
// window reads back after each call.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "untAlignModel.h"
#include "untBitmap.h"
#include "untCentroid.h"
#include "untCombine.h"
#include "untMainState.h"
#include "untUiPort.h"

class TAlignRun {
public:
    TAlignRun(TMainState& state, TUiPort& port);

    // The folder of "AlignData.dat" and "DebugData.txt", with its trailing
    // separator; empty: the process's current folder.
    std::string StateFolder;
    // Threads for loading and combining; 0: one per core.
    unsigned Threads = 0;
    // The run's own status line (the align window's); the port's by default.
    std::function<void(const std::string&)> StatusLine;
    // The run's own progress report (the align window's); the port's by default.
    std::function<void(int64_t done, int64_t total, const std::string& what)> Progress;
    // Called after Auto Register All has shown a frame, so a window can
    // repaint while the pass takes no user input.
    std::function<void()> FrameShown;
    // The window keeps its state files where the frames were last chosen
    // from (LastPathOpen, once the open step has run), as the program always
    // has; the command line keeps them in the current folder.
    bool StateFolderFromOpen = false;
    // The lock of a click and of Auto Register All; the half-maximum window
    // lock by default. The command line may refine it.
    std::function<bool(const TGreyPlane& plane, int radius, int& x, int& y, double& fracX, double& fracY)> Centroid;
    // Whether clicks and placements are traced in "DebugData.txt"; a run
    // that only measures (velmora-cli register) leaves the file alone.
    bool Trace = true;
    // How a purge removes a frame's file; deleted for good by default.
    std::function<void(const std::string&)> RemoveFile;

    // Set by the menu command before the run starts.
    int StackMode = smAverage;
    int WcmyMode = 0;
    int ScaleFactor = 0;  // below 1 counts as 1

    int Radius = 1;  // 1 manual placement, or 4, 8, 16, 32
    int AutoCentroid = 0;
    int AutoRegistering = 0;
    int CurrentFrame = 0;
    int FrameCount = 0;
    int ClickX = 0, ClickY = 0;
    double ClickFracX = 0.0, ClickFracY = 0.0;
    int StretchFactor = 1;  // 1..20
    int CanvasMinX = 0, CanvasMinY = 0, CanvasMaxX = 0, CanvasMaxY = 0;

    TFrameTable Frames;
    TRefTable RefPts;

    // What the window shows enabled.
    bool AutoRegisterEnabled = false;  // "Auto Register All"
    bool DoneEnabled = false;

    // The whole run for a front end that brings its own wait: wait() returns
    // true once "Done" let stacking start, false when the user cancelled.
    // Nothing is written unless the wait ends with "Done". Errors of the
    // toolkit (a frame it cannot load, a picture it cannot save) escape.
    void RunAlignment(const std::function<bool()>& wait);

    // The steps of the run, for a front end that drives them one by one.
    // Start: resets the run, asks for the frames ("Select frames to stack")
    // or, with none chosen, continues from the state file; loads them and
    // shows frame 0 as loaded. False when there is nothing to align, or the
    // choice was refused with a message.
    [[nodiscard]] bool Start();
    // "Done": true when stacking may start. Asks about used frames without a
    // lock; refuses a median rule over 8-bit and 24-bit frames together.
    [[nodiscard]] bool Done();
    // Saves the state file, places the frames and combines them into the
    // canvas. False, after a message, when no frame is left to stack.
    [[nodiscard]] bool Stack();
    // The main window's save dialog as the last command left it; the canvas
    // goes to the chosen name (".bmp" added to a name without a dot).
    void SaveResult();
    // Releases the frames and the canvas.
    void Release();

    // The state and trace files.
    void ResetReferencePoints();
    int CompactFrames(int count);
    void SaveAlignData();
    void LoadAlignData();
    void AppendDebugLine(const std::string& text);
    void DumpFrame(int i);
    void DumpReferences();

    // The displayed frame. ShowFrame makes f current, reloads it from its
    // file (the crosshair drawn where it is locked) and stretches it.
    void ShowFrame(int f);
    void ReloadImage();
    void HistogramStretch();
    // The stretch track bar at position (1..20).
    void SetStretchFactor(int position);
    const TBitmap& Display() const { return display_; }

    // The image pane's popup menu: a radius of 32, 16, 8 or 4, or 1 for "Manual".
    void SelectRadius(int radius);
    // A left click at pixel (x, y) of the displayed frame; with AutoCentroid
    // refined by the lock (a message when it fails). True unless a lock failed.
    bool ImageMouseDown(int x, int y);
    // The lock around (x, y) on the displayed frame without its crosshair.
    bool LockOnStar(int& x, int& y, double& fracX, double& fracY);
    // The digit keys "0".."8" (any other is ignored).
    void DigitKey(int digit);
    // What a digit does, for any slot of the table: the lists' "New
    // Reference" and a click on a "Ref Points" line reach past "8".
    void ReferenceKey(int point);
    bool AssignReference(int frame, int point, int x, int y, double fracX, double fracY);
    bool AddReferencePoint(int point, const std::string& name);
    std::string PromptReferenceName();
    // "Auto Register All": false (after a message) with the manual radius.
    bool StartAutoRegister();
    // The pass itself, from CurrentFrame to count - 1, when AutoRegistering
    // is set. False when the lock was lost (after the message), the lost
    // frame then current.
    bool AutoRegisterPass(int count);

    // Use and exclusion.
    void ToggleUsed(int i);
    void DeleteReference();  // the current frame is no longer used
    // After asking, removes the files of the unused frames (RemoveFile) and
    // drops their records; the current frame becomes the nearest remaining
    // one. False when nothing was purged.
    bool Purge();
    bool AnyUnused() const;

    // The lines of the "Files" and "Ref Points" lists.
    std::string FrameLine(int i) const { return FrameLineText(Frames[static_cast<size_t>(i)]); }
    std::vector<std::string> RefPointLines() const { return ::RefPointLines(RefPts); }

    const TBitmap& Canvas() const { return canvas_; }

private:
    std::string StatePath(const char* name) const { return StateFolder + name; }
    // False when a stop ended the loading: the frames are not all there.
    [[nodiscard]] bool LoadFrames();
    // Ends the progress report of the stacking; a stopped stack is dropped.
    bool EndStacking(bool complete);
    void RebuildDisplay();
    void LockFrame(int frame, int point, int x, int y, double fracX, double fracY);
    std::string MixedMedianText() const;

    TMainState& state_;
    TUiPort& port_;
    TBitmap loaded_;   // the current frame as read, for the lock
    TBitmap view_;     // what the lock reads: loaded_, stretched when the display is
    TBitmap display_;  // what the pane shows: the crosshair drawn in, then stretched
    TBitmap canvas_;
};
