#include "untAlignModel.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "untBmpFormat.h"

namespace {

// Record offsets of the state file. The gaps (292, 328, 332) held handles
// of the frame in memory and stay zero.
enum TRecordOffset : size_t {
    roUsed = 0,
    roFileName = 4,
    roLockIndex = 260,
    roLockDefined = 264,
    roLockX = 268,
    roLockY = 272,
    roFracX = 276,
    roFracY = 284,
    roWidth = 296,
    roHeight = 300,
    roPixelFormat = 304,
    roOriginX = 308,
    roOriginY = 312,
    roEndX = 316,
    roEndY = 320,
    roChannel = 324,
};

void PutInt(uint8_t* record, size_t offset, int32_t v) { PutLE32(record + offset, static_cast<uint32_t>(v)); }
int32_t GetInt(const uint8_t* record, size_t offset) { return static_cast<int32_t>(GetLE32(record + offset)); }

// Doubles go by their bit pattern, low word first, whatever the machine's
// own byte order.
void PutDouble(uint8_t* record, size_t offset, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    PutLE32(record + offset, static_cast<uint32_t>(bits));
    PutLE32(record + offset + 4, static_cast<uint32_t>(bits >> 32));
}
double GetDouble(const uint8_t* record, size_t offset) {
    const uint64_t bits = uint64_t{GetLE32(record + offset)} | (uint64_t{GetLE32(record + offset + 4)} << 32);
    double v = 0.0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void EncodeRecord(const aligndata& frame, uint8_t* record) {
    PutInt(record, roUsed, frame.used);
    // The field keeps its terminator even for a name the run should have
    // refused: a longer one would run into the lock.
    const size_t nameBytes = std::min(frame.fileName.size(), size_t{kFileNameBytes - 1});
    std::memcpy(record + roFileName, frame.fileName.data(), nameBytes);
    PutInt(record, roLockIndex, frame.lock.index);
    PutInt(record, roLockDefined, frame.lock.defined);
    PutInt(record, roLockX, frame.lock.x);
    PutInt(record, roLockY, frame.lock.y);
    PutDouble(record, roFracX, frame.lock.fracX);
    PutDouble(record, roFracY, frame.lock.fracY);
    PutInt(record, roWidth, frame.width);
    PutInt(record, roHeight, frame.height);
    PutInt(record, roPixelFormat, frame.pixelFormat);
    PutInt(record, roOriginX, frame.originX);
    PutInt(record, roOriginY, frame.originY);
    PutInt(record, roEndX, frame.endX);
    PutInt(record, roEndY, frame.endY);
    PutInt(record, roChannel, frame.channel);
}

void DecodeRecord(const uint8_t* record, aligndata& frame) {
    frame.used = GetInt(record, roUsed);
    const char* name = reinterpret_cast<const char*>(record + roFileName);
    frame.fileName.assign(name, strnlen(name, kFileNameBytes - 1));
    frame.lock.index = GetInt(record, roLockIndex);
    frame.lock.defined = GetInt(record, roLockDefined);
    frame.lock.x = GetInt(record, roLockX);
    frame.lock.y = GetInt(record, roLockY);
    frame.lock.fracX = GetDouble(record, roFracX);
    frame.lock.fracY = GetDouble(record, roFracY);
    frame.width = GetInt(record, roWidth);
    frame.height = GetInt(record, roHeight);
    frame.pixelFormat = GetInt(record, roPixelFormat);
    frame.originX = GetInt(record, roOriginX);
    frame.originY = GetInt(record, roOriginY);
    frame.endX = GetInt(record, roEndX);
    frame.endY = GetInt(record, roEndY);
    frame.channel = GetInt(record, roChannel);
}

// The name without its folder. Names written by the Windows builds of old
// state files use backslashes, so both separators count.
std::string_view BaseName(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    const std::string_view name(path);
    return separator == std::string::npos ? name : name.substr(separator + 1);
}

[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text(static_cast<size_t>(std::max(length, 0)), '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

int ClampCount(int count) { return std::clamp(count, 0, kMaxFrames); }

}  // namespace

int32_t ChannelFromFileName(const std::string& path) {
    // W and I, like every other letter, are channel 0.
    static constexpr std::string_view kChannels = "RGBCMY";
    const std::string_view name = BaseName(path);
    if (name.empty()) return 0;
    const auto channel = kChannels.find(name.front());
    return channel == std::string_view::npos ? 0 : static_cast<int32_t>(channel + 1);
}

void ResetReferencePoints(TRefTable& table) {
    for (int i = 0; i < kRefSlots; ++i) {
        table[i] = refpt{};
        table[i].index = i;
    }
    table[0].name = " 0000, 0000 Base";
    table[0].defined = 1;
}

std::vector<std::string> RefPointLines(const TRefTable& table) {
    std::vector<std::string> lines;
    for (const refpt& point : table)
        if (point.defined) lines.push_back(point.name);
    return lines;
}

int CompactFrames(TFrameTable& frames, int count) {
    count = ClampCount(count);
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (frames[i].used != 1 || frames[i].lock.index == -1) continue;
        if (i != kept) frames[kept] = std::move(frames[i]);
        ++kept;
    }
    for (int i = kept; i < count; ++i) frames[i] = aligndata{};
    return kept;
}

std::vector<uint8_t> EncodeAlignData(const TFrameTable& frames, int count) {
    count = ClampCount(count);
    std::vector<uint8_t> bytes(4 + static_cast<size_t>(count) * kAlignRecordBytes, 0);
    PutLE32(bytes.data(), static_cast<uint32_t>(count));
    for (int i = 0; i < count; ++i) EncodeRecord(frames[i], bytes.data() + 4 + static_cast<size_t>(i) * kAlignRecordBytes);
    return bytes;
}

bool DecodeAlignData(const std::vector<uint8_t>& bytes, TFrameTable& frames, int* count) {
    for (aligndata& frame : frames) frame = aligndata{};
    *count = 0;
    if (bytes.size() < 4) return false;
    const auto stored = static_cast<int32_t>(GetLE32(bytes.data()));
    const size_t whole = (bytes.size() - 4) / kAlignRecordBytes;
    if (stored < 0 || stored > kMaxFrames || static_cast<size_t>(stored) > whole) return false;
    for (int i = 0; i < stored; ++i) DecodeRecord(bytes.data() + 4 + static_cast<size_t>(i) * kAlignRecordBytes, frames[i]);
    *count = stored;
    return true;
}

std::string ClickTraceText(int x, int y, double fracX, double fracY) {
    return Format("In:   X: %3d Y: %3d dX: %f dY %f\n", x, y, fracX, fracY);
}

std::string FrameTraceText(const aligndata& frame, const TRefTable& table) {
    // A frame that was never locked has index -1 and no point to show.
    const int32_t r = frame.lock.index;
    const bool inTable = r >= 0 && r < kRefSlots;
    return Format(
        "---Frame-------------\n"
        "File: %s\n"
        "Used: %s\n"
        "Ref : %+2d %+05d, %+05d\n"
        "Ofs :    %+05d, %+05d\n"
        "Org :    %+05d, %+05d\n"
        "End :    %+05d, %+05d\n\n",
        frame.fileName.c_str(), frame.used ? "TRUE" : "FALSE", r, inTable ? table[r].x : 0, inTable ? table[r].y : 0,
        frame.lock.x, frame.lock.y, frame.originX, frame.originY, frame.endX, frame.endY);
}

std::string CanvasTraceText(int width, int height, int minX, int minY, int maxX, int maxY) {
    return Format("BMP: %d x %d\nLA: %d\nLB: %d\nPB: %d\nPB: %d\n", width, height, minY, maxY, minX, maxX);
}

std::string ReferencesTraceText(const TRefTable& table) {
    std::string text = "---Reference Data----\n";
    for (int i = 0; i < kRefSlots; ++i)
        if (table[i].defined) text += Format("Ref %d: %+05d, %+05d\n", i, table[i].x, table[i].y);
    return text;
}

std::string FpFrameTraceText(int index, const aligndata& frame) {
    return Format("File %3d:%s\nOffset: X= %f Y = %f\nOrigin: X= %d Y = %d\n", index, frame.fileName.c_str(),
                  frame.lock.fracX, frame.lock.fracY, frame.originX, frame.originY);
}

std::string FrameLineText(const aligndata& frame) {
    // Points past 9 come from "New Reference" and the list; they keep the
    // line's two markers by counting on from the digits ('0' + index).
    const int32_t r = frame.lock.index;
    const char point = r == -1 ? '-' : (r >= 0 && r < kRefSlots ? static_cast<char>('0' + r) : '?');
    std::string line{frame.used ? '*' : ' ', point, ' '};
    line += BaseName(frame.fileName);
    return line;
}
