// The main window's members that commands share. The window owns one; the
// command line and the tests make their own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "untBitmap.h"

struct TMainState {
    std::string LastPathOpen;  // folder the next open dialog starts in, with trailing separator
    std::string LastPathSave;  // likewise for the save dialog
    // Working set of the series commands; empty between commands.
    std::vector<std::unique_ptr<TBitmap>> FrameList;
    int DarkSubtractMode = 0;
    std::string DarkFileName;
    int MapLevel = 0;
};

// Releases a command's working set however the command ends, an error that
// ends it included: the last frame first, the output at index 0 last.
struct TFrameListGuard {
    TMainState& state;
    ~TFrameListGuard() { ReleaseFrames(); }
    void ReleaseFrames() {
        while (!state.FrameList.empty()) state.FrameList.pop_back();
    }
};
