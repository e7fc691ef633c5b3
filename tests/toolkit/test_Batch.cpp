// The frame every batch command shares, driven through the scripted port. The
// save step's folder memory is in the main window's test.
#include <gtest/gtest.h>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untBatch.h"
#include "untFileNames.h"

using Strings = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

TEST(FileNames, SaveRuleAppendsBmpOnlyWhenNoDotAnywhereAndPathsSplitAtTheLastSlash) {
    // path, as saved, folder, name
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"/data/master", "/data/master.bmp", "/data/", "master"},
        {"/data/m42.2024/master", "/data/m42.2024/master", "/data/m42.2024/", "master"},
        {"/data/master.dark", "/data/master.dark", "/data/", "master.dark"},
        {"master", "master.bmp", "", "master"},
        {"/master.", "/master.", "/", "master."},
    };
    for (const auto& [path, saved, folder, name] : cases) {
        EXPECT_EQ(ApplySaveExtension(path), saved);
        EXPECT_EQ(ExtractFilePath(path), folder);
        EXPECT_EQ(ExtractFileName(path), name);
    }
}

// A bad file is reported and the next one done; a refused operation writes
// nothing, whatever it changed in memory; Cancel ends the command at once.
TEST(PerFileSkeleton, ABadFileOrARefusalWritesNothingAndTheNextFileIsDone) {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;
    const auto a = dir.file("a.bmp"), bad = dir.file("bad.bmp"), c = dir.file("c.bmp");
    vt::WriteBytes(a, vt::BuildBmp({.width = 3, .pixels = {10, 10, 10}, .paletteBGRA = {}}));
    vt::WriteBytes(c, vt::BuildBmp({.width = 3, .pixels = {20, 20, 20}, .paletteBGRA = {}}));
    vt::WriteBytes(bad, {'B', 'M', 0, 0});
    state.LastPathOpen = "/before/";
    port.CancelOpen();
    port.AnswerOpen({a, bad, c});
    TPerFileCommand cmd;
    cmd.verb = "Converting ";
    cmd.operation = [&](BmpRecord& rec) {
        for (size_t i = 0; i < BmpPixelBytes(rec); ++i) rec.pixels[i] += 1;
        return rec.fileName != a;  // a is changed in memory, then refused
    };
    EXPECT_FALSE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(state.LastPathOpen, "/before/");  // Cancel changes no remembered folder
    const auto before = vt::ReadBytes(a);
    EXPECT_TRUE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(port.open().initialDirsSeen, (Strings{"/before/", "/before/"}));
    EXPECT_EQ(state.LastPathOpen, dir.path() + "/");
    EXPECT_EQ(vt::ReadBytes(a), before);
    const auto written = vt::ReadBytes(c);  // ends with its one row: three values and a pad byte
    EXPECT_EQ(Bytes(written.end() - 4, written.end()), (Bytes{21, 21, 21, 0}));
    EXPECT_EQ(vt::ReadBytes(bad).size(), 4u);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].text, BmpErrorText(BMP_FILE_ERROR));
    EXPECT_EQ(port.messages[0].title, "Error");
    EXPECT_EQ(port.statuses, (Strings{"Converting " + a, "Converting " + bad, "Converting " + c, "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 3);

    // The other way: messages let through only once a file that could be read is done.
    port.statuses.clear();
    port.AnswerOpen({bad, c});
    cmd.processMessages = false;
    cmd.processAfterFile = true;
    EXPECT_TRUE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(port.statuses, (Strings{"Converting " + bad, "Converting " + c, "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 4);
}
