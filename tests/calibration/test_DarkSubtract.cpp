// "Dark Subtract": the row kernels worked out by hand and against the plain
// rule for every byte pair, and the three modes on files through the
// scripted port.
#include <gtest/gtest.h>

#include <algorithm>

#include "CalibrationSession.h"
#include "untDarkKernels.h"
#include "untDarkSubtract.h"

using namespace vc;

namespace {

Bytes Sub8(Bytes dark, Bytes light, int highest = 255, double factor = 1.0, THotPixelRule hot = {}) {
    SubtractRow8(dark.data(), light.data(), highest, factor, static_cast<int>(light.size()), hot);
    return light;
}

Bytes Sub24(Bytes dark, Bytes light, int offset) {
    SubtractRow24(dark.data(), light.data(), offset, static_cast<int>(light.size() / 3));
    return light;
}

// Every (dark, light) pair once, and a few more bytes for the tail after the wide path.
void AllPairs(Bytes& dark, Bytes& light, size_t n) {
    dark.resize(n);
    light.resize(n);
    for (size_t i = 0; i < n; ++i) dark[i] = static_cast<uint8_t>(i >> 8), light[i] = static_cast<uint8_t>(i);
}

}  // namespace

TEST(DarkKernels, PalettisedAndTwentyFourBitRules) {
    EXPECT_EQ(Sub8({10, 10}, {50, 50}, 255, 1.25), (Bytes{38, 38}));  // 37.5 stores 38
    EXPECT_EQ(Sub8({10}, {50}, 255, 1.26), Bytes{37});                 // 37.4 stores 37
    EXPECT_EQ(Sub8({10, 200}, {250, 100}, 199, 0.5), (Bytes{199, 0}));
    // 64 levels, in every mode: d' = min(factor x d, 63), and no hot pixels.
    EXPECT_EQ(Sub8({40, 61}, {10, 30}, 63, 2.0, {true, 20}), (Bytes{10, 30}));
    // Map Hot Pixels, MapLevel 20: a dark above 60 copies the value just written (20 in
    // column 0); a light of 251 or more is averaged with it (kept in column 0).
    const THotPixelRule hot{true, 20};
    EXPECT_EQ(Sub8({61, 61, 10, 61, 60}, {200, 200, 50, 90, 101}, 255, 1.0, hot), (Bytes{20, 20, 40, 40, 41}));
    EXPECT_EQ(Sub8({30, 30, 30, 0}, {251, 30, 255, 252}, 255, 1.0, hot), (Bytes{251, 0, 127, 189}));

    // Factor 1.0 takes a whole-byte path: it must give the double-precision rule for every pair.
    Bytes dark, light;
    AllPairs(dark, light, 65536 + 7);
    for (int highest : {255, 199}) {
        const Bytes got = Sub8(dark, light, highest);
        for (size_t i = 0; i < got.size(); ++i) {
            const double r = std::clamp(light[i] - dark[i] * 1.0 + 0.5, 0.0, static_cast<double>(highest));
            ASSERT_EQ(got[i], static_cast<uint8_t>(r)) << int(dark[i]) << " from " << int(light[i]);
        }
    }

    // 24-bit: the dark plus an offset, clamped, subtracted without rounding.
    EXPECT_EQ(Sub24({5, 0, 9}, {100, 100, 100}, -5), (Bytes{100, 100, 96}));  // the short rows' path
    AllPairs(dark, light, 3 * 21846);
    for (int offset : {1, 0, -5, 255, 300, -300}) {  // offsets are not clamped by the callers
        const Bytes got = Sub24(dark, light, offset);
        for (size_t i = 0; i < got.size(); ++i) {
            const int d = std::max(255 - dark[i] < offset ? 255 : dark[i] + offset, 0);
            ASSERT_EQ(got[i], d > light[i] ? 0 : light[i] - d) << "offset " << offset << " byte " << i;
        }
    }
}

