// The records the align window works on: one per frame and one per
// reference point, the state file that carries a run's locks to the next
// run, the trace file, and the lines of the window's two lists. Plain data
// and pure functions; the run (untAlign) does the reading and writing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "untBitmap.h"

inline constexpr int kMaxFrames = 256;       // frame records of one run, never grown
inline constexpr int kRefSlots = 32;         // reference point slots
inline constexpr int kKeyRefPoints = 9;      // points the digit keys "0".."8" reach
inline constexpr int kAlignRecordBytes = 336;
inline constexpr int kFileNameBytes = 256;   // the record's name field, NUL included
inline constexpr const char* kAlignDataFile = "AlignData.dat";
inline constexpr const char* kDebugDataFile = "DebugData.txt";

// One reference point. In the table: the point itself, in canvas
// coordinates (slot 0, the Base, sits at 0, 0). Inside a frame record: the
// frame's lock, that is the point it is tied to (index, -1 when none) and
// the pixel of the star in that frame (row 0 = top).
struct refpt {
    int32_t index = 0;
    int32_t defined = 0;
    int32_t x = 0;
    int32_t y = 0;
    // Sub-pixel part of the star's centre: [0, 1) after a lock, -1 after a
    // lock that found no centre. Only fp Average reads them.
    double fracX = 0.0;
    double fracY = 0.0;
    std::string name;
};

// One frame of the run. A cleared record is all zero (aligndata{}).
struct aligndata {
    int32_t used = 0;          // 1: takes part in the stack
    std::string fileName;      // full path, at most kFileNameBytes - 1 bytes
    refpt lock;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pixelFormat = 0;   // 3: 8 bits a pixel, 6: 24 bits (set before stacking)
    int32_t originX = 0;       // top-left pixel on the canvas (set before stacking)
    int32_t originY = 0;
    int32_t endX = 0;          // originX + width, exclusive
    int32_t endY = 0;
    int32_t channel = 0;       // 0 W/I, 1 R, 2 G, 3 B, 4 C, 5 M, 6 Y
    // The file as last read, never drawn on: the display works on copies.
    std::shared_ptr<TBitmap> bitmap;
};

using TRefTable = std::array<refpt, kRefSlots>;
using TFrameTable = std::array<aligndata, kMaxFrames>;

// Colour channel from the first character of the file's name (folder left
// out); upper case only: W and I 0, R 1, G 2, B 3, C 4, M 5, Y 6, others 0.
int32_t ChannelFromFileName(const std::string& path);

// Every slot cleared and numbered, then slot 0 named " 0000, 0000 Base"
// and defined.
void ResetReferencePoints(TRefTable& table);
// The names of the defined slots in slot order: the "Ref Points" list.
std::vector<std::string> RefPointLines(const TRefTable& table);

// Keeps, in order, the records below count that are used and locked
// (lock.index != -1), moved down without gaps; the records behind them up
// to count are cleared. Returns how many were kept.
int CompactFrames(TFrameTable& frames, int count);

// The state file's bytes: the count, then one 336-byte little-endian record
// per frame; the reserved handle fields are written as zero.
std::vector<uint8_t> EncodeAlignData(const TFrameTable& frames, int count);
// Reads a state file's bytes into cleared records. A file whose count is
// below 0, above kMaxFrames, or more than the whole records that follow,
// or shorter than the count itself, is not used: false, and every record
// stays cleared with *count 0. Names are cut at their first NUL; the lock
// names come back empty, bitmaps empty.
bool DecodeAlignData(const std::vector<uint8_t>& bytes, TFrameTable& frames, int* count);

// Trace lines, each with its line end, as "DebugData.txt" gets them.
// A left click: the pixel and the fractions of the previous lock.
std::string ClickTraceText(int x, int y, double fracX, double fracY);
// The block of one frame just before stacking: its file, use, reference
// point (index and that point's table position), lock, origin and end.
std::string FrameTraceText(const aligndata& frame, const TRefTable& table);
// "BMP:", "LA:", "LB:" and the two "PB:" lines of the canvas.
std::string CanvasTraceText(int width, int height, int minX, int minY, int maxX, int maxY);
// The reference table's block: every defined slot's position.
std::string ReferencesTraceText(const TRefTable& table);
// fp Average, per frame before it is accumulated.
std::string FpFrameTraceText(int index, const aligndata& frame);

// A line of the "Files" list: "*" when used (else a blank), "-" when not
// locked (else the digit of its reference point), a blank, the name
// without its folder.
std::string FrameLineText(const aligndata& frame);
