// "New Normal", "New Map" and "Flat Field": the kernels on tiny frames worked
// out by hand, and the three commands on files through the scripted port.
#include <gtest/gtest.h>

#include "CalibrationSession.h"
#include "untDarkSubtract.h"
#include "untFlatField.h"
#include "untCorrectKernels.h"

using namespace vc;

namespace {

constexpr int kW = 12;  // the local-mean cases are 12 x 12
size_t At(int x, int y) { return static_cast<size_t>(y * kW + x); }

}  // namespace

TEST(CorrectKernels, DeviationMapAndEachRuleOfItsApplication) {
    auto dark = MakeRecord(4, 1, {10, 12, 20, 1});  // mean 43 / 4 truncated to 10
    const auto dev = DeviationMap(*dark);
    EXPECT_EQ(std::vector<double>(dev.get(), dev.get() + 4), (std::vector<double>{0, 2, 10, -9}));

    // maxDev 20, avgDev 36 / 8 = 4.5, threshold 15.5 * 0.66 + 4.5 = 14.73.
    auto light = MakeRecord(8, 1, {50, 60, 3, 40, 252, 250, 100, 7});
    const std::vector<double> map = {20, 20, 3, 3, -5, -5, 0, 0};
    ApplyDeviationMap(*light, map.data());
    // The hot first byte keeps its value; the next hot byte and 3 - 3 (not
    // above 0) take the corrected byte before them; 40 - 3; 252 + 5 and
    // 250 + 5 give 255.
    EXPECT_EQ(BytesOf(*light), (Bytes{50, 50, 50, 37, 255, 255, 100, 7}));

    // Average 0, threshold exactly 66: 66 is hot, 65.5 is subtracted.
    auto edge = MakeRecord(4, 1, {200, 150, 150, 10});
    const std::vector<double> edgeMap = {100, 66, 65.5, -231.5};
    ApplyDeviationMap(*edge, edgeMap.data());
    EXPECT_EQ(BytesOf(*edge), (Bytes{200, 200, 84, 241}));
}

TEST(CorrectKernels, LocalMeanReplacesTheDeviationOfHotPixelsInBrightAreasOnly) {
    Bytes px(kW * kW, 250);
    px[At(4, 5)] = 252;
    px[At(5, 5)] = 255;  // 7 x 7 mean 12264 / 49 = 250: excess 5
    px[At(3, 6)] = 252;  // column 3: its local mean is itself, excess 0 (30 > 25.52)
    px[At(8, 5)] = 255;  // column w - 4: keeps the dark's deviation
    px[At(1, 1)] = 100;
    std::vector<double> map(kW * kW, 0.0);
    map[At(5, 5)] = map[At(8, 5)] = 50;
    map[At(3, 6)] = 30;
    map[At(1, 1)] = 20;
    const std::vector<double> original = map;

    auto light = MakeRecord(kW, kW, px);
    ASSERT_EQ(ApplyMapWithLocalMean(*light, map.data()), BMP_NO_ERROR);
    EXPECT_EQ(map, original);
    Bytes expected = px;  // the copy holds 20, 5, 0 and 50: threshold 33.18
    expected[At(1, 1)] = 80;
    expected[At(5, 5)] = expected[At(8, 5)] = 250;
    EXPECT_EQ(BytesOf(*light), expected);

    // A local mean of 248 is not bright: exactly the plain correction.
    Bytes dim(kW * kW, 248);
    dim[At(4, 5)] = 246;
    dim[At(5, 5)] = 250;
    auto a = MakeRecord(kW, kW, dim), b = MakeRecord(kW, kW, dim);
    ASSERT_EQ(ApplyMapWithLocalMean(*a, map.data()), BMP_NO_ERROR);
    ApplyDeviationMap(*b, map.data());
    EXPECT_EQ(BytesOf(*a), BytesOf(*b));
}