TEST(DarkKernels, CompensationSamplesAndFrameDataType) {
    // Sorted, positions 14 and 15 hold 20 and 18, 16 and 17 hold 100 and 95.
    Bytes dark(32), light(32);
    for (int i = 0; i < 32; ++i) dark[31 - i] = i < 16 ? 20 : 100, light[i] = i < 16 ? 18 : 95;
    EXPECT_DOUBLE_EQ(CompensationFactor8(dark.data(), light.data()), 0.925);
    EXPECT_DOUBLE_EQ(CompensationFactor8(dark.data(), dark.data()), 1.0);  // not above 1.0: kept
    // Dark zeros in the middle are left out; with none left the factor is 1.0.
    for (int i = 0; i < 32; ++i) dark[i] = i < 15 ? 0 : 10;
    light.assign(32, 20);
    EXPECT_DOUBLE_EQ(CompensationFactor8(dark.data(), light.data()), 2.0 * 0.96);
    EXPECT_DOUBLE_EQ(CompensationFactor8(Bytes(32, 0).data(), light.data()), 1.0);

    Bytes dark24(96, 250), light24(96, 250);  // blue and red are not sampled
    for (int i = 0; i < 32; ++i) dark24[3 * i + 1] = 40, light24[3 * i + 1] = 35;
    dark24[1] = 0, light24[4] = 255;  // the lowest and highest green are dropped
    EXPECT_EQ(CompensationOffset24(dark24.data(), light24.data()), -5);

    // 64 levels, then black entries; with the last entry lit, 256 levels.
    std::vector<RGBQUAD> ramp64(256, RGBQUAD{}), lit;
    for (int i = 1; i < 63; ++i) ramp64[i].rgbRed = static_cast<uint8_t>(4 * i);
    lit = ramp64;
    lit[255].rgbRed = 1;
    auto type = [](const std::vector<RGBQUAD>& palette, size_t entries) {
        int levels = -1;
        const auto t = FrameDataType(false, palette.data(), entries, &levels);
        return std::pair(t, levels);
    };
    EXPECT_EQ(type(ramp64, 256), std::pair(TFrameDataType::Indexed64, 64));
    EXPECT_EQ(type(lit, 256), std::pair(TFrameDataType::Indexed, 256));
    EXPECT_EQ(type(ramp64, 1), std::pair(TFrameDataType::Indexed, 1));  // no entry 63 to look at
}

namespace {

// Yes to the question, then the dark and the frames.
void RunDark(Session& r, int mode, const std::string& dark, const Texts& lights) {
    r.port.AnswerMessage(TMsgResult::Yes);
    r.port.AnswerOpen({dark});
    r.port.AnswerOpen(lights);
    r.state.DarkSubtractMode = mode;
    DarkSubtract(r.state, r.port, 2);
}

}  // namespace

TEST(DarkSubtract, NormalAsksFirstThenSubtractsAndSavesEachFrameWithItsOwnPalette) {
    Session r;
    const auto dark = r.Frame("dark.bmp", 3, {10, 60, 0, 1, 2, 3});
    const auto a = r.Frame("a.bmp", 3, {50, 50, 255, 1, 1, 1}, 8, Grey(256, 1, true));
    const auto b = r.Frame("b.bmp", 3, {11, 12, 13, 14, 15, 16});
    RunDark(r, dsNormal, dark, {a, b});

    EXPECT_EQ(r.Messages(), Texts{"Warning: This will overwrite your input files - are these copies?"});
    EXPECT_EQ(r.port.messages.at(0).buttons, TMsgButtons::YesNo);
    EXPECT_EQ(r.port.statuses, (Texts{"Loading dark frame...", "Loading image frame: " + a, "Loading image frame: " + b,
                                      "Validating input files...", "Subtracting " + a, "Subtracting " + b, "Idle"}));
    EXPECT_EQ(r.port.open().Title, "Select Images to correct");
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect));
    EXPECT_EQ(r.state.DarkFileName, dark);

    EXPECT_EQ(FramePixels(a), (Bytes{40, 0, 255, 0, 0, 0}));
    EXPECT_EQ(PaletteRed(a, 0), 255);  // a different palette of the same kind is kept
    EXPECT_EQ(FramePixels(dark), (Bytes{10, 60, 0, 1, 2, 3}));
}

