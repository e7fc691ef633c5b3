#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "TestBitmaps.h"
#include "untAlignModel.h"
#include "untCentroid.h"

namespace {

using TSpot = std::array<int, 3>;  // x, y, value

// A 40 x 30 sky of value 10 with the given pixels lit.
TGreyPlane Sky(const std::vector<TSpot>& spots) {
    TGreyPlane plane{40, 30, std::vector<uint8_t>(40 * 30, 10)};
    for (const auto& [x, y, v] : spots) plane.pixels[y * 40 + x] = static_cast<uint8_t>(v);
    return plane;
}

aligndata Frame(int used, const std::string& name, int lockIndex) {
    aligndata f;
    f.used = used, f.fileName = name, f.lock.index = lockIndex;
    return f;
}

// Locked to the Base with its star at (50, 40), placed at (3, 2).
aligndata Placed() {
    aligndata f = Frame(1, "/sky/m51_001.bmp", 0);
    f.lock = {0, 1, 50, 40, 0.25, 0.75, " 0000, 0000 Base"};
    f.width = 100, f.height = 80, f.pixelFormat = 3, f.originX = 3, f.originY = 2, f.endX = 103, f.endY = 82;
    return f;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

TEST(Centroid, HalfMaxCentreProfiles) {
    const struct {
        const char* behaviour;
        std::vector<double> p;
        double centre;
    } cases[] = {
        {"flat window", {5, 5, 5, 5, 5, 5, 5, 5, 5}, -1.0},
        {"symmetric star", {0, 0, 0, 1, 2, 1, 0, 0, 0}, 4.0},
        {"leans toward the brighter edge", {0, 0, 0, 0, 4, 2, 0, 0, 0}, 4.25},
        {"offset sky changes nothing", {7, 7, 7, 7, 11, 9, 7, 7, 7}, 4.25},
        {"edges exactly at half", {0, 0, 0, 0, 1, 1, 0, 0, 0}, -1.0},
        {"never falls back below half", {0, 0, 0, 0, 0, 0, 1, 2, 3}, -1.0},
        // With the ends in the peak search the end sample alone would be at
        // half maximum and there would be no centre.
        {"peak searched in samples 2..6 only", {9, 0, 0, 0, 0, 0, 0, 0, 0}, 2.0 / 3.0},
        {"too few samples", {0, 0, 1, 2, 1, 0, 0, 0}, -1.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(HalfMaxCentre(c.p.data(), static_cast<int>(c.p.size())), c.centre) << c.behaviour;
}

TEST(Centroid, LockOnStar) {
    const std::vector<TSpot> star{{19, 14, 50}, {20, 14, 100}, {21, 14, 50}, {19, 15, 100}, {20, 15, 200},
                                  {21, 15, 100}, {19, 16, 50},  {20, 16, 100}, {21, 16, 50}};
    const std::vector<TSpot> pair{{18, 15, 30}, {19, 15, 100}, {20, 15, 200}, {21, 15, 200}, {22, 15, 100}, {23, 15, 30}};
    const struct {
        const char* behaviour;
        TGreyPlane plane;
        int radius, x, y;
        std::tuple<bool, int, int, double, double> lock;  // x, y and fractions afterwards
    } cases[] = {
        {"flat window", Sky({}), 4, 20, 15, {false, 20, 15, -1.0, -1.0}},
        {"one hot pixel", Sky({{21, 14, 255}}), 4, 20, 15, {true, 21, 14, 0.0, 0.0}},
        {"symmetric star", Sky(star), 8, 18, 17, {true, 20, 15, 0.0, 0.0}},
        {"star across two columns", Sky(pair), 8, 18, 15, {true, 20, 15, 0.5, 0.0}},
        {"star at the window's edge", Sky({{22, 15, 255}}), 4, 20, 15, {false, 20, 15, -1.0, -1.0}},
        {"manual radius has no profile", Sky(star), 1, 20, 15, {false, 20, 15, -1.0, -1.0}},
        {"x at the radius", Sky(star), 4, 4, 15, {false, 4, 15, 0.25, 0.75}},
        {"x at width - radius", Sky(star), 4, 36, 15, {false, 36, 15, 0.25, 0.75}},
        {"y at the radius", Sky(star), 4, 20, 4, {false, 20, 4, 0.25, 0.75}},
        {"y at height - radius", Sky(star), 4, 20, 26, {false, 20, 26, 0.25, 0.75}},
        {"last inside", Sky({{35, 25, 255}}), 4, 35, 25, {true, 35, 25, 0.0, 0.0}},
    };
    for (const auto& c : cases) {
        int x = c.x, y = c.y;
        double fx = 0.25, fy = 0.75;  // a previous lock's, kept when the click is refused
        const bool locked = LockOnStar(c.plane, c.radius, x, y, fx, fy);
        EXPECT_EQ(std::tuple(locked, x, y, fx, fy), c.lock) << c.behaviour;
    }
}

TEST(Centroid, DisplayPipeline) {
    const struct {
        TPixelFormat format;
        int w, h, x, y;
        std::vector<uint8_t> expected;
    } crosshairs[] = {
        {pf8bit, 3, 3, 1, 1, {10, 245, 10, 245, 10, 245, 10, 245, 10}},
        {pf8bit, 3, 2, 5, 1, {10, 10, 10, 245, 245, 245}},
        {pf8bit, 2, 2, -1, 9, {10, 10, 10, 10}},
        {pf24bit, 2, 2, 0, 0, {10, 10, 10, 245, 245, 245, 245, 245, 245, 10, 10, 10}},
    };
    for (const auto& c : crosshairs) {
        TBitmap b = vt::MakeBitmap(c.w, c.h, c.format, std::vector<uint8_t>(c.expected.size(), 10));
        DrawCrosshair(b, c.x, c.y);
        EXPECT_EQ(vt::BitmapBytes(b), c.expected) << c.x << "," << c.y;
    }

    TBitmap shown = vt::MakeBitmap(3, 1, pf8bit, {50, 90, 200});
    StretchBitmap(shown, 3);
    EXPECT_EQ(vt::BitmapBytes(shown), (std::vector<uint8_t>{150, 255, 255}));
    EXPECT_EQ(GreyPlaneOf(vt::MakeBitmap(2, 1, pf24bit, {1, 2, 3, 255, 255, 254})).pixels, (std::vector<uint8_t>{2, 254}));
}

TEST(AlignModel, StateFileLayout) {
    TFrameTable frames;
    frames[0] = Placed();
    frames[0].bitmap = std::make_shared<TBitmap>(2, 2, pf8bit);
    frames[1] = Frame(0, std::string(300, 'a'), 3);
    frames[1].lock.x = -5, frames[1].lock.fracX = -1.0, frames[1].channel = 6;

    // Offsets within a record; the reserved words stay zero although the
    // first frame holds a lock name and a bitmap.
    std::vector<uint8_t> expected(4 + 2 * 336, 0);
    Put32(expected, 0, 2);
    const uint32_t words[][3] = {  // record, offset, value (doubles: their high words)
        {0, 0, 1},   {0, 264, 1},   {0, 268, 50},  {0, 272, 40},  {0, 280, 0x3FD00000}, {0, 288, 0x3FE80000},
        {0, 296, 100}, {0, 300, 80}, {0, 304, 3},  {0, 308, 3},   {0, 312, 2},          {0, 316, 103},
        {0, 320, 82},  {1, 260, 3},  {1, 268, 0xFFFFFFFB},         {1, 280, 0xBFF00000}, {1, 324, 6}};
    for (const auto& [record, offset, value] : words) Put32(expected, 4 + record * 336 + offset, value);
    std::copy_n("/sky/m51_001.bmp", 16, expected.begin() + 8);
    std::fill_n(expected.begin() + 4 + 336 + 4, 255, 'a');
    EXPECT_EQ(EncodeAlignData(frames, 2), expected);

    TFrameTable back;
    int count = -7;
    ASSERT_TRUE(DecodeAlignData(expected, back, &count));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(back[1].fileName == std::string(255, 'a') && back[0].lock.name.empty() && !back[0].bitmap);
    EXPECT_EQ(EncodeAlignData(back, count), expected);
}

TEST(AlignModel, StateFilesThatAreNotUsed) {
    const auto file = [](uint32_t count, size_t records, size_t extra) {
        std::vector<uint8_t> b(4 + records * 336 + extra, 1);
        Put32(b, 0, count);
        return b;
    };
    const struct {
        std::vector<uint8_t> bytes;
        int count;  // -1: not used
    } cases[] = {
        {file(0xFFFFFFFF, 1, 0), -1}, {file(257, 257, 0), -1}, {file(3, 2, 335), -1}, {{1, 0}, -1},
        {file(2, 2, 335), 2},  // a partial record behind the counted ones is no harm
        {file(0, 0, 0), 0},
    };
    for (const auto& c : cases) {
        TFrameTable frames;
        frames[0] = Frame(1, "/kept.bmp", 0);
        int count = 9;
        EXPECT_EQ(DecodeAlignData(c.bytes, frames, &count), c.count >= 0) << c.bytes.size();
        EXPECT_EQ(count, std::max(c.count, 0));
        EXPECT_EQ(frames[0].fileName, c.count < 1 ? "" : std::string(255, 1));
    }
}

TEST(AlignModel, TraceTexts) {
    TRefTable table;
    ResetReferencePoints(table);
    table[3] = {3, 1, 30, -20, 0.0, 0.0, "+0030, -0020 M51"};
    const aligndata base = Placed();
    const aligndata third = Frame(0, "C:\\sky\\m51_002.bmp", 3), loose = Frame(0, "m51_003.bmp", -1);

    const std::pair<std::string, std::string> cases[] = {
        {ClickTraceText(5, 123, 0.25, -1.0), "In:   X:   5 Y: 123 dX: 0.250000 dY -1.000000\n"},
        {FrameTraceText(base, table),
         "---Frame-------------\nFile: /sky/m51_001.bmp\nUsed: TRUE\nRef : +0 +0000, +0000\n"
         "Ofs :    +0050, +0040\nOrg :    +0003, +0002\nEnd :    +0103, +0082\n\n"},
        {FrameTraceText(third, table),
         "---Frame-------------\nFile: C:\\sky\\m51_002.bmp\nUsed: FALSE\nRef : +3 +0030, -0020\n"
         "Ofs :    +0000, +0000\nOrg :    +0000, +0000\nEnd :    +0000, +0000\n\n"},
        {FrameTraceText(loose, table),
         "---Frame-------------\nFile: m51_003.bmp\nUsed: FALSE\nRef : -1 +0000, +0000\n"
         "Ofs :    +0000, +0000\nOrg :    +0000, +0000\nEnd :    +0000, +0000\n\n"},
        {CanvasTraceText(104, 83, -53, -42, 50, 40), "BMP: 104 x 83\nLA: -42\nLB: 40\nPB: -53\nPB: 50\n"},
        {ReferencesTraceText(table), "---Reference Data----\nRef 0: +0000, +0000\nRef 3: +0030, -0020\n"},
        {FpFrameTraceText(7, base), "File   7:/sky/m51_001.bmp\nOffset: X= 0.250000 Y = 0.750000\nOrigin: X= 3 Y = 2\n"},
        {FrameLineText(base), "*0 m51_001.bmp"},
        {FrameLineText(third), " 3 m51_002.bmp"},
        {FrameLineText(loose), " - m51_003.bmp"},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
    EXPECT_EQ(RefPointLines(table), (std::vector<std::string>{" 0000, 0000 Base", "+0030, -0020 M51"}));
    EXPECT_EQ(table[31].index, 31);
}

TEST(AlignModel, ChannelFromFileName) {
    const std::pair<const char*, int> cases[] = {
        {"r_0001.bmp", 0}, {"R_0001.bmp", 1}, {"C001.bmp", 4},     {"/data/Red/G_1.bmp", 2}, {"B\\x\\Y1.bmp", 6},
        {"W.bmp", 0},      {"I.bmp", 0},      {"M.bmp", 5},        {"B.bmp", 3},             {"/sky/", 0},
    };
    for (const auto& [name, channel] : cases) EXPECT_EQ(ChannelFromFileName(name), channel) << name;
}

TEST(AlignModel, CompactFramesKeepsOrderAndClearsTheTail) {
    TFrameTable frames;
    const int used[] = {1, 1, 0, 1, 1, 1}, lock[] = {-1, 0, 2, 3, -1, 0};
    for (int i = 0; i < 6; ++i) frames[i] = Frame(used[i], "f" + std::to_string(i), lock[i]);
    frames[6] = Frame(1, "behind the count", 0);
    EXPECT_EQ(CompactFrames(frames, 6), 3);
    const char* names[] = {"f1", "f3", "f5", "", "", "", "behind the count"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(frames[i].fileName, names[i]) << i;
}
