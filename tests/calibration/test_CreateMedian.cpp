#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untBitmap.h"
#include "untMedian.h"

namespace {

const std::vector<std::string> kSuccessStatuses = {
    "Loading input files...", "Validating input files...", "Creating median...", "", "Saving output file...",
    "Cleaning up...",         "Idle"};

struct MedianRun {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;

    // An 8-bit frame of w x h holding `pixels` (top row first), grey-ramp palette unless given.
    std::string Frame(const std::string& name, int w, int h, std::vector<uint8_t> pixels,
                      std::vector<uint8_t> palette = {}) {
        vt::BmpLayout s;
        s.width = w;
        s.height = h;
        s.pixels = std::move(pixels);
        s.paletteBGRA = std::move(palette);
        vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
        return dir.file(name);
    }
    std::string Uniform(const std::string& name, uint8_t v, int w = 4, int h = 3) {
        return Frame(name, w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h, v));
    }
    TBitmap Load(const std::string& path) {
        TBitmap b;
        b.LoadFromFile(path);
        return b;
    }
};

std::vector<uint8_t> Pixels(const TBitmap& b) {
    std::vector<uint8_t> v;
    for (int y = 0; y < b.Height(); ++y) v.insert(v.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
    return v;
}

}  // namespace

TEST(CreateMedian, OddCountTakesTheMiddleValueAndReportsEveryStage) {
    MedianRun r;
    auto a = r.Frame("a.bmp", 2, 1, {10, 100});
    auto b = r.Frame("b.bmp", 2, 1, {250, 130});
    auto c = r.Frame("c.bmp", 2, 1, {12, 140});
    r.state.LastPathOpen = "/start/open/";
    r.state.LastPathSave = "/start/save/";
    r.port.AnswerOpen({a, b, c});
    r.port.AnswerSave(r.dir.file("master.bmp"));
    CreateMedian(r.state, r.port);

    EXPECT_EQ(r.port.statuses, kSuccessStatuses);
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(Pixels(r.Load(r.dir.file("master.bmp"))), (std::vector<uint8_t>{12, 130}));
    EXPECT_TRUE(r.state.FrameList.empty());
    // Folder memory: the dialogs started in the remembered folders and moved on.
    EXPECT_EQ(r.port.open().initialDirsSeen, std::vector<std::string>{"/start/open/"});
    EXPECT_EQ(r.port.save().initialDirsSeen, std::vector<std::string>{"/start/save/"});
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    EXPECT_EQ(r.port.save().FileName, r.dir.file("master.bmp"));
    EXPECT_EQ(r.state.LastPathOpen, r.dir.path() + "/");
    EXPECT_EQ(r.state.LastPathSave, r.dir.path() + "/");
    EXPECT_GE(r.port.processMessagesCalls, 3 + 1);  // after each file and during the median
}

TEST(CreateMedian, EvenCountTakesTheLowerMiddleValue) {
    MedianRun r;
    r.port.AnswerOpen({r.Uniform("a.bmp", 5), r.Uniform("b.bmp", 9), r.Uniform("c.bmp", 7), r.Uniform("d.bmp", 100)});
    r.port.AnswerSave(r.dir.file("m.bmp"));
    CreateMedian(r.state, r.port);
    EXPECT_EQ(Pixels(r.Load(r.dir.file("m.bmp"))), std::vector<uint8_t>(12, 7));
}

TEST(CreateMedian, LargeStacksAndBothThreadCountsGiveTheSameFile) {
    MedianRun r;
    std::vector<std::string> files;
    for (int i = 0; i < 300; ++i) {  // more frames than the classic 255 limit
        std::vector<uint8_t> px(5 * 3);
        for (size_t p = 0; p < px.size(); ++p) px[p] = static_cast<uint8_t>((i * 37 + p * 11) % 256);
        files.push_back(r.Frame("f" + std::to_string(i) + ".bmp", 5, 3, px));
    }
    r.port.AnswerOpen(files);
    r.port.AnswerSave(r.dir.file("one.bmp"));
    CreateMedian(r.state, r.port, 1);
    r.port.AnswerOpen(files);
    r.port.AnswerSave(r.dir.file("two.bmp"));
    CreateMedian(r.state, r.port, 2);
    auto one = Pixels(r.Load(r.dir.file("one.bmp")));
    EXPECT_EQ(one, Pixels(r.Load(r.dir.file("two.bmp"))));
    for (size_t p = 0; p < one.size(); ++p) {
        std::vector<uint8_t> samples;
        for (int i = 0; i < 300; ++i) samples.push_back(static_cast<uint8_t>((i * 37 + p * 11) % 256));
        std::sort(samples.begin(), samples.end());
        EXPECT_EQ(one[p], samples[149]) << "pixel " << p;
    }
}

TEST(CreateMedian, OutputKeepsTheFirstFramesPaletteAndOnlyCombinesStoredValues) {
    MedianRun r;
    std::vector<uint8_t> inverted, red;
    for (int i = 0; i < 256; ++i) {
        const auto g = static_cast<uint8_t>(255 - i);
        inverted.insert(inverted.end(), {g, g, g, 0});
        red.insert(red.end(), {0, 0, static_cast<uint8_t>(i), 0});
    }
    auto a = r.Frame("a.bmp", 1, 1, {3}, inverted);
    auto b = r.Frame("b.bmp", 1, 1, {200}, red);
    auto c = r.Frame("c.bmp", 1, 1, {50});
    r.port.AnswerOpen({a, b, c});
    r.port.AnswerSave(r.dir.file("m.bmp"));
    CreateMedian(r.state, r.port);
    TBitmap m = r.Load(r.dir.file("m.bmp"));
    EXPECT_EQ(m.PixelFormat(), pf8bit);
    EXPECT_EQ(*m.ScanLine(0), 50);
    ASSERT_EQ(m.Palette().size(), 256u);
    EXPECT_EQ(m.Palette()[50].rgbRed, 205);
    EXPECT_EQ(m.Palette()[50].rgbBlue, 205);
}