TEST(DarkSubtract, TheModeAndTheDarksKindChooseTheRule) {
    Session r;
    // 24-bit: no hot-pixel rule, offset 1, and the frame stays 24-bit.
    auto a = r.Frame("a.bmp", 2, {50, 60, 70, 200, 200, 200}, 24);
    RunDark(r, dsMapHotPixels, r.Frame("d24.bmp", 2, {10, 10, 10, 255, 255, 255}, 24), {a});
    EXPECT_EQ(FramePixels(a), (Bytes{39, 49, 59, 0, 0, 0}));

    // A dark of 64 palette entries makes a 256-entry light a 64-level frame.
    a = r.Frame("a.bmp", 2, {50, 10});
    RunDark(r, dsNormal, r.Frame("d64.bmp", 2, {10, 50}, 8, Grey(64, 4)), {a});
    EXPECT_EQ(FramePixels(a), (Bytes{63, 23}));

    // Map Hot Pixels measures the dark: mean 147 / 9 = 16, so 61 is hot and 30 is not.
    a = r.Frame("a.bmp", 3, {100, 100, 100, 50, 200, 90, 100, 100, 100});
    RunDark(r, dsMapHotPixels, r.Frame("d.bmp", 3, {8, 8, 8, 8, 61, 8, 8, 8, 30}), {a});
    EXPECT_EQ(r.state.MapLevel, 16);
    EXPECT_EQ(FramePixels(a), (Bytes{92, 92, 92, 42, 42, 82, 92, 92, 70}));

    // Compensate weighs the dark by row 4 of both (125 / 100: factor 1.2); a
    // frame 31 pixels wide has no sample and takes factor 1.0.
    Bytes dark(32 * 5, 50), light(32 * 5, 150), expected(32 * 5, 90);
    std::fill(dark.begin() + 4 * 32, dark.end(), 100);
    std::fill(light.begin() + 4 * 32, light.end(), 125);
    std::fill(expected.begin() + 4 * 32, expected.end(), 5);
    a = r.Frame("a.bmp", 32, light);
    const auto narrow = r.Frame("n.bmp", 31, Bytes(31 * 5, 125));
    RunDark(r, dsCompensate, r.Frame("d32.bmp", 32, dark), {a});
    RunDark(r, dsCompensate, r.Frame("d31.bmp", 31, Bytes(31 * 5, 100)), {narrow});
    EXPECT_EQ(FramePixels(a), expected);
    EXPECT_EQ(FramePixels(narrow), Bytes(31 * 5, 25));
    EXPECT_EQ(r.port.messages.size(), 5u);  // the questions only
}

TEST(DarkSubtract, EveryWayOutEndsIdleWithNothingWritten) {
    const struct {
        std::vector<int> depths;  // of the frames, as Session::Frames takes them
        int answered;             // 0: No to the question, 1: dark dialog cancelled, 2: frames dialog cancelled
        std::string message;      // besides the question
    } cases[] = {
        {{8}, 1, ""},  // answered No is in the command-line test
        {{8}, 2, ""},  // a size that differs is in the command-line test
        {{8, 24}, 3, "All files must be of the same data type"},
        {{8, 4}, 3, "f1.bmp has 4 bits per pixel: only 8-bit palettised and 24-bit frames can be dark subtracted."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.answered) + c.message);
        Session r;
        const Texts lights = r.Frames(c.depths);
        const auto dark = r.Frame("dark.bmp", 8, Bytes(16, 5));
        const auto before = vt::Manifest(r.dir);
        r.port.AnswerMessage(c.answered ? TMsgResult::Yes : TMsgResult::No);
        if (c.answered == 1) r.port.CancelOpen();
        if (c.answered >= 2) r.port.AnswerOpen({dark});
        if (c.answered == 2) r.port.CancelOpen();
        if (c.answered == 3) r.port.AnswerOpen(lights);
        r.state.DarkSubtractMode = dsNormal;
        DarkSubtract(r.state, r.port);

        Texts shown = {"Warning: This will overwrite your input files - are these copies?"};
        if (!c.message.empty()) shown.push_back("Error: " + (c.message[0] == 'f' ? r.dir.path() + "/" : "") + c.message);
        EXPECT_EQ(r.Messages(), shown);
        EXPECT_EQ(r.port.open().executed, std::min(c.answered, 2));
        EXPECT_EQ(r.port.LastStatus(), "Idle");
        EXPECT_TRUE(r.state.FrameList.empty());
        EXPECT_EQ(vt::Manifest(r.dir), before);
    }
}
