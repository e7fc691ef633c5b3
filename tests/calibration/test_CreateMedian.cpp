// "Create Median" end to end through the scripted port.
#include <gtest/gtest.h>

#include "CalibrationSession.h"
#include "untBitmap.h"
#include "untMedian.h"

using namespace vc;

TEST(CreateMedian, SavesTheLowerMedianWithTheFirstFramesPalette) {
    Session r;
    Bytes red;
    for (int i = 0; i < 256; ++i) red.insert(red.end(), {0, 0, static_cast<uint8_t>(i), 0});
    const auto a = r.Frame("a.bmp", 2, {10, 100}, 8, Grey(256, 1, true));
    const auto b = r.Frame("b.bmp", 2, {250, 130}, 8, red);  // indices are taken as they are, not as colours
    r.port.AnswerOpen({a, b, r.Frame("c.bmp", 2, {12, 140}), r.Frame("d.bmp", 2, {11, 120})});
    r.port.AnswerSave(r.dir.file("master"));
    CreateMedian(r.state, r.port);

    EXPECT_EQ(r.port.statuses, (Texts{"Loading input files...", "Validating input files...", "Creating median...", "",
                                      "Saving output file...", "Cleaning up...", "Idle"}));
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    RGBQUAD entry{};
    EXPECT_EQ(r.Pixels(r.dir.file("master.bmp"), &entry, 11), (Bytes{11, 120}));  // four frames: the lower middle
    EXPECT_EQ(entry.rgbRed, 244);
    EXPECT_EQ(r.dir.entries().size(), 5u);
}

TEST(CreateMedian, RefusalsShowTheirMessageAndWriteNothing) {
    const Texts refused = {"Loading input files...", "Validating input files...", "Cleaning up...", "Idle"};
    const struct {
        std::vector<int> depths;  // of the frames, as Session::Frames takes them
        std::string message;
        Texts statuses;
    } cases[] = {
        {{8, 8}, "A minimum of three files is required for a median", {"Idle"}},
        {{8, 8, 8, 0}, "All files must be the same size", refused},
        {{8, 24, 8}, "256 color or monochrome bitmaps are reguired.", refused},
    };
    for (const auto& c : cases) {
        Session r;
        r.port.AnswerOpen(r.Frames(c.depths));
        CreateMedian(r.state, r.port);
        EXPECT_EQ(r.Messages(), Texts{"Error: " + c.message});
        EXPECT_EQ(r.port.statuses, c.statuses) << c.message;
        EXPECT_EQ(r.port.save().executed, 0) << c.message;
        EXPECT_TRUE(r.state.FrameList.empty()) << c.message;
        EXPECT_EQ(r.dir.entries().size(), c.depths.size()) << c.message;
    }
}

TEST(CreateMedian, CancelledDialogsAndAnUnloadableFileWriteNothing) {
    Session r;
    r.port.CancelOpen();
    CreateMedian(r.state, r.port);
    EXPECT_EQ(r.port.statuses, Texts{"Idle"});

    // A cancelled save discards the median silently.
    r.port.statuses.clear();
    const Texts frames = {r.Frame("a.bmp", 4, Bytes(12, 1)), r.Frame("b.bmp", 4, Bytes(12, 2))};
    r.port.AnswerOpen({frames[0], frames[1], frames[1]});
    r.port.CancelSave();
    CreateMedian(r.state, r.port);
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.statuses, (Texts{"Loading input files...", "Validating input files...", "Creating median...", "",
                                      "Cleaning up...", "Idle"}));
    EXPECT_EQ(r.dir.entries().size(), 2u);

    // The toolkit's error escapes, with the frames released and the status line as it was.
    vt::WriteBytes(r.dir.file("broken.bmp"), {'B', 'M', 1, 2, 3});
    r.port.AnswerOpen({frames[0], frames[1], r.dir.file("broken.bmp")});
    EXPECT_THROW(CreateMedian(r.state, r.port), EBitmapError);
    EXPECT_TRUE(r.state.FrameList.empty());
    EXPECT_EQ(r.port.LastStatus(), "Loading input files...");
    EXPECT_EQ(r.port.save().executed, 1);
}