TEST(CreateMedian, TheSameFileThreeTimesGivesACopyOfIt) {
    MedianRun r;
    std::vector<uint8_t> px(7 * 5);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 7);
    auto a = r.Frame("a.bmp", 7, 5, px);
    r.port.AnswerOpen({a, a, a});
    r.port.AnswerSave(r.dir.file("m.bmp"));
    CreateMedian(r.state, r.port);
    EXPECT_EQ(Pixels(r.Load(r.dir.file("m.bmp"))), px);
}

TEST(CreateMedian, RefusalsShowTheirMessageAndWriteNothing) {
    struct Case {
        const char* why;
        std::vector<int> widths;  // one frame each; 0 stands for a 24-bit frame
        std::string message;
        std::vector<std::string> statuses;
    };
    const std::vector<Case> cases = {
        {"two frames", {4, 4}, "A minimum of three files is required for a median", {"Idle"}},
        {"sizes differ", {4, 4, 4, 5}, "All files must be the same size",
         {"Loading input files...", "Validating input files...", "Cleaning up...", "Idle"}},
        {"a 24-bit frame", {4, 0, 4}, "256 color or monochrome bitmaps are reguired.",
         {"Loading input files...", "Validating input files...", "Cleaning up...", "Idle"}},
    };
    for (const auto& c : cases) {
        MedianRun r;
        std::vector<std::string> files;
        for (size_t i = 0; i < c.widths.size(); ++i) {
            vt::BmpLayout s;
            s.width = c.widths[i] ? c.widths[i] : 4;
            s.height = 3;
            s.bitCount = c.widths[i] ? 8 : 24;
            s.pixels.assign(static_cast<size_t>(s.width) * 3 * (s.bitCount / 8), 9);
            files.push_back(r.dir.file("f" + std::to_string(i) + ".bmp"));
            vt::WriteBytes(files.back(), vt::BuildBmp(s));
        }
        r.port.AnswerOpen(files);
        CreateMedian(r.state, r.port);
        ASSERT_EQ(r.port.messages.size(), 1u) << c.why;
        EXPECT_EQ(r.port.messages[0].text, c.message) << c.why;
        EXPECT_EQ(r.port.messages[0].title, "Error") << c.why;
        EXPECT_EQ(r.port.messages[0].buttons, TMsgButtons::Ok) << c.why;
        EXPECT_EQ(r.port.statuses, c.statuses) << c.why;
        EXPECT_EQ(r.port.save().executed, 0) << c.why;
        EXPECT_TRUE(r.state.FrameList.empty()) << c.why;
        EXPECT_EQ(r.dir.entries().size(), files.size()) << c.why;
    }
}

TEST(CreateMedian, SaveNameRule) {
    struct Case {
        std::string typed, written;
    };
    MedianRun r;
    const std::string dotted = r.dir.file("m42.2024");
    ASSERT_EQ(mkdir(dotted.c_str(), 0755), 0);
    const std::vector<Case> cases = {
        {r.dir.file("master"), r.dir.file("master.bmp")},
        {r.dir.file("master.dark"), r.dir.file("master.dark")},
        {dotted + "/master", dotted + "/master"},  // a dot in a folder suppresses the extension
    };
    const auto a = r.Uniform("a.bmp", 1), b = r.Uniform("b.bmp", 2), c = r.Uniform("c.bmp", 3);
    for (const auto& k : cases) {
        r.port.AnswerOpen({a, b, c});
        r.port.AnswerSave(k.typed);
        CreateMedian(r.state, r.port);
        EXPECT_TRUE(vt::Exists(k.written)) << k.typed;
        EXPECT_EQ(Pixels(r.Load(k.written)), std::vector<uint8_t>(12, 2));
    }
}

TEST(CreateMedian, CancelledDialogs) {
    MedianRun r;
    r.state.LastPathOpen = "/kept/";
    r.port.CancelOpen();
    CreateMedian(r.state, r.port);
    EXPECT_EQ(r.port.statuses, std::vector<std::string>{"Idle"});
    EXPECT_EQ(r.state.LastPathOpen, "/kept/");
    EXPECT_EQ(r.port.save().executed, 0);

    // A cancelled save discards the median silently, but the open folder has moved.
    r.port.statuses.clear();
    r.port.AnswerOpen({r.Uniform("a.bmp", 1), r.Uniform("b.bmp", 2), r.Uniform("c.bmp", 3)});
    r.port.CancelSave();
    CreateMedian(r.state, r.port);
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.state.LastPathOpen, r.dir.path() + "/");
    EXPECT_EQ(r.port.statuses, (std::vector<std::string>{"Loading input files...", "Validating input files...",
                                                         "Creating median...", "", "Cleaning up...", "Idle"}));
    EXPECT_EQ(r.dir.entries().size(), 3u);
}

TEST(CreateMedian, AFileTheToolkitCannotLoadEndsTheCommandWithItsError) {
    MedianRun r;
    vt::WriteBytes(r.dir.file("broken.bmp"), {'B', 'M', 1, 2, 3});
    r.port.AnswerOpen({r.Uniform("a.bmp", 1), r.Uniform("b.bmp", 2), r.dir.file("broken.bmp")});
    EXPECT_THROW(CreateMedian(r.state, r.port), EBitmapError);
    EXPECT_TRUE(r.state.FrameList.empty());
    EXPECT_EQ(r.port.LastStatus(), "Loading input files...");  // the status line keeps its text
    EXPECT_EQ(r.port.save().executed, 0);
}
