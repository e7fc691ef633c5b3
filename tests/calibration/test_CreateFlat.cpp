// "Create Flat (Avg)": the truncated-mean kernel against the double rule, and
// the command end to end through the scripted port. Its refusals share the
// table of "Create Median", which runs the same way.
#include <gtest/gtest.h>

#include "CalibrationSession.h"
#include "untFlatAvg.h"

using namespace vc;

TEST(CreateFlat, AveragesTheFramesIntoANewFileWithTheFirstFramesPalette) {
    Session r;
    const auto a = r.Frame("a.bmp", 2, {10, 0}, 8, Grey(256, 1, true));
    const auto b = r.Frame("b.bmp", 2, {11, 255});
    r.port.open().Title = "Select Images to correct";  // left there by an earlier command
    r.port.AnswerOpen({a, b, a});                       // a file chosen twice counts twice
    r.port.AnswerSave(r.dir.file("flat"));
    RunCreateFlatAvg(r.state, r.port);

    EXPECT_EQ(r.port.statuses, (Texts{"Loading input files...", "Validating input files...", "Creating flat ...", "",
                                      "Saving output file...", "Cleaning up...", "Idle"}));
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.open().Title, "");
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    RGBQUAD entry{};
    EXPECT_EQ(r.Pixels(r.dir.file("flat.bmp"), &entry, 10), (Bytes{10, 85}));
    EXPECT_EQ(entry.rgbRed, 245);
    EXPECT_EQ(r.dir.entries().size(), 3u);  // the inputs are not changed, nothing else is left
}
