// The frame every batch command shares, driven through the scripted port. The
// save step's folder memory is in the main window's test.
#include <gtest/gtest.h>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untBatch.h"
#include "untFileNames.h"

using Strings = std::vector<std::string>;

TEST(FileNames, SaveRuleAppendsBmpOnlyWhenNoDotAnywhereAndPathsSplitAtTheLastSlash) {
    // path, as saved, folder, name
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"/data/m42.2024/master", "/data/m42.2024/master", "/data/m42.2024/", "master"},
        {"master", "master.bmp", "", "master"},
        {"/master.", "/master.", "/", "master."},
    };
    for (const auto& [path, saved, folder, name] : cases) {
        EXPECT_EQ(ApplySaveExtension(path), saved);
        EXPECT_EQ(ExtractFilePath(path), folder);
        EXPECT_EQ(ExtractFileName(path), name);
    }
}

// Cancel changes no remembered folder; the open dialog starts in the one
// remembered; messages are let through only once a readable file is done.
// Bad files, refusals and write-back are seen by the calibration, convert
// and command-line tests.
TEST(PerFileSkeleton, CancelRemembersNothingAndMessagesWaitForAReadableFile) {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;
    const auto bad = dir.file("bad.bmp"), c = dir.file("c.bmp");
    vt::WriteBytes(c, vt::BuildBmp({.width = 3, .pixels = {20, 20, 20}, .paletteBGRA = {}}));
    vt::WriteBytes(bad, {'B', 'M', 0, 0});
    state.LastPathOpen = "/before/";
    port.CancelOpen();
    port.AnswerOpen({bad, c});
    TPerFileCommand cmd;
    cmd.verb = "Converting ";
    cmd.processMessages = false;
    cmd.processAfterFile = true;
    EXPECT_FALSE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(state.LastPathOpen, "/before/");
    EXPECT_TRUE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(port.open().initialDirsSeen, (Strings{"/before/", "/before/"}));
    EXPECT_EQ(state.LastPathOpen, dir.path() + "/");
    EXPECT_EQ(port.statuses, (Strings{"Converting " + bad, "Converting " + c, "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 1);
}

TEST(PerFileSkeleton, ReportsEachFileInOrderAndAStopLeavesTheFilesAfterTheOneInHand) {
    vt::TempDir dir;
    Strings files;
    for (int i = 1; i <= 5; ++i) {
        files.push_back(dir.file("f" + std::to_string(i) + ".bmp"));
        vt::WriteBytes(files.back(), vt::BuildBmp({.width = 3, .pixels = {20, 30, 40}, .paletteBGRA = {}}));
    }
    TPerFileCommand cmd;
    cmd.verb = "Inverting ";
    cmd.operation = [](BmpRecord& r) {
        r.pixels[0] = static_cast<uint8_t>(255 - r.pixels[0]);
        return true;
    };
    for (int stopAt : {0, 2}) {
        SCOPED_TRACE(stopAt);
        std::vector<std::vector<uint8_t>> before;
        for (const auto& f : files) before.push_back(vt::ReadBytes(f));
        vt::ScriptedPort port;
        TMainState state;
        if (stopAt) port.stopWhen = [&](const vt::ProgressEvent& e) { return e.done == stopAt; };
        port.AnswerOpen(files);
        EXPECT_TRUE(RunPerFileCommand(state, port, cmd));
        const size_t done = stopAt ? size_t(stopAt) : files.size();
        ASSERT_EQ(port.progress.size(), done);
        for (size_t i = 0; i < done; ++i) {
            EXPECT_EQ(port.progress[i].done, int64_t(i + 1));
            EXPECT_EQ(port.progress[i].total, 5);
            EXPECT_EQ(port.progress[i].what, files[i]);
        }
        EXPECT_EQ(port.LastStatus(), "Idle");
        EXPECT_EQ(port.batch, files);
        EXPECT_EQ(port.written, Strings(files.begin(), files.begin() + long(done)));
        EXPECT_EQ(BatchStopTaken(), stopAt != 0);
        for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(vt::ReadBytes(files[i]) != before[i], i < done) << i;
    }
}
