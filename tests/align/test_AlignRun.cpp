// The run as the window and the command line drive it: locks, placement,
// the files it leaves, and velmora-cli stack end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untAlign.h"

namespace {

// A frame of one grey level with, when wanted, a round star at (sx, sy).
void WriteStarFrame(const std::string& path, int w, int h, uint8_t sky, double sx = -100, double sy = -100) {
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
            pixels[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(sky + 180.0 * std::exp(-d2 / 8.0));
        }
    vt::WriteFrame(path, pixels, w);
}

struct RunSession {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;
    TAlignRun run{state, port};
    RunSession() { run.StateFolder = dir.path() + "/"; }
    // Frames a.bmp, b.bmp, ... of these sky levels, chosen and loaded.
    void Open(int w, int h, const std::vector<uint8_t>& skies) {
        std::vector<std::string> files;
        for (size_t i = 0; i < skies.size(); ++i) {
            files.push_back(dir.file(std::string(1, static_cast<char>('a' + i)) + ".bmp"));
            WriteStarFrame(files.back(), w, h, skies[i]);
        }
        port.AnswerOpen(files);
        ASSERT_TRUE(run.Start());
    }
    void Click(int frame, int x, int y, int digit) {
        if (run.CurrentFrame != frame) run.ShowFrame(frame);
        (void)run.ImageMouseDown(x, y);
        run.DigitKey(digit);
    }
};

std::vector<std::string> MessageTexts(const vt::ScriptedPort& port) {
    std::vector<std::string> texts;
    for (const auto& m : port.messages) texts.push_back(m.title + ": " + m.text);
    return texts;
}

}  // namespace

TEST(AlignRun, PlacesLockedFramesOnOneCanvasAndLeavesStateAndTrace) {
    RunSession r;
    r.Open(100, 80, {10, 30});
    r.port.AnswerSave(r.dir.file("stack"));
    r.Click(0, 50, 40, 0);
    r.Click(1, 53, 42, 0);
    ASSERT_TRUE(r.run.Done());
    ASSERT_TRUE(r.run.Stack());
    r.run.SaveResult();

    EXPECT_EQ(r.run.Frames[0].originX, 3);
    EXPECT_EQ(r.run.Frames[0].originY, 2);
    EXPECT_EQ(r.run.Frames[1].originX, 0);
    TBitmap stack;
    stack.LoadFromFile(r.dir.file("stack.bmp"));
    ASSERT_EQ(stack.Width(), 104);
    ASSERT_EQ(stack.Height(), 83);
    ASSERT_EQ(stack.PixelFormat(), pf24bit);
    auto grey = [&](int x, int y) { return stack.ScanLine(y)[3 * x]; };
    EXPECT_EQ(grey(0, 0), 30);     // the second frame alone
    EXPECT_EQ(grey(50, 40), 20);   // both: (10 + 30) / 2
    EXPECT_EQ(grey(102, 81), 10);  // the first alone
    EXPECT_EQ(grey(103, 82), 0);   // the column and row no frame reaches

    EXPECT_EQ(vt::ReadBytes(r.dir.file("AlignData.dat")).size(), 4u + 2 * 336);
    const std::vector<uint8_t> bytes = vt::ReadBytes(r.dir.file("DebugData.txt"));
    const std::string trace(bytes.begin(), bytes.end());
    EXPECT_NE(trace.find("In:   X:  50 Y:  40 dX: 0.000000 dY 0.000000\n"), std::string::npos);
    EXPECT_NE(trace.find("Org :    +0003, +0002\nEnd :    +0103, +0082\n\n"), std::string::npos);
    EXPECT_NE(trace.find("BMP: 104 x 83\nLA: -42\nLB: 40\nPB: -53\nPB: 50\n---Reference Data----\nRef 0: +0000, +0000\n"),
              std::string::npos);
    EXPECT_EQ(r.port.statuses.front(), "Processing Line 0");
    EXPECT_EQ(r.port.statuses.size(), 83u);
}

TEST(AlignRun, AStopWhileFramesLoadOrRowsCombineEndsWithNoPicture) {
    {
        RunSession r;
        std::vector<std::string> files;
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
            files.push_back(r.dir.file(name));
            WriteStarFrame(files.back(), 40, 30, 10);
        }
        r.port.AnswerOpen(files);
        r.port.stopWhen = [](const vt::ProgressEvent& e) { return e.done == 2; };
        EXPECT_FALSE(r.run.Start());
        EXPECT_EQ(r.run.FrameCount, 0);
    }
    RunSession r;
    r.Open(100, 80, {10, 30});
    r.Click(0, 50, 40, 0);
    r.Click(1, 53, 42, 0);
    ASSERT_TRUE(r.run.Done());
    r.port.progress.clear();
    r.port.stopWhen = [](const vt::ProgressEvent& e) { return e.what.empty() && e.done == 10; };
    EXPECT_FALSE(r.run.Stack());
    EXPECT_EQ(r.run.Canvas().Width(), 0);
    ASSERT_GE(r.port.progress.size(), 3u);
    EXPECT_EQ(r.port.progress.front().done, 1);
    EXPECT_EQ(r.port.progress.front().total, 83);
    EXPECT_EQ(r.port.progress.back().total, 0);  // the report ended
    EXPECT_LT(r.port.statuses.size(), 83u);
}

