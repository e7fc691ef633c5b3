// The per-file conversion and repair commands end to end through the
// scripted port: what each asks, how it reports progress, and that the frame
// on disk ends as its kernel, given the answers, leaves it.
#include <gtest/gtest.h>

#include "../calibration/CalibrationSession.h"
#include "untConvert.h"
#include "untConvertKernels.h"
#include "untErode.h"
#include "untRepair.h"
#include "untRepairKernels.h"
#include "untResizeFrames.h"

using namespace vc;

TEST(ConvertCommands, EachAsksItsQuestionsOnceAndLeavesWhatItsKernelMakes) {
    const char* const factor = "Scale Factor|Enter a scale factor (1..n) 1 = none|2|digits";
    const struct {
        void (*run)(TMainState&, TUiPort&);
        Texts answers, prompts;
        std::string verb;
        long redraws;
        uint32_t (*kernel)(BmpRecord*);  // what the answers must amount to
    } cases[] = {
        {RunResizeFrames, {"x2"}, {factor}, "Resizing ", 1, [](BmpRecord* r) { return EnlargeFrame(r, 2); }},
        {RunErode, {"1", ""}, {"Iterations|Enter number of passes (1..n)|1|digits",
                               "Threshhold|Enter +/- threshhold (1..n)|20|digits"},
         "Eroding ", 0, [](BmpRecord* r) { return ErodeFrame(r, 1, 2); }},
        {RunStripTopAndBottom, {}, {}, "Stripping ", 0, StripTopBottom},
        {RunStripSides, {}, {}, "Stripping ", 0, StripSides},
        {RunVerticalBars, {}, {}, "Stripping ", 0, FixVerticalBars},
        {RunFixEdges, {}, {}, "Stripping ", 0, FixFrameEdges},
        {RunToGrayscale, {}, {}, "Converting ", 1, [](BmpRecord* r) { return ConvertToGrayscale(r); }},
    };
    for (const auto& c : cases) {
        Session s;
        Bytes busy(27 * 33);  // just big enough for both cuts, dark at the top, every kernel has work
        for (size_t i = 0; i < busy.size(); ++i) busy[i] = static_cast<uint8_t>(i < 27 ? 3 : i * 37 % 200 + 20);
        const std::string f = s.Frame("f.bmp", 27, busy, 8, Grey(256, 1, true));
        BmpRecord r;
        r.fileName = f;
        ASSERT_EQ(ReadBmpFile(&r), BMP_NO_ERROR);
        ASSERT_EQ(c.kernel(&r), BMP_NO_ERROR);
        const Bytes expected = BytesOf(r);
        FreeBmpBuffers(r);
        EXPECT_NE(expected, busy) << c.verb;

        for (const auto& a : c.answers) s.port.AnswerString(a);
        s.port.AnswerOpen({f});
        c.run(s.state, s.port);
        EXPECT_EQ(s.port.prompts, c.prompts) << c.verb;
        EXPECT_EQ(s.port.statuses, (Texts{c.verb + f, "Idle"}));
        EXPECT_EQ(s.port.processMessagesCalls, c.redraws) << c.verb;
        EXPECT_TRUE(s.port.messages.empty()) << c.verb;
        EXPECT_EQ(FramePixels(f), expected) << c.verb;
    }
}

// A factor below 1 ends Resize before any frame; a frame its kernel refuses
// is reported and left as it was. A failed write is in the calibration test.
TEST(ConvertCommands, RefusalsLeaveEveryFrameAsItWas) {
    Session s;
    const std::string small = s.Frame("small.bmp", 20, Bytes(20 * 20, 9));
    const auto smallBytes = vt::ReadBytes(small);
    s.port.AnswerOpen({small});
    s.port.AnswerString("0");
    RunResizeFrames(s.state, s.port);
    s.port.AnswerOpen({small});
    RunStripSides(s.state, s.port);
    const auto error = [](uint32_t code) { return "Error: " + std::string(BmpErrorText(code)); };
    EXPECT_EQ(s.Messages(), (Texts{"Error: The scale factor must be 1 or more.", error(BMP_IMPROPER_TYPE)}));
    EXPECT_EQ(s.port.statuses, (Texts{"Stripping " + small, "Idle"}));
    EXPECT_EQ(vt::ReadBytes(small), smallBytes);
}
