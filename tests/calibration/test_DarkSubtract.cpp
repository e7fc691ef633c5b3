#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untBitmap.h"
#include "untDarkKernels.h"
#include "untDarkSubtract.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Sub8(Bytes dark, Bytes light, int highest = 255, double factor = 1.0, THotPixelRule hot = {}) {
    SubtractRow8(dark.data(), light.data(), highest, factor, static_cast<int>(light.size()), hot);
    return light;
}

Bytes Sub24(Bytes dark, Bytes light, int offset) {
    SubtractRow24(dark.data(), light.data(), offset, static_cast<int>(light.size() / 3));
    return light;
}

// Every (dark, light) pair once: dark = i >> 8, light = i & 255.
void AllPairs(Bytes& dark, Bytes& light, size_t n) {
    dark.resize(n);
    light.resize(n);
    for (size_t i = 0; i < n; ++i) dark[i] = static_cast<uint8_t>(i >> 8), light[i] = static_cast<uint8_t>(i);
}

}  // namespace

TEST(DarkKernels, PalettisedRule) {
    EXPECT_EQ(Sub8({10, 60, 0}, {50, 50, 255}), (Bytes{40, 0, 255}));
    EXPECT_EQ(Sub8({10, 10}, {50, 50}, 255, 1.25), (Bytes{38, 38}));  // 37.5 stores 38
    EXPECT_EQ(Sub8({10}, {50}, 255, 1.26), Bytes{37});                 // 37.4 stores 37
    EXPECT_EQ(Sub8({10, 200}, {250, 100}, 199, 0.5), (Bytes{199, 0}));
    // 64 levels, in every mode: d' = min(factor x d, 63).
    EXPECT_EQ(Sub8({10, 50, 70}, {50, 10, 5}, 63), (Bytes{63, 23, 5}));
    EXPECT_EQ(Sub8({40, 61}, {10, 30}, 63, 2.0, {true, 20}), (Bytes{10, 30}));  // no hot pixels here
    // Map Hot Pixels, MapLevel 20: a dark above 60 copies the value just written (20 in
    // column 0); a light of 251 or more is averaged with it (kept in column 0).
    const THotPixelRule hot{true, 20};
    EXPECT_EQ(Sub8({61, 61, 10, 61, 60}, {200, 200, 50, 90, 100}, 255, 1.0, hot), (Bytes{20, 20, 40, 40, 40}));
    EXPECT_EQ(Sub8({30, 30, 30, 0}, {251, 30, 255, 252}, 255, 1.0, hot), (Bytes{251, 0, 127, 189}));

    // Factor 1.0 takes a whole-byte path: it must give the double-precision rule for every pair.
    Bytes dark, light;
    AllPairs(dark, light, 65536 + 7);
    for (int highest : {255, 199, 0}) {
        const Bytes got = Sub8(dark, light, highest);
        for (size_t i = 0; i < got.size(); ++i) {
            const double r = std::clamp(light[i] - dark[i] * 1.0 + 0.5, 0.0, static_cast<double>(highest));
            ASSERT_EQ(got[i], static_cast<uint8_t>(r)) << int(dark[i]) << " from " << int(light[i]);
        }
    }
}

TEST(DarkKernels, TwentyFourBitRule) {
    EXPECT_EQ(Sub24({10, 255, 0}, {50, 200, 1}, 1), (Bytes{39, 0, 0}));
    EXPECT_EQ(Sub24({5, 0, 9}, {100, 100, 100}, -5), (Bytes{100, 100, 96}));
    EXPECT_EQ(Sub24({0, 100, 255}, {255, 255, 255}, 300), (Bytes{0, 0, 0}));  // unclamped offsets
    EXPECT_EQ(Sub24({0, 100, 255}, {7, 7, 7}, -300), (Bytes{7, 7, 7}));
    Bytes dark, light;
    AllPairs(dark, light, 3 * 21846);
    for (int offset : {1, 0, -5, 37, 255, -255}) {
        const Bytes got = Sub24(dark, light, offset);
        for (size_t i = 0; i < got.size(); ++i) {
            const int d = std::max(255 - dark[i] < offset ? 255 : dark[i] + offset, 0);
            ASSERT_EQ(got[i], d > light[i] ? 0 : light[i] - d) << "offset " << offset << " byte " << i;
        }
    }
}