TEST(AlignRun, ReferencePointsPlaceFramesAndAContinuedRunForgetsThem) {
    RunSession r;
    r.Open(200, 100, {5, 7});
    r.Click(0, 100, 80, 0);
    r.port.AnswerString("M51");
    r.Click(0, 130, 60, 1);
    EXPECT_EQ(r.run.RefPointLines(), (std::vector<std::string>{" 0000, 0000 Base", "+0030, -0020 M51"}));
    r.Click(1, 10, 50, 1);
    EXPECT_EQ(r.run.FrameLine(1), "*1 b.bmp");
    r.run.ToggleUsed(0);
    EXPECT_EQ(r.run.FrameLine(0), " 0 a.bmp");
    ASSERT_TRUE(r.run.Done());
    ASSERT_TRUE(r.run.Stack());
    // The lone frame: offset (20, -70), and the extents start at 0.
    EXPECT_EQ(r.run.FrameCount, 1);
    EXPECT_EQ(r.run.Frames[0].originX, 20);
    EXPECT_EQ(r.run.Frames[0].originY, 0);
    EXPECT_EQ(r.run.Canvas().Width(), 221);

    // Continued without a choice: point 1 is undefined again, at (0, 0).
    vt::ScriptedPort port2;
    TAlignRun again(r.state, port2);
    again.StateFolder = r.run.StateFolder;
    port2.CancelOpen();
    ASSERT_TRUE(again.Start());
    ASSERT_EQ(again.FrameCount, 1);
    EXPECT_EQ(again.Frames[0].lock.index, 1);
    ASSERT_TRUE(again.Done());
    ASSERT_TRUE(again.Stack());
    EXPECT_EQ(again.Canvas().Width(), 201);
    EXPECT_EQ(again.Frames[0].originX, 0);
}

TEST(AlignRun, DigitKeysDoneAndRefusals) {
    RunSession r;
    r.Open(40, 30, {5, 5});
    r.run.DigitKey(9);
    r.port.AnswerMessage(TMsgResult::Ok);
    r.run.DigitKey(1);  // a new point on an unlocked frame
    r.Click(0, 5, 6, 0);
    r.port.AnswerMessage(TMsgResult::No);
    r.run.DigitKey(0);
    r.port.AnswerString("two");
    r.run.DigitKey(2);
    r.port.AnswerMessage(TMsgResult::Yes);
    r.run.DigitKey(2);
    EXPECT_EQ(r.run.Frames[0].lock.index, 2);
    r.port.AnswerMessage(TMsgResult::No);
    EXPECT_FALSE(r.run.Done());
    r.run.ToggleUsed(0);
    r.port.AnswerMessage(TMsgResult::Yes);
    ASSERT_TRUE(r.run.Done());
    EXPECT_FALSE(r.run.Stack());
    EXPECT_EQ(MessageTexts(r.port),
              (std::vector<std::string>{
                  "Error: You may not add a new reference now. Reference this frame first.",
                  "Reference Question: Do you wish to rereference this frame?",
                  "Reference Question: Do you wish to reassign from 0 to 2?",
                  "Unreferenced files: There are 1 files which have no reference. Stack anyway?",
                  "Unreferenced files: There are 1 files which have no reference. Stack anyway?",
                  "Error: There are no referenced frames to stack.",
              }));
    EXPECT_EQ(vt::ReadBytes(r.dir.file("AlignData.dat")), (std::vector<uint8_t>{0, 0, 0, 0}));
}

namespace {

struct CliResult {
    int status = 0;
    std::string output;
};

CliResult Stack(const vt::TempDir& dir, const std::string& args) {
    CliResult r;
    r.status = vt::RunCommand("cd " + vt::ShellQuote(dir.path()) + " && " + VELMORA_CLI_PATH + " stack " + args +
                                  " </dev/null",
                              &r.output);
    return r;
}

}  // namespace