// Each command titles its dialogs, shows its verb and leaves every frame as
// its kernel makes it over a grey palette; cancels and an unreadable
// reference end it without a message.
TEST(CorrectCommands, EachRunsItsDialogsAndLeavesWhatItsMapMakes) {
    const struct {
        void (*run)(TMainState&, TUiPort&);
        const char *title, *verb;
        void (*correct)(BmpRecord& light, const BmpRecord& reference);
    } cases[] = {
        {RunDarkSubtractNewNormal, "Select Dark Frame", "Dark correcting ",
         [](BmpRecord& l, const BmpRecord& d) { ApplyDeviationMap(l, DeviationMap(d).get()); }},
        {RunDarkSubtractNewMap, "Select Dark Frame", "Dark correcting ",
         [](BmpRecord& l, const BmpRecord& d) { (void)ApplyMapWithLocalMean(l, DeviationMap(d).get()); }},
        {RunFlatField, "Select Flat Field", "Flat fielding ",
         [](BmpRecord& l, const BmpRecord& f) { DivideByGainMap(l, FlatGainMap(f).get()); }},
    };
    Bytes reference(kW * kW, 10), light(kW * kW, 250);  // a hot pixel in a bright area and one in a dark one
    reference[At(5, 5)] = 60, reference[At(1, 1)] = 30;
    light[At(4, 5)] = 252, light[At(5, 5)] = 255, light[At(1, 1)] = 100;
    for (const auto& c : cases) {
        Session r;
        const auto ref = r.Frame("ref.bmp", kW, reference), f = r.Frame("f.bmp", kW, light, 8, Grey(256, 1, true));
        vt::WriteBytes(r.dir.file("junk.bmp"), Bytes(100, 'x'));
        auto expected = MakeRecord(kW, kW, light);
        c.correct(*expected, *MakeRecord(kW, kW, reference));
        r.port.AnswerOpen({r.dir.file("junk.bmp")});
        r.port.AnswerOpen({ref});
        r.port.CancelOpen();
        r.port.AnswerOpen({ref});
        r.port.AnswerOpen({f});
        for (int i = 0; i < 3; ++i) c.run(r.state, r.port);
        EXPECT_EQ(r.port.open().executed, 5) << c.title;  // none for frames after the unreadable reference
        EXPECT_EQ(r.port.open().Title, "Select Image Frames");
        EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
        r.port.CancelOpen();  // the first cancel leaves the status line alone
        c.run(r.state, r.port);
        EXPECT_EQ(r.port.open().Title, c.title);
        EXPECT_EQ(r.port.open().Options, unsigned(ofFileMustExist));
        EXPECT_EQ(r.port.statuses, (Texts{"Idle", "Idle", c.verb + f, "Idle"})) << c.title;
        EXPECT_TRUE(r.port.messages.empty()) << c.title;
        EXPECT_NE(BytesOf(*expected), light) << c.title;
        EXPECT_EQ(FramePixels(f), BytesOf(*expected)) << c.title;
        EXPECT_EQ(PaletteRed(f, 200), 200);
        EXPECT_EQ(FramePixels(ref), reference);
    }
}

// Frames the map does not fit are reported one by one; a flat whose mean
// truncates to 0 is refused before any frame is asked for. The gain rule is
// held against numpy in the command-line test.
TEST(CorrectCommands, FlatFieldRefusesMismatchedFramesAndAFlatTooDarkToDivideBy) {
    Session r;
    const Texts bad = {r.Frame("wider.bmp", 5, Bytes(10, 40)), r.Frame("deeper.bmp", 4, Bytes(24, 40), 24)};
    const auto flat = r.Frame("flat.bmp", 4, Bytes(8, 100)), dim = r.Frame("dim.bmp", 4, {0, 0, 0, 3});
    const auto before = vt::Manifest(r.dir);
    r.port.AnswerOpen({flat});
    r.port.AnswerOpen(bad);
    RunFlatField(r.state, r.port);
    r.port.AnswerOpen({dim});
    RunFlatField(r.state, r.port);
    EXPECT_EQ(r.Messages(), (Texts{"Error: All files must be the same size", "Error: All files must be the same size",
                                   "Error: The flat field is too dark to divide by: its mean level is 0"}));
    EXPECT_EQ(vt::Manifest(r.dir), before);
    EXPECT_EQ(r.port.open().executed, 3);
    EXPECT_EQ(r.port.LastStatus(), "Idle");
    EXPECT_TRUE(FlatGainUsable(*MakeRecord(4, 1, {0, 0, 0, 0})));  // every gain 1.0 where the flat is black
}