TEST(DarkKernels, CompensationSamples) {
    // Sorted, positions 14 and 15 hold 20 (dark), 16 and 17 hold 100.
    Bytes dark(32), light(32);
    for (int i = 0; i < 32; ++i) dark[31 - i] = i < 16 ? 20 : 100;
    for (int i = 0; i < 32; ++i) light[i] = i < 16 ? 18 : 90;
    EXPECT_DOUBLE_EQ(CompensationFactor8(dark.data(), light.data()), 0.9);
    for (int i = 0; i < 32; ++i) light[i] = static_cast<uint8_t>(dark[i] * 5 / 4);
    EXPECT_DOUBLE_EQ(CompensationFactor8(dark.data(), light.data()), 1.2);
    // Dark zeros in the middle are left out; with none left the factor is 1.0.
    for (int i = 0; i < 32; ++i) dark[i] = i < 15 ? 0 : 10;
    light.assign(32, 20);
    EXPECT_DOUBLE_EQ(CompensationFactor8(dark.data(), light.data()), 2.0 * 0.96);
    EXPECT_DOUBLE_EQ(CompensationFactor8(Bytes(32, 0).data(), light.data()), 1.0);

    Bytes dark24(96, 250), light24(96, 250);  // blue and red are not sampled
    for (int i = 0; i < 32; ++i) dark24[3 * i + 1] = 40, light24[3 * i + 1] = 35;
    dark24[1] = 0, light24[4] = 255;  // the lowest and highest green are dropped
    EXPECT_EQ(CompensationOffset24(dark24.data(), light24.data()), -5);
}

TEST(DarkKernels, FrameDataType) {
    auto type = [](std::vector<RGBQUAD> palette, int expectedLevels) {
        int levels = -1;
        const auto t = FrameDataType(false, palette.data(), palette.size(), &levels);
        EXPECT_EQ(levels, expectedLevels);
        return t;
    };
    int levels = 0;
    EXPECT_EQ(FrameDataType(true, nullptr, 0, &levels), TFrameDataType::Rgb24);
    EXPECT_EQ(levels, 16777216);
    EXPECT_EQ(type(GreyRamp(256), 256), TFrameDataType::Indexed);
    EXPECT_EQ(type(GreyRamp(64), 64), TFrameDataType::Indexed);  // 64 levels all the same
    std::vector<RGBQUAD> ramp64(256, RGBQUAD{0, 0, 0, 0});       // 64 greys, then black entries
    for (int i = 1; i < 63; ++i) ramp64[i] = RGBQUAD{0, 0, static_cast<uint8_t>(4 * i), 0};
    EXPECT_EQ(type(ramp64, 64), TFrameDataType::Indexed64);
    EXPECT_EQ(type(std::vector<RGBQUAD>(40), 40), TFrameDataType::Indexed);  // no entry 63
}

namespace {

struct DarkRun {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;