// The real sequence with known shifts, registered from one click on the
// unsaturated star of its first frame, then stacked by every rule.
TEST(StackCommand, EveryRuleStacksTheRegisteredM51Sequence) {
    VT_REQUIRE_TESTDATA();
    const std::string sky = vt::TestDataDir() + "/sky/m51/";
    std::ifstream csv(sky + "shifts.csv");
    std::string line, frames;
    std::vector<std::pair<double, double>> shifts;
    char name[64];
    double dx, dy;
    while (std::getline(csv, line))
        if (std::sscanf(line.c_str(), "%*d,%63[^,],%lf,%lf", name, &dx, &dy) == 3) {
            frames += " " + vt::ShellQuote(sky + name);
            shifts.emplace_back(dx, dy);
        }
    ASSERT_EQ(shifts.size(), 10u);
    vt::TempDir dir;
    for (const char* rule : {"median", "average", "sum", "median-average", "median-sum", "fp-average", "wcmy"}) {
        SCOPED_TRACE(rule);
        const CliResult r = Stack(dir, std::string("--rule ") + rule + " --scale 2 --star 251,145 --radius 8" + frames +
                                           " -o " + rule);
        ASSERT_EQ(r.status, 0) << r.output;
        TBitmap stack;
        stack.LoadFromFile(dir.file(std::string(rule) + ".bmp"));
        EXPECT_EQ(stack.PixelFormat(), pf24bit);
        EXPECT_GE(stack.Width(), 320 + 20);
    }
    TFrameTable locks;
    int count = 0;
    ASSERT_TRUE(DecodeAlignData(vt::ReadBytes(dir.file("AlignData.dat")), locks, &count));
    ASSERT_EQ(count, 10);
    double sum2 = 0, worst = 0;
    for (int i = 0; i < count; ++i) {
        const refpt &lock = locks[i].lock, &first = locks[0].lock;
        const double ex = (lock.x + lock.fracX) - (first.x + first.fracX) - shifts[i].first;
        const double ey = (lock.y + lock.fracY) - (first.y + first.fracY) - shifts[i].second;
        sum2 += ex * ex + ey * ey;
        worst = std::max({worst, std::fabs(ex), std::fabs(ey)});
    }
    std::printf("registration error on m51: rms %.3f px, worst %.3f px\n", std::sqrt(sum2 / 20), worst);
    EXPECT_LT(worst, 0.6);
    // Continued from the state file: the same picture again.
    ASSERT_EQ(Stack(dir, "--rule median -o again.bmp").status, 0);
    EXPECT_EQ(vt::ReadBytes(dir.file("again.bmp")), vt::ReadBytes(dir.file("median.bmp")));
}

TEST(StackCommand, RefusalsWriteNothing) {
    vt::TempDir dir;
    WriteStarFrame(dir.file("a.bmp"), 40, 30, 5, 20, 15);
    WriteStarFrame(dir.file("b.bmp"), 40, 30, 5);
    TBitmap(40, 30, pf24bit).SaveToFile(dir.file("wide.bmp"));
    vt::WriteBytes(dir.file("one.csv"), {'1', ',', '2', '\n'});
    vt::WriteBytes(dir.file("two.csv"), {'1', ',', '2', '\n', '3', ',', '4', '\n'});
    vt::WriteBytes(dir.file("bad.csv"), {'1', ',', '2', ',', '1', '.', '5', ',', '0', '\n', '3', ',', '4', '\n'});
    const auto before = vt::Manifest(dir);
    for (const char* args : {"a.bmp b.bmp -o out", "--star 20,15 --locks one.csv a.bmp b.bmp -o out",
                             "--star 20,15 --radius 5 a.bmp b.bmp -o out", "--rule mean --star 20,15 a.bmp -o out",
                             "--locks one.csv a.bmp b.bmp -o out", "--locks bad.csv a.bmp b.bmp -o out",
                             "--star 20,15 a.bmp b.bmp", "--star 20 a.bmp -o out", "--scale x --star 20,15 a.bmp -o out"}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Stack(dir, args).status, 2);
        EXPECT_EQ(vt::Manifest(dir), before);
    }
    // Nothing to continue from.
    EXPECT_EQ(Stack(dir, "-o out").status, 1);
    EXPECT_EQ(vt::Manifest(dir), before);

    // The median rules refuse 8-bit and 24-bit frames together; the star is
    // gone from the second frame and the lock is lost.
    EXPECT_EQ(Stack(dir, "--rule median --locks two.csv a.bmp wide.bmp -o out").status, 1);
    const CliResult lost = Stack(dir, "--star 20,15 --radius 4 a.bmp b.bmp -o out");
    EXPECT_EQ(lost.status, 1);
    EXPECT_NE(lost.output.find("Lock lost. Rereference this frame."), std::string::npos) << lost.output;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"DebugData.txt", "a.bmp", "b.bmp", "bad.csv", "one.csv", "two.csv", "wide.bmp"}));
}
