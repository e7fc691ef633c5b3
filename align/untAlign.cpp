#include "untAlign.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "untBatch.h"
#include "untBmpFormat.h"
#include "untFileNames.h"
#include "untFrameLoader.h"
#include "untSafeFile.h"

namespace {

// Frames of fewer bits a pixel hold their rows packed; every reader of a
// frame here takes one byte a pixel, so such frames are widened on load.
void MakeBytePixels(TBitmap& frame) {
    if (frame.PixelFormat() == pf1bit || frame.PixelFormat() == pf4bit) frame.SetPixelFormat(pf8bit);
}

bool IsMedianRule(int mode) { return mode == smMedian || mode == smMedianAverage || mode == smMedianSum; }

}  // namespace

TAlignRun::TAlignRun(TMainState& state, TUiPort& port) : state_(state), port_(port) {
    StatusLine = [this](const std::string& text) { port_.SetStatus(text); };
    Progress = [this](int64_t done, int64_t total, const std::string& what) { port_.Progress(done, total, what); };
    RemoveFile = [](const std::string& path) { (void)::unlink(path.c_str()); };
    ::ResetReferencePoints(RefPts);
}

// ---- The state and trace files ----

void TAlignRun::ResetReferencePoints() { ::ResetReferencePoints(RefPts); }

int TAlignRun::CompactFrames(int count) { return ::CompactFrames(Frames, count); }

void TAlignRun::SaveAlignData() {
    // The records are compacted even when the file cannot be written: the
    // placement that follows reads only used and locked frames.
    FrameCount = CompactFrames(FrameCount);
    const std::vector<uint8_t> bytes = EncodeAlignData(Frames, FrameCount);
    std::string error;
    // A state file that cannot be written is no error: the stack goes on.
    (void)ReplaceFileContents(StatePath(kAlignDataFile), bytes.data(), bytes.size(), &error);
}

void TAlignRun::LoadAlignData() {
    for (auto& frame : Frames) frame = aligndata{};
    // Opened for reading only, so a read-only state file still continues a run.
    std::ifstream in(StatePath(kAlignDataFile), std::ios::binary);
    if (!in) return;
    // More than a full table of records is never used.
    const size_t most = 4 + size_t{kMaxFrames} * kAlignRecordBytes + 1;
    std::vector<uint8_t> bytes(most);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(most));
    bytes.resize(static_cast<size_t>(in.gcount()));
    int count = 0;
    if (!DecodeAlignData(bytes, Frames, &count)) return;
    // A lock naming a slot the table does not have would place its frame
    // by memory outside the table.
    for (int i = 0; i < count; ++i) {
        const int32_t index = Frames[static_cast<size_t>(i)].lock.index;
        if (index < -1 || index >= kRefSlots) {
            for (auto& frame : Frames) frame = aligndata{};
            return;
        }
    }
    FrameCount = count;
}