    std::string Frame(const std::string& name, int w, Bytes pixels, int bits = 8, Bytes palette = {}) {
        vt::BmpLayout s;
        s.width = w;
        s.height = static_cast<int>(pixels.size() / static_cast<size_t>((w * bits + 7) / 8));
        s.bitCount = bits;
        s.pixels = std::move(pixels);
        s.paletteBGRA = std::move(palette);
        vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
        return dir.file(name);
    }
    // Yes to the question, then the dark and the frames.
    void Run(int mode, const std::string& dark, const std::vector<std::string>& lights) {
        port.AnswerMessage(TMsgResult::Yes);
        port.AnswerOpen({dark});
        port.AnswerOpen(lights);
        state.DarkSubtractMode = mode;
        DarkSubtract(state, port, 2);
    }
    static Bytes Pixels(const std::string& path, TBitmap* keep = nullptr) {
        TBitmap b;
        b.LoadFromFile(path);
        Bytes v;
        for (int y = 0; y < b.Height(); ++y) v.insert(v.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
        if (keep) *keep = b;
        return v;
    }
};

Bytes Grey(int entries, int step, bool inverted = false) {
    Bytes p;
    for (int i = 0; i < entries; ++i) {
        const auto g = static_cast<uint8_t>(inverted ? 255 - i * step : i * step);
        p.insert(p.end(), {g, g, g, 0});
    }
    return p;
}

}  // namespace

TEST(DarkSubtract, NormalAsksFirstThenSubtractsAndSavesEachFrameWithItsOwnPalette) {
    DarkRun r;
    const auto dark = r.Frame("dark.bmp", 3, {10, 60, 0, 1, 2, 3});
    const auto a = r.Frame("a.bmp", 3, {50, 50, 255, 1, 1, 1}, 8, Grey(256, 1, true));
    const auto b = r.Frame("b.bmp", 3, {11, 12, 13, 14, 15, 16});
    r.state.LastPathOpen = "/start/";
    r.Run(dsNormal, dark, {a, b});

    ASSERT_EQ(r.port.messages.size(), 1u);
    EXPECT_EQ(r.port.messages[0].text, "This will overwrite your input files - are these copies?");
    EXPECT_EQ(r.port.messages[0].title, "Warning");
    EXPECT_EQ(r.port.messages[0].buttons, TMsgButtons::YesNo);
    EXPECT_EQ(r.port.statuses, (std::vector<std::string>{"Loading dark frame...", "Loading image frame: " + a,
                                                         "Loading image frame: " + b, "Validating input files...",
                                                         "Subtracting " + a, "Subtracting " + b, "Idle"}));
    EXPECT_EQ(r.port.open().Title, "Select Images to correct");
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect));
    EXPECT_EQ(r.port.open().initialDirsSeen, (std::vector<std::string>{"/start/", r.dir.path() + "/"}));
    EXPECT_EQ(r.state.DarkFileName, dark);
    EXPECT_TRUE(r.state.FrameList.empty());
    EXPECT_GE(r.port.processMessagesCalls, 4);  // once a row

    TBitmap saved;
    EXPECT_EQ(DarkRun::Pixels(a, &saved), (Bytes{40, 0, 255, 0, 0, 0}));
    EXPECT_EQ(saved.Palette()[0].rgbRed, 255);  // a different palette of the same kind is kept
    EXPECT_EQ(DarkRun::Pixels(b), (Bytes{1, 0, 13, 13, 13, 13}));
    EXPECT_EQ(DarkRun::Pixels(dark), (Bytes{10, 60, 0, 1, 2, 3}));
}

TEST(DarkSubtract, TheModeAndTheDarksKindChooseTheRule) {
    DarkRun r;
    TBitmap saved;
    // 24-bit: no hot-pixel rule, offset 1, and the frame stays 24-bit.
    auto a = r.Frame("a.bmp", 2, {50, 60, 70, 200, 200, 200}, 24);
    r.Run(dsMapHotPixels, r.Frame("d24.bmp", 2, {10, 10, 10, 255, 255, 255}, 24), {a});
    EXPECT_EQ(DarkRun::Pixels(a, &saved), (Bytes{39, 49, 59, 0, 0, 0}));
    EXPECT_EQ(saved.PixelFormat(), pf24bit);

    // A dark of 64 palette entries makes a 256-entry light a 64-level frame.
    a = r.Frame("a.bmp", 2, {50, 10});
    r.Run(dsNormal, r.Frame("d64.bmp", 2, {10, 50}, 8, Grey(64, 4)), {a});
    EXPECT_EQ(DarkRun::Pixels(a), (Bytes{63, 23}));

    // Map Hot Pixels measures the dark: mean 147 / 9 = 16, so 61 is hot and 30 is not.
    a = r.Frame("a.bmp", 3, {100, 100, 100, 50, 200, 90, 100, 100, 100});
    r.Run(dsMapHotPixels, r.Frame("d.bmp", 3, {8, 8, 8, 8, 61, 8, 8, 8, 30}), {a});
    EXPECT_EQ(r.state.MapLevel, 16);
    EXPECT_EQ(DarkRun::Pixels(a), (Bytes{92, 92, 92, 42, 42, 82, 92, 92, 70}));

    // Compensate weighs the dark by row 4 (125 / 100: factor 1.2); a frame 31
    // pixels wide has no sample and takes factor 1.0.
    Bytes light(32 * 5, 150);
    std::fill(light.begin() + 4 * 32, light.end(), 125);
    a = r.Frame("a.bmp", 32, light);
    const auto narrow = r.Frame("n.bmp", 31, Bytes(31 * 5, 125));
    r.Run(dsCompensate, r.Frame("d32.bmp", 32, Bytes(32 * 5, 100)), {a});
    r.Run(dsCompensate, r.Frame("d31.bmp", 31, Bytes(31 * 5, 100)), {narrow});
    Bytes expected(32 * 5, 30);
    std::fill(expected.begin() + 4 * 32, expected.end(), 5);
    EXPECT_EQ(DarkRun::Pixels(a), expected);
    EXPECT_EQ(DarkRun::Pixels(narrow), Bytes(31 * 5, 25));
    EXPECT_EQ(r.port.messages.size(), 5u);  // the questions only
}

