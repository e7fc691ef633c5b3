// The repair commands end to end on files through the scripted port: their
// prompts, status lines, messages and what they leave on disk.
#include <gtest/gtest.h>

#include "../calibration/CalibrationSession.h"
#include "untErode.h"
#include "untRepair.h"
#include "untResizeFrames.h"

using namespace vc;

namespace {

// Every message as "title: text", without the texts' padding blanks.
Texts Shown(const vt::ScriptedPort& port) {
    Texts t;
    for (const auto& m : port.messages) t.push_back(m.title + ": " + m.text.substr(0, m.text.find_last_not_of(' ') + 1));
    return t;
}

}  // namespace

TEST(RepairCommands, ResizeAsksOnceThenEnlargesEachFrameOrRefusesIt) {
    Session s;
    vt::ScriptedPort& port = s.port;
    vt::WriteBytes(s.dir.file("junk.bmp"), Bytes(30, 'x'));
    const Texts files{s.Frame("a.bmp", 2, {1, 2, 3, 4}), s.dir.file("junk.bmp"), s.Frame("c.bmp", 1, {7, 8, 9}, 24)};
    port.AnswerOpen(files);
    port.AnswerString("x2");  // not a number: factor 2
    RunResizeFrames(s.state, port);
    EXPECT_EQ(port.prompts, Texts{"Scale Factor|Enter a scale factor (1..n) 1 = none|2|digits"});
    EXPECT_EQ(port.statuses, (Texts{"Resizing " + files[0], "Resizing " + files[1], "Resizing " + files[2], "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 3);
    EXPECT_EQ(s.Pixels(files[0]), (Bytes{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
    EXPECT_EQ(s.Pixels(files[2]), (Bytes{7, 8, 9, 7, 8, 9, 7, 8, 9, 7, 8, 9}));

    // 0 is refused before any file; a factor no frame can take, frame by frame.
    const auto before = vt::ReadBytes(files[0]);
    port.AnswerOpen(files);
    port.AnswerString("0");
    RunResizeFrames(s.state, port);
    port.AnswerOpen({files[0], files[2]});
    port.AnswerString("2000000000");
    RunResizeFrames(s.state, port);
    EXPECT_EQ(Shown(port), (Texts{"Error: File error", "Error: The scale factor must be 1 or more.",
                                   "Error: Memory allocation failed", "Error: Memory allocation failed"}));
    EXPECT_EQ(vt::ReadBytes(files[0]), before);
}

TEST(RepairCommands, ErodeAsksPassesAndThresholdAndOnlyRedrawsTheStatus) {
    Session s;
    vt::ScriptedPort& port = s.port;
    const std::string hot = s.Frame("hot.bmp", 3, {30, 30, 30, 30, 45, 30, 30, 30, 30});
    port.AnswerOpen({hot});
    port.AnswerString("1");
    port.AnswerString("");  // threshold 2: 45 is now an outlier
    RunErode(s.state, port);
    EXPECT_EQ(port.prompts, (Texts{"Iterations|Enter number of passes (1..n)|1|digits",
                                   "Threshhold|Enter +/- threshhold (1..n)|20|digits"}));
    EXPECT_EQ(port.statuses, (Texts{"Eroding " + hot, "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 0);
    EXPECT_EQ(s.Pixels(hot), Bytes(9, 30));
}

TEST(RepairCommands, StripCommandsReportRefusedFramesAndFailedWrites) {
    Session s;
    vt::ScriptedPort& port = s.port;
    const std::string small = s.Frame("small.bmp", 20, Bytes(20 * 20, 9)),
                      large = s.Frame("large.bmp", 64, Bytes(64 * 64, 9));
    const auto smallBytes = vt::ReadBytes(small), largeBytes = vt::ReadBytes(large);
    port.AnswerOpen({small});
    RunStripTopAndBottom(s.state, port);
    port.AnswerOpen({small});
    RunStripSides(s.state, port);
    EXPECT_EQ(port.statuses, (Texts{"Stripping " + small, "Idle", "Stripping " + small, "Idle"}));
    // The written frame would be over 4 KB: the write fails and is reported.
    const bool limited = WithSmallFileLimit([&] {
        port.AnswerOpen({large});
        RunVerticalBars(s.state, port);
        port.AnswerOpen({large});
        RunFixEdges(s.state, port);
    });
    if (!limited) GTEST_SKIP() << "the file size limit cannot be lowered here";
    EXPECT_EQ(Shown(port), (Texts{"Error: Improper file type", "Error: Improper file type", "Error: File error",
                                   "Error: File error"}));
    EXPECT_EQ(port.processMessagesCalls, 0);
    EXPECT_EQ(vt::ReadBytes(small), smallBytes);
    EXPECT_EQ(vt::ReadBytes(large), largeBytes);
}
