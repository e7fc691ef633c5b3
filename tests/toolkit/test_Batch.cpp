#include <gtest/gtest.h>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untBatch.h"
#include "untFileNames.h"

TEST(FileNames, SaveRuleAppendsBmpOnlyWhenNoDotAnywhere) {
    EXPECT_EQ(ApplySaveExtension("/data/master"), "/data/master.bmp");
    EXPECT_EQ(ApplySaveExtension("/data/master.dark"), "/data/master.dark");
    EXPECT_EQ(ApplySaveExtension("/data/m42.2024/master"), "/data/m42.2024/master");
    EXPECT_EQ(ApplySaveExtension("master"), "master.bmp");
    EXPECT_EQ(ApplySaveExtension("master."), "master.");
}

TEST(FileNames, FolderAndNameParts) {
    EXPECT_EQ(ExtractFilePath("/a/b/c.bmp"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("c.bmp"), "");
    EXPECT_EQ(ExtractFilePath("/c.bmp"), "/");
    EXPECT_EQ(ExtractFileName("/a/b.d/c.bmp"), "c.bmp");
    EXPECT_EQ(ExtractFileName("c.bmp"), "c.bmp");
}

TEST(BatchFrame, OpenStepRemembersTheFirstFilesFolderOnlyOnOk) {
    vt::ScriptedPort port;
    TMainState state;
    state.LastPathOpen = "/before/";
    port.CancelOpen();
    EXPECT_FALSE(OpenFilesStep(state, port, ofFileMustExist));
    EXPECT_EQ(state.LastPathOpen, "/before/");
    EXPECT_EQ(port.open().Options, unsigned(ofFileMustExist));

    port.AnswerOpen({"/one/a.bmp", "/two/b.bmp"});
    EXPECT_TRUE(OpenFilesStep(state, port, ofAllowMultiSelect | ofFileMustExist));
    EXPECT_EQ(port.open().initialDirsSeen, (std::vector<std::string>{"/before/", "/before/"}));
    EXPECT_EQ(state.LastPathOpen, "/one/");
    EXPECT_EQ(port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
}

TEST(BatchFrame, SaveStepStartsInTheSaveFolderWithTheDefaultName) {
    vt::ScriptedPort port;
    TMainState state;
    state.LastPathSave = "/saves/";
    port.CancelSave();
    EXPECT_FALSE(SaveFileStep(state, port, "x.bmp"));
    EXPECT_EQ(state.LastPathSave, "/saves/");
    EXPECT_EQ(port.save().FileName, "x.bmp");
    port.AnswerSave("/elsewhere/out");
    EXPECT_TRUE(SaveFileStep(state, port, ""));
    EXPECT_EQ(state.LastPathSave, "/elsewhere/");
}

TEST(BatchFrame, OverwriteQuestionGoesOnOnlyOnYes) {
    vt::ScriptedPort port;
    port.AnswerMessage(TMsgResult::No);
    EXPECT_FALSE(ConfirmOverwrite(port));
    port.AnswerMessage(TMsgResult::Yes);
    EXPECT_TRUE(ConfirmOverwrite(port));
    ASSERT_EQ(port.messages.size(), 2u);
    EXPECT_EQ(port.messages[0].text, "This will overwrite your input files - are these copies?");
    EXPECT_EQ(port.messages[0].title, "Warning");
    EXPECT_EQ(port.messages[0].buttons, TMsgButtons::YesNo);
}

namespace {

std::string Frame(const vt::TempDir& dir, const std::string& name, uint8_t value) {
    vt::BmpLayout s;
    s.width = 3;
    s.height = 2;
    s.pixels.assign(6, value);
    vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
    return dir.file(name);
}

}  // namespace

TEST(PerFileSkeleton, ReportsABadFileAndGoesOnWithTheNext) {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;
    const auto a = Frame(dir, "a.bmp", 10);
    vt::WriteBytes(dir.file("bad.bmp"), {'B', 'M', 0, 0});
    const auto c = Frame(dir, "c.bmp", 20);
    port.AnswerOpen({a, dir.file("bad.bmp"), c});

    std::vector<std::string> seen;
    TPerFileCommand cmd;
    cmd.verb = "Converting ";
    cmd.operation = [&](BmpRecord& rec) {
        seen.push_back(rec.fileName);
        for (size_t i = 0; i < BmpPixelBytes(rec); ++i) rec.pixels[i] += 1;
        return true;
    };
    EXPECT_TRUE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(seen, (std::vector<std::string>{a, c}));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].text, BmpErrorText(BMP_FILE_ERROR));
    EXPECT_EQ(port.messages[0].title, "Error");
    EXPECT_EQ(port.statuses, (std::vector<std::string>{"Converting " + a, "Converting " + dir.file("bad.bmp"),
                                                      "Converting " + c, "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 3);
    // Written back: every value went up by one, the bad file is untouched.
    BmpRecord rec;
    rec.fileName = c;
    ASSERT_EQ(ReadBmpFile(&rec), BMP_NO_ERROR);
    EXPECT_EQ(rec.pixels[5], 21);
    FreeBmpBuffers(rec);
    EXPECT_EQ(vt::ReadBytes(dir.file("bad.bmp")).size(), 4u);
}

TEST(PerFileSkeleton, AFailedOperationWritesNothingAndStatusCanFollowTheRead) {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;
    const auto a = Frame(dir, "a.bmp", 10);
    const auto before = vt::ReadBytes(a);
    port.AnswerOpen({dir.file("missing.bmp"), a});
    TPerFileCommand cmd;
    cmd.verb = "Stripping ";
    cmd.statusAfterRead = true;
    cmd.processMessages = false;
    cmd.operation = [&](BmpRecord& rec) {
        rec.pixels[0] = 99;
        port.MessageBox("nope", "Warning", TMsgButtons::Ok);
        return false;
    };
    RunPerFileCommand(state, port, cmd);
    EXPECT_EQ(vt::ReadBytes(a), before);
    // The missing file never got its status line: it failed before the read finished.
    EXPECT_EQ(port.statuses, (std::vector<std::string>{"Stripping " + a, "Idle"}));
    EXPECT_EQ(port.processMessagesCalls, 0);
    ASSERT_EQ(port.messages.size(), 2u);
    EXPECT_EQ(port.messages[0].title, "Error");
    EXPECT_EQ(port.messages[1].text, "nope");
}

TEST(PerFileSkeleton, CancelSetsIdleUnlessTheCommandLeavesTheStatusAlone) {
    vt::ScriptedPort port;
    TMainState state;
    TPerFileCommand cmd;
    port.CancelOpen();
    EXPECT_FALSE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(port.statuses, std::vector<std::string>{"Idle"});
    cmd.idleOnCancel = false;
    port.CancelOpen();
    EXPECT_FALSE(RunPerFileCommand(state, port, cmd));
    EXPECT_EQ(port.statuses.size(), 1u);
}
