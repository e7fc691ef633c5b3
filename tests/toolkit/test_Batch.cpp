// The frame every batch command shares, driven through the scripted port.
#include <gtest/gtest.h>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untBatch.h"
#include "untFileNames.h"

using Strings = std::vector<std::string>;

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

TEST(BatchFrame, StepsGoOnOnlyOnOkOrYesAndRememberTheChosenFolder) {
    vt::ScriptedPort port;
    TMainState state;
    state.LastPathOpen = "/before/";
    state.LastPathSave = "/saves/";
    port.CancelOpen();
    port.AnswerOpen({"/one/a.bmp", "/two/b.bmp"});
    EXPECT_FALSE(OpenFilesStep(state, port, ofFileMustExist));
    EXPECT_EQ(state.LastPathOpen, "/before/");
    EXPECT_TRUE(OpenFilesStep(state, port, ofAllowMultiSelect | ofFileMustExist));
    EXPECT_EQ(port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    EXPECT_EQ(port.open().initialDirsSeen, (Strings{"/before/", "/before/"}));
    EXPECT_EQ(state.LastPathOpen, "/one/");

    port.CancelSave();
    port.AnswerSave("/elsewhere/out");
    EXPECT_FALSE(SaveFileStep(state, port, "x.bmp"));
    EXPECT_EQ(port.save().FileName, "x.bmp");
    EXPECT_EQ(state.LastPathSave, "/saves/");
    EXPECT_TRUE(SaveFileStep(state, port, ""));
    EXPECT_EQ(port.save().initialDirsSeen, (Strings{"/saves/", "/saves/"}));
    EXPECT_EQ(state.LastPathSave, "/elsewhere/");

    port.AnswerMessage(TMsgResult::No);
    port.AnswerMessage(TMsgResult::Yes);
    EXPECT_FALSE(ConfirmOverwrite(port));
    EXPECT_TRUE(ConfirmOverwrite(port));
    ASSERT_EQ(port.messages.size(), 2u);
    EXPECT_EQ(port.messages[0].text, "This will overwrite your input files - are these copies?");
    EXPECT_EQ(port.messages[0].title, "Warning");
    EXPECT_EQ(port.messages[0].buttons, TMsgButtons::YesNo);
}

static std::string Frame(const vt::TempDir& dir, const std::string& name, uint8_t value) {
    vt::BmpLayout s;
    s.width = 3;
    s.pixels.assign(3, value);
    vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
    return dir.file(name);
}

TEST(PerFileSkeleton, ReportsABadFileAndGoesOnWithTheNext) {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;
    const auto a = Frame(dir, "a.bmp", 10), bad = dir.file("bad.bmp"), c = Frame(dir, "c.bmp", 20);
    vt::WriteBytes(bad, {'B', 'M', 0, 0});
    port.CancelOpen();  // ends with "Idle" too
    port.AnswerOpen({a, bad, c});
    TPerFileCommand cmd;
    cmd.verb = "Converting ";
    cmd.operation = [](BmpRecord& rec) {
        for (size_t i = 0; i < BmpPixelBytes(rec); ++i) rec.pixels[i] += 1;
        return true;
    };
    EXPECT_FALSE(RunPerFileCommand(state, port, cmd));
    EXPECT_TRUE(RunPerFileCommand(state, port, cmd));
    const auto written = vt::ReadBytes(c);  // ends with its one row: three values and a pad byte
    EXPECT_EQ(std::vector<uint8_t>(written.end() - 4, written.end()), (std::vector<uint8_t>{21, 21, 21, 0}));
    EXPECT_EQ(vt::ReadBytes(bad).size(), 4u);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].text, BmpErrorText(BMP_FILE_ERROR));
    EXPECT_EQ(port.messages[0].title, "Error");
    EXPECT_EQ(port.statuses, (Strings{"Idle", "Converting " + a, "Converting " + bad, "Converting " + c, "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 3);
}

TEST(PerFileSkeleton, AFailedOperationWritesNothingAndStatusCanFollowTheRead) {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;
    const auto a = Frame(dir, "a.bmp", 10);
    const auto before = vt::ReadBytes(a);
    port.CancelOpen();
    port.AnswerOpen({dir.file("missing.bmp"), a});
    TPerFileCommand cmd;
    cmd.verb = "Stripping ";
    cmd.statusAfterRead = true;
    cmd.processMessages = false;
    cmd.idleOnCancel = false;
    cmd.operation = [](BmpRecord& rec) {
        rec.pixels[0] = 99;  // changed in memory, then refused
        return false;
    };
    EXPECT_FALSE(RunPerFileCommand(state, port, cmd));
    EXPECT_TRUE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(vt::ReadBytes(a), before);
    // No status on Cancel, and none for the missing file: it failed before the read finished.
    EXPECT_EQ(port.statuses, (Strings{"Stripping " + a, "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 0);
    EXPECT_EQ(port.messages.size(), 1u);
}