TEST(DarkSubtract, EveryWayOutEndsIdleWithNothingWritten) {
    struct Case {
        const char* why;
        std::vector<int> lights;  // bits per pixel of each frame; 0 stands for an 8-bit frame of another width
        std::string message;      // besides the question; empty: none
        int answered = 3;         // 0: No to the question, 1: dark dialog cancelled, 2: frames dialog cancelled
    };
    const std::vector<Case> cases = {
        {"answered no", {8}, "", 0},
        {"dark dialog cancelled", {8}, "", 1},
        {"frames dialog cancelled", {8}, "", 2},
        {"sizes differ", {8, 0, 8}, "All files must be of the same size"},
        {"kinds differ", {8, 24}, "All files must be of the same data type"},
        {"a 4-bit frame", {8, 4},
         "f1.bmp has 4 bits per pixel: only 8-bit palettised and 24-bit frames can be dark subtracted."},
    };
    for (const auto& c : cases) {
        DarkRun r;
        const auto dark = r.Frame("dark.bmp", 4, Bytes(8, 5));
        std::vector<std::string> lights;
        std::vector<Bytes> before;
        for (size_t i = 0; i < c.lights.size(); ++i) {
            const int bits = c.lights[i] ? c.lights[i] : 8, w = c.lights[i] ? 4 : 5;
            const Bytes pixels(static_cast<size_t>((w * bits + 7) / 8) * 2, 9);
            const Bytes palette = bits == 4 ? Grey(16, 17) : Bytes{};
            lights.push_back(r.Frame("f" + std::to_string(i) + ".bmp", w, pixels, bits, palette));
            before.push_back(vt::ReadBytes(lights.back()));
        }
        r.port.AnswerMessage(c.answered ? TMsgResult::Yes : TMsgResult::No);
        if (c.answered >= 1) c.answered == 1 ? r.port.CancelOpen() : r.port.AnswerOpen({dark});
        if (c.answered >= 2) c.answered == 2 ? r.port.CancelOpen() : r.port.AnswerOpen(lights);
        r.state.DarkSubtractMode = dsNormal;
        DarkSubtract(r.state, r.port);

        EXPECT_EQ(r.port.open().executed, std::min(c.answered, 2)) << c.why;
        ASSERT_EQ(r.port.messages.size(), c.message.empty() ? 1u : 2u) << c.why;
        if (!c.message.empty()) {
            const std::string& text = r.port.messages[1].text;
            EXPECT_EQ(text.substr(text.find_last_of('/') + 1), c.message) << c.why;
            EXPECT_EQ(r.port.messages[1].title, "Error") << c.why;
        }
        EXPECT_EQ(r.port.LastStatus(), "Idle") << c.why;
        EXPECT_TRUE(r.state.FrameList.empty()) << c.why;
        for (size_t i = 0; i < lights.size(); ++i) EXPECT_EQ(vt::ReadBytes(lights[i]), before[i]) << c.why;
    }
}