void TAlignRun::AppendDebugLine(const std::string& text) {
    if (!Trace) return;
    // Appending creates the file when it is missing; a line that cannot be
    // written is lost, as a trace may lose it.
    std::FILE* f = std::fopen(StatePath(kDebugDataFile).c_str(), "a");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

void TAlignRun::DumpFrame(int i) { AppendDebugLine(FrameTraceText(Frames[static_cast<size_t>(i)], RefPts)); }

void TAlignRun::DumpReferences() { AppendDebugLine(ReferencesTraceText(RefPts)); }

// ---- Start ----

bool TAlignRun::Start() {
    StretchFactor = 1;
    ResetReferencePoints();
    AutoCentroid = 0;
    AutoRegistering = 0;
    AutoRegisterEnabled = false;
    Radius = 1;
    DoneEnabled = false;

    TFileDialog& open = port_.OpenDialog();
    open.Title = "Select frames to stack";
    CanvasMinX = CanvasMinY = CanvasMaxX = CanvasMaxY = 0;
    FrameCount = 0;
    std::vector<std::string> files;
    if (OpenFilesStep(state_, port_, ofAllowMultiSelect)) files = open.Files;
    if (StateFolderFromOpen) StateFolder = state_.LastPathOpen;

    // The table has room for kMaxFrames records, and a name is stored in
    // a field of its own size: a cut name would name another file when the
    // run is continued.
    if (files.size() > static_cast<size_t>(kMaxFrames)) {
        port_.MessageBox(std::to_string(files.size()) + " frames were chosen; at most " + std::to_string(kMaxFrames) +
                             " can be aligned and stacked in one run.",
                         "Error", TMsgButtons::Ok);
        return false;
    }
    for (const auto& file : files) {
        if (file.size() >= static_cast<size_t>(kFileNameBytes)) {
            port_.MessageBox("The path of " + file + " is longer than " + std::to_string(kFileNameBytes - 1) +
                                 " characters, more than the alignment state can hold. Move the frames to a "
                                 "folder with a shorter path.",
                             "Error", TMsgButtons::Ok);
            return false;
        }
    }

    for (size_t i = 0; i < files.size(); ++i) {
        aligndata& frame = Frames[i];
        frame = aligndata{};
        frame.fileName = files[i];
        frame.channel = ChannelFromFileName(files[i]);
        frame.lock.index = -1;
        frame.used = 1;
    }
    FrameCount = static_cast<int>(files.size());
    if (FrameCount == 0) {
        LoadAlignData();
        if (FrameCount == 0) return false;
    }

    if (!LoadFrames()) {
        // Stopped while loading: the run ends as a cancelled choice would.
        for (auto& frame : Frames) frame = aligndata{};
        FrameCount = 0;
        return false;
    }

    CurrentFrame = 0;
    loaded_ = *Frames[0].bitmap;
    view_ = loaded_;
    display_ = loaded_;
    return true;
}

bool TAlignRun::LoadFrames() {
    std::vector<std::string> paths;
    for (int i = 0; i < FrameCount; ++i) paths.push_back(Frames[static_cast<size_t>(i)].fileName);
    std::vector<std::unique_ptr<TBitmap>> bitmaps;
    Progress(1, FrameCount, paths.front());
    LoadBitmapsInOrder(paths, bitmaps, Threads, [&] {
        port_.ProcessMessages();
        if (bitmaps.size() == paths.size()) return true;
        if (BatchStopRequested()) return false;
        Progress(static_cast<int64_t>(bitmaps.size() + 1), FrameCount, paths[bitmaps.size()]);
        return true;
    });
    Progress(0, 0, std::string());
    if (bitmaps.size() < paths.size()) return false;
    for (int i = 0; i < FrameCount; ++i) {
        aligndata& frame = Frames[static_cast<size_t>(i)];
        MakeBytePixels(*bitmaps[static_cast<size_t>(i)]);
        frame.bitmap = std::move(bitmaps[static_cast<size_t>(i)]);
        frame.width = frame.bitmap->Width();
        frame.height = frame.bitmap->Height();
    }
    return true;
}

// ---- The displayed frame ----

void TAlignRun::ShowFrame(int f) {
    if (f < 0 || f >= FrameCount) return;
    CurrentFrame = f;
    ReloadImage();
    HistogramStretch();
}

void TAlignRun::ReloadImage() {
    if (CurrentFrame < 0 || CurrentFrame >= FrameCount) return;
    aligndata& frame = Frames[static_cast<size_t>(CurrentFrame)];
    auto bitmap = std::make_shared<TBitmap>();
    bitmap->LoadFromFile(frame.fileName);
    MakeBytePixels(*bitmap);
    // The stack reads the frame as its file now holds it; the crosshair and
    // the stretch live only in the copies on screen.
    frame.bitmap = bitmap;
    frame.width = bitmap->Width();
    frame.height = bitmap->Height();
    loaded_ = *bitmap;
    RebuildDisplay();
}

void TAlignRun::RebuildDisplay() {
    const aligndata& frame = Frames[static_cast<size_t>(CurrentFrame)];
    view_ = loaded_;
    display_ = loaded_;
    if (frame.lock.index >= 0) DrawCrosshair(display_, frame.lock.x, frame.lock.y);
}

void TAlignRun::HistogramStretch() {
    if (StretchFactor == 1) return;
    StretchBitmap(view_, StretchFactor);
    StretchBitmap(display_, StretchFactor);
}

void TAlignRun::SetStretchFactor(int position) {
    if (position == StretchFactor) return;
    ReloadImage();
    StretchFactor = std::clamp(position, 1, 20);
    HistogramStretch();
}

// ---- Locking ----

void TAlignRun::SelectRadius(int radius) {
    AutoRegistering = 0;
    if (radius <= 1) {
        Radius = 1;
        AutoCentroid = 0;
        AutoRegisterEnabled = false;
        return;
    }
    Radius = std::min(radius, kMaxRadius);
    AutoCentroid = 1;
}

bool TAlignRun::ImageMouseDown(int x, int y) {
    ClickX = x;
    ClickY = y;
    AppendDebugLine(ClickTraceText(ClickX, ClickY, ClickFracX, ClickFracY));
    bool locked = true;
    if (AutoCentroid == 1 && !LockOnStar(ClickX, ClickY, ClickFracX, ClickFracY)) {
        port_.MessageBox("Unable to lock on reference. Select another.", "Reference Failed", TMsgButtons::Ok);
        locked = false;
    }
    DoneEnabled = true;
    return locked;
}

bool TAlignRun::LockOnStar(int& x, int& y, double& fracX, double& fracY) {
    if (view_.Empty()) return false;
    // The crosshair is for the eye: the lock reads the frame without it.
    const TGreyPlane plane = GreyPlaneOf(view_);
    if (Centroid) return Centroid(plane, Radius, x, y, fracX, fracY);
    return ::LockOnStar(plane, Radius, x, y, fracX, fracY);
}

void TAlignRun::LockFrame(int frame, int point, int x, int y, double fracX, double fracY) {
    refpt& lock = Frames[static_cast<size_t>(frame)].lock;
    lock.index = point;
    lock.x = x;
    lock.y = y;
    lock.fracX = fracX;
    lock.fracY = fracY;
    lock.defined = 1;
    lock.name = RefPts[static_cast<size_t>(point)].name;
}

void TAlignRun::DigitKey(int digit) {
    if (digit >= 0 && digit < kKeyRefPoints) ReferenceKey(digit);
}

void TAlignRun::ReferenceKey(int digit) {
    if (digit < 0 || digit >= kRefSlots || FrameCount == 0) return;
    const refpt& point = RefPts[static_cast<size_t>(digit)];
    const refpt& lock = Frames[static_cast<size_t>(CurrentFrame)].lock;
    if (!point.defined) {
        if (lock.index < 0) {
            port_.MessageBox("You may not add a new reference now. Reference this frame first.", "Error",
                             TMsgButtons::OkCancel);
            return;
        }
        const std::string name = PromptReferenceName();
        (void)AddReferencePoint(digit, name);
        return;
    }
    if (lock.index >= 0) {
        const std::string question = lock.index == digit ? std::string("Do you wish to rereference this frame?")
                                                         : "Do you wish to reassign from " + std::to_string(lock.index) +
                                                               " to " + std::to_string(digit) + "?";
        if (port_.MessageBox(question, "Reference Question", TMsgButtons::YesNo) != TMsgResult::Yes) return;
        LockFrame(CurrentFrame, digit, ClickX, ClickY, ClickFracX, ClickFracY);
    } else {
        LockFrame(CurrentFrame, digit, ClickX, ClickY, ClickFracX, ClickFracY);
        if (Radius > 1) AutoRegisterEnabled = true;
    }
    ReloadImage();
}

bool TAlignRun::AssignReference(int frame, int point, int x, int y, double fracX, double fracY) {
    if (point < 0 || point >= kRefSlots || !RefPts[static_cast<size_t>(point)].defined) return false;
    if (frame < 0 || frame >= FrameCount) return false;
    LockFrame(frame, point, x, y, fracX, fracY);
    return true;
}

bool TAlignRun::AddReferencePoint(int point, const std::string& name) {
    if (ClickX == 0 && ClickY == 0) return false;
    if (point < 0 || point >= kRefSlots || FrameCount == 0) return false;
    refpt& slot = RefPts[static_cast<size_t>(point)];
    if (slot.x != 0 || slot.y != 0) return false;
    const refpt& lock = Frames[static_cast<size_t>(CurrentFrame)].lock;
    if (lock.index < 0 || lock.index >= kRefSlots) return false;
    const refpt& base = RefPts[static_cast<size_t>(lock.index)];
    slot.x = ClickX - lock.x + base.x;
    slot.y = ClickY - lock.y + base.y;
    char position[32];
    std::snprintf(position, sizeof position, "%+05d, %+05d ", slot.x, slot.y);
    slot.name = position + name;
    slot.defined = 1;
    return true;
}

std::string TAlignRun::PromptReferenceName() {
    return port_.GetString("Reference Point Name", "Enter a name for reference point", "", false).value_or("");
}

bool TAlignRun::StartAutoRegister() {
    if (Radius == 1) {
        port_.MessageBox("Select a radius first.", "Reference Failed", TMsgButtons::Ok);
        return false;
    }
    AutoCentroid = 1;
    AutoRegistering = 1;
    AutoRegisterEnabled = false;
    return true;
}

bool TAlignRun::AutoRegisterPass(int count) {
    if (AutoRegistering != 1) return true;
    // Each frame's search starts where the star sat in the frame before, so
    // a drifting star is followed; every frame is tied to the Base.
    int x = ClickX, y = ClickY;
    double fracX = 0.0, fracY = 0.0;
    for (int i = CurrentFrame; i < std::min(count, FrameCount); ++i) {
        ShowFrame(i);
        if (FrameShown) FrameShown();
        if (!LockOnStar(x, y, fracX, fracY)) {
            port_.MessageBox("Lock lost. Rereference this frame.", "Reference Failed", TMsgButtons::Ok);
            AutoRegistering = 0;
            AutoRegisterEnabled = false;
            return false;
        }
        (void)AssignReference(i, 0, x, y, fracX, fracY);
    }
    AutoRegistering = 0;
    AutoRegisterEnabled = false;
    return true;
}

// ---- Use and exclusion ----

void TAlignRun::ToggleUsed(int i) {
    if (i >= 0 && i < FrameCount) Frames[static_cast<size_t>(i)].used = Frames[static_cast<size_t>(i)].used ? 0 : 1;
}

void TAlignRun::DeleteReference() {
    if (CurrentFrame >= 0 && CurrentFrame < FrameCount) Frames[static_cast<size_t>(CurrentFrame)].used = 0;
}

bool TAlignRun::AnyUnused() const {
    for (int i = 0; i < FrameCount; ++i)
        if (!Frames[static_cast<size_t>(i)].used) return true;
    return false;
}

bool TAlignRun::Purge() {
    int unused = 0;
    for (int i = 0; i < FrameCount; ++i) unused += Frames[static_cast<size_t>(i)].used ? 0 : 1;
    if (unused == 0) return false;
    // One click would otherwise lose frames for good.
    if (port_.MessageBox("Delete " + std::to_string(unused) + " unused frame files from the disk?", "Purge",
                         TMsgButtons::YesNo) != TMsgResult::Yes)
        return false;
    int kept = 0, current = 0;
    for (int i = 0; i < FrameCount; ++i) {
        aligndata& frame = Frames[static_cast<size_t>(i)];
        // The current frame keeps its place, or gives it to the next one kept.
        if (i == CurrentFrame) current = kept;
        if (!frame.used) {
            // A file already gone or not removable is dropped all the same.
            if (RemoveFile) RemoveFile(frame.fileName);
            frame = aligndata{};
            continue;
        }
        if (kept != i) {
            Frames[static_cast<size_t>(kept)] = std::move(frame);
            frame = aligndata{};
        }
        ++kept;
    }
    FrameCount = kept;
    CurrentFrame = std::clamp(current, 0, std::max(0, FrameCount - 1));
    return true;
}

// ---- Done, placement and stacking ----

std::string TAlignRun::MixedMedianText() const {
    const aligndata* eight = nullptr;
    const aligndata* wide = nullptr;
    for (int i = 0; i < FrameCount; ++i) {
        const aligndata& frame = Frames[static_cast<size_t>(i)];
        if (!frame.used || frame.lock.index < 0 || !frame.bitmap) continue;
        (frame.bitmap->PixelFormat() == pf24bit ? wide : eight) = &frame;
    }
    if (!eight || !wide) return {};
    return "The median rules take frames of one kind, but " + eight->fileName + " has 8 bits a pixel and " +
           wide->fileName + " 24. Exclude the frames of one kind, or stack with Average or Sum.";
}

bool TAlignRun::Done() {
    int unreferenced = 0;
    for (int i = 0; i < FrameCount; ++i) {
        const aligndata& frame = Frames[static_cast<size_t>(i)];
        if (frame.used && frame.lock.index == -1) ++unreferenced;
    }
    if (unreferenced > 0) {
        char text[96];
        std::snprintf(text, sizeof text, "There are %d files which have no reference. Stack anyway?", unreferenced);
        if (port_.MessageBox(text, "Unreferenced files", TMsgButtons::YesNo) != TMsgResult::Yes) return false;
    }
    if (IsMedianRule(StackMode)) {
        const std::string mixed = MixedMedianText();
        if (!mixed.empty()) {
            port_.MessageBox(mixed, "Error", TMsgButtons::Ok);
            return false;
        }
    }
    return true;
}

bool TAlignRun::Stack() {
    SaveAlignData();
    if (FrameCount == 0) {
        port_.MessageBox("There are no referenced frames to stack.", "Error", TMsgButtons::Ok);
        return false;
    }

    // Offsets in 64 bits: locks typed by hand or read from a state file may
    // lie anywhere.
    std::vector<int64_t> dx(static_cast<size_t>(FrameCount)), dy(dx.size());
    int64_t minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int i = 0; i < FrameCount; ++i) {
        const aligndata& frame = Frames[static_cast<size_t>(i)];
        const refpt& point = RefPts[static_cast<size_t>(frame.lock.index)];
        dx[static_cast<size_t>(i)] = int64_t{point.x} - frame.lock.x;
        dy[static_cast<size_t>(i)] = int64_t{point.y} - frame.lock.y;
        maxX = std::max(maxX, frame.width + dx[static_cast<size_t>(i)]);
        minX = std::min(minX, dx[static_cast<size_t>(i)]);
        maxY = std::max(maxY, frame.height + dy[static_cast<size_t>(i)]);
        minY = std::min(minY, dy[static_cast<size_t>(i)]);
    }
    const int64_t width = -minX + maxX + 1, height = -minY + maxY + 1;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3 > kMaxPixelBytes) {
        port_.MessageBox("The frames are placed too far apart: their stack would be " + std::to_string(width) + " x " +
                             std::to_string(height) + " pixels. Check the locks.",
                         "Error", TMsgButtons::Ok);
        return false;
    }
    CanvasMinX = static_cast<int>(minX);
    CanvasMinY = static_cast<int>(minY);
    CanvasMaxX = static_cast<int>(maxX);
    CanvasMaxY = static_cast<int>(maxY);

    for (int i = 0; i < FrameCount; ++i) {
        aligndata& frame = Frames[static_cast<size_t>(i)];
        frame.originX = static_cast<int32_t>(dx[static_cast<size_t>(i)] - minX);
        frame.originY = static_cast<int32_t>(dy[static_cast<size_t>(i)] - minY);
        frame.endX = frame.originX + frame.width;
        frame.endY = frame.originY + frame.height;
        frame.pixelFormat = frame.bitmap->PixelFormat();
        DumpFrame(i);
    }

    const int w = static_cast<int>(width), h = static_cast<int>(height);
    canvas_ = TBitmap(w, h, pf24bit);
    AppendDebugLine(CanvasTraceText(w, h, CanvasMinX, CanvasMinY, CanvasMaxX, CanvasMaxY));
    DumpReferences();

    TStackParms parms;
    parms.StackMode = StackMode;
    parms.WcmyMode = WcmyMode;
    parms.ScaleFactor = std::max(ScaleFactor, 1);
    parms.palette = RunPalette(*Frames[0].bitmap);

    if (StackMode == smFpAverage) {
        TSubpixelSums sums(w, h);
        for (int i = 0; i < FrameCount; ++i) {
            if (BatchStopRequested()) return EndStacking(false);
            const aligndata& frame = Frames[static_cast<size_t>(i)];
            Progress(i + 1, FrameCount, frame.fileName);
            AppendDebugLine(FpFrameTraceText(i, frame));
            AccumulateSubpixel(frame, sums, Threads);
            StatusLine("Processing File " + std::to_string(i) + " " + frame.fileName);
            port_.ProcessMessages();
        }
        FinishSubpixel(sums, canvas_);
    } else {
        CombineFrames(Frames.data(), FrameCount, parms, canvas_, Threads, [this, h](int y) {
            StatusLine("Processing Line " + std::to_string(y));
            Progress(y + 1, h, std::string());
            port_.ProcessMessages();
            return !BatchStopRequested();
        });
        // A stop leaves rows undone: a picture nobody should keep.
        if (BatchStopRequested()) return EndStacking(false);
    }
    return EndStacking(true);
}

bool TAlignRun::EndStacking(bool complete) {
    Progress(0, 0, std::string());
    if (!complete) canvas_ = TBitmap();
    return complete;
}

void TAlignRun::SaveResult() {
    // The dialog as the last command left it: no folder or name preset here.
    TFileDialog& save = port_.SaveDialog();
    if (!save.Execute()) return;
    save.FileName = ApplySaveExtension(save.FileName);
    std::vector<std::string> frameFiles;
    for (int i = 0; i < FrameCount; ++i) frameFiles.push_back(Frames[static_cast<size_t>(i)].fileName);
    if (RefuseOutputAmong(port_, save.FileName, frameFiles)) return;
    canvas_.SaveToFile(save.FileName);
}

void TAlignRun::Release() {
    canvas_ = TBitmap();
    loaded_ = view_ = display_ = TBitmap();
    for (auto& frame : Frames) frame = aligndata{};
}

void TAlignRun::RunAlignment(const std::function<bool()>& wait) {
    if (!Start()) return;
    if (wait() && Stack()) SaveResult();
    Release();
}
