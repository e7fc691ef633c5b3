// The calibration runs: the master-frame, dark, correction and prescale row
// kernels against plain rules or worked out by hand, and each command end to
// end through the scripted port, with its refusals and quiet endings.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

#include "CalibrationSession.h"
#include "TestBitmaps.h"
#include "untBatch.h"
#include "untCorrectKernels.h"
#include "untDarkKernels.h"
#include "untDarkSubtract.h"
#include "untFlatAvg.h"
#include "untFlatField.h"
#include "untFlatKernel.h"
#include "untMasterFrame.h"
#include "untMedian.h"
#include "untMedianKernel.h"
#include "untPrescaleFrames.h"
#include "untPrescaleKernels.h"

using namespace vc;

namespace {

// The plain rules, pixel by pixel: sort and take the lower middle; sum,
// divide in double precision and truncate.
uint8_t SortAndPick(Bytes s) {
    std::sort(s.begin(), s.end());
    return s[(s.size() + 1) / 2 - 1];
}
uint8_t SumAndDivide(Bytes s) {
    double sum = 0;
    for (uint8_t v : s) sum += v;
    return static_cast<uint8_t>(sum / static_cast<double>(s.size()));
}

Bytes Naive(uint8_t (*rule)(Bytes), const std::vector<Bytes>& frames) {
    Bytes out(frames[0].size()), s(frames.size());
    for (size_t p = 0; p < out.size(); ++p) {
        for (size_t i = 0; i < frames.size(); ++i) s[i] = frames[i][p];
        out[p] = rule(s);
    }
    return out;
}

// A whole stack through a row kernel as the master-frame run combines it,
// progress counted on the calling thread.
Bytes Stack(TStackRowKernel kernel, const std::vector<Bytes>& frames, int width, int height, unsigned threads,
            int* progress = nullptr) {
    std::vector<TBitmap> bitmaps;
    for (const Bytes& f : frames) bitmaps.push_back(vt::MakeBitmap(width, height, pf8bit, f));
    std::vector<const TBitmap*> inputs;
    for (const TBitmap& b : bitmaps) inputs.push_back(&b);
    TBitmap out = vt::MakeBitmap(width, height, pf8bit, Bytes(frames[0].size(), 0xAA));
    const auto caller = std::this_thread::get_id();
    CombineStackRows(inputs, out, threads, kernel, [&](int) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        if (progress) ++*progress;
        return true;
    });
    return vt::BitmapBytes(out);
}

const struct {
    TStackRowKernel kernel;
    uint8_t (*rule)(Bytes);
} kKernels[] = {{LowerMedianRow, SortAndPick}, {TruncatedMeanRow, SumAndDivide}};

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

// Yes to the question, then the dark and the frames.
void RunDark(Session& r, int mode, const std::string& dark, const Texts& lights) {
    r.port.AnswerMessage(TMsgResult::Yes);
    r.port.AnswerOpen({dark});
    r.port.AnswerOpen(lights);
    r.state.DarkSubtractMode = mode;
    DarkSubtract(r.state, r.port, 2);
}

constexpr int kW = 12;  // the local-mean cases are 12 x 12
size_t At(int x, int y) { return static_cast<size_t>(y * kW + x); }

Bytes Scaled(const Bytes& bytes, double factor, int bpp = 1) {
    auto f = MakeRecord(static_cast<int>(bytes.size()) / bpp, 1, bytes, bpp);
    EXPECT_EQ(ScaleBmpRecord(f.get(), factor), BMP_NO_ERROR);
    return BytesOf(*f);
}

// An 8-bit frame, one row, with a palette that is not the ascending grey ramp.
std::string Frame(Session& r, const std::string& name, const Bytes& pixels) {
    return r.Frame(name, static_cast<int>(pixels.size()), pixels, 8, Grey(256, 1, true));
}

}  // namespace

TEST(StackKernels, AgreeWithThePlainRulesOnRandomStacksWithAnyNumberOfThreads) {
    std::mt19937 rng(12345);
    for (const auto& k : kKernels) {
        // Past 255 frames the median's byte counters give way to wider ones,
        // past 257 the mean's 16-bit sums. Any values; a few values around
        // 128, where ties, an average taken for the lower middle and a signed
        // order would show; only 255s, the largest sums, at least one whole
        // block of them for the vector code.
        for (size_t n : {1u, 2u, 3u, 4u, 15u, 16u, 33u, 255u, 256u, 257u, 258u, 300u})
            for (int fill = 0; fill < 3; ++fill) {
                const int width = (fill == 2 ? 128 : 1) + static_cast<int>(rng() % 600);
                const int height = 1 + static_cast<int>(rng() % 4);
                std::vector<Bytes> frames(n, Bytes(static_cast<size_t>(width) * height));
                for (auto& f : frames)
                    for (auto& v : f) v = fill == 0 ? uint8_t(rng()) : fill == 1 ? uint8_t(126 + rng() % 4) : 255;
                int progress = 0;
                EXPECT_EQ(Stack(k.kernel, frames, width, height, 0, &progress), Naive(k.rule, frames))
                    << n << " frames, fill " << fill;
                EXPECT_EQ(progress, height);  // a small stack stays on the calling thread, a row at a time
            }
        // A stack shared among threads, its rows and blocks not dividing evenly.
        const int width = 1021, height = 257;
        std::vector<Bytes> frames(9, Bytes(static_cast<size_t>(width) * height));
        for (auto& f : frames)
            for (auto& v : f) v = static_cast<uint8_t>(rng());
        const Bytes naive = Naive(k.rule, frames);
        for (unsigned threads : {1u, 2u, 5u, 0u}) {
            int progress = 0;  // the calling thread takes part, so a window can repaint
            EXPECT_EQ(Stack(k.kernel, frames, width, height, threads, &progress), naive) << threads;
            EXPECT_GT(progress, 0) << threads;
        }
    }
}

// Each command saves its result as a new file with the first frame's palette,
// the frames' indices taken as they are, not as colours.
TEST(MasterFrames, SaveWhatTheirKernelMakesWithTheFirstFramesPalette) {
    const struct {
        void (*run)(TMainState&, TUiPort&, unsigned);
        const char *verb, *title;  // the dialog's title after: only the flat clears an earlier one
        Bytes result;              // a file chosen twice counts twice
    } cases[] = {{RunCreateMedian, "Creating median...", "Select Images to correct", {11, 120}},
                 {RunCreateFlatAvg, "Creating flat ...", "", {58, 118}}};
    for (const auto& c : cases) {
        Session r;
        const auto a = r.Frame("a.bmp", 2, {10, 100}, 8, Grey(256, 1, true));
        const auto b = r.Frame("b.bmp", 2, {250, 130}, 8, Grey(256));
        r.port.open().Title = "Select Images to correct";  // left there by an earlier command
        r.port.AnswerOpen({a, b, r.Frame("c.bmp", 2, {12, 140}), r.Frame("d.bmp", 2, {11, 120}), a});
        r.port.AnswerSave(r.dir.file("master"));
        c.run(r.state, r.port, 0);

        EXPECT_EQ(r.port.statuses, (Texts{"Loading input files...", "Validating input files...", c.verb, "",
                                          "Saving output file...", "Cleaning up...", "Idle"}));
        EXPECT_TRUE(r.port.messages.empty());
        EXPECT_EQ(r.port.open().Title, c.title);
        EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
        EXPECT_EQ(FramePixels(r.dir.file("master.bmp")), c.result) << c.verb;
        EXPECT_EQ(PaletteRed(r.dir.file("master.bmp"), 11), 244);
        EXPECT_EQ(r.dir.entries().size(), 5u);  // the inputs are not changed, nothing else is left
    }
}

TEST(MasterFrames, RefusalsAndQuietEndingsWriteNothing) {
    const Texts refused = {"Loading input files...", "Validating input files...", "Cleaning up...", "Idle"};
    const struct {
        void (*run)(TMainState&, TUiPort&, unsigned);
        std::vector<int> depths;  // of the frames, as Session::Frames takes them
        std::string message;      // empty: none
        Texts statuses;
    } cases[] = {
        {RunCreateMedian, {8, 24, 8}, "256 color or monochrome bitmaps are reguired.", refused},
        {RunCreateFlatAvg, {8, 8, 0}, "All files must be the same size", refused},
        {RunCreateFlatAvg, {8, 24}, "256 color or monochrome bitmaps are reguired.", refused},
        {RunCreateFlatAvg, {1, 8}, "f0.bmp has 1 bit per pixel: only 8-bit frames can be averaged into a flat.",
         refused},
        {RunCreateFlatAvg, {8}, "", {"Idle"}},
        {RunCreateMedian, {}, "", {"Idle"}},  // the dialog cancelled
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.depths));
        Session r;
        c.depths.empty() ? r.port.CancelOpen() : r.port.AnswerOpen(r.Frames(c.depths));
        c.run(r.state, r.port, 0);
        const std::string path = c.message[0] == 'f' ? r.dir.path() + "/" : "";
        EXPECT_EQ(r.Messages(), c.message.empty() ? Texts{} : Texts{"Error: " + path + c.message});
        EXPECT_EQ(r.port.statuses, c.statuses);
        EXPECT_EQ(r.port.save().executed, 0);
        EXPECT_TRUE(r.state.FrameList.empty());
        EXPECT_EQ(r.dir.entries().size(), c.depths.size());
    }
}

TEST(MasterFrames, AStopWhileFramesLoadOrRowsCombineWritesNothing) {
    const std::function<bool(const vt::ProgressEvent&)> stops[] = {
        [](const vt::ProgressEvent& e) { return e.what.size() && e.done == 2; },
        [](const vt::ProgressEvent& e) { return e.what.empty() && e.done == 2; },
    };
    for (const auto& stop : stops) {
        Session r;
        const Texts frames = {r.Frame("a.bmp", 4, Bytes(12, 1)), r.Frame("b.bmp", 4, Bytes(12, 2)),
                              r.Frame("c.bmp", 4, Bytes(12, 3))};
        r.port.AnswerOpen(frames);
        r.port.stopWhen = stop;
        RunCreateMedian(r.state, r.port, 1);
        EXPECT_EQ(r.port.save().executed, 0);
        EXPECT_TRUE(r.port.messages.empty());
        EXPECT_EQ(r.port.LastStatus(), "Idle");
        EXPECT_EQ(r.dir.entries().size(), 3u);
        EXPECT_TRUE(BatchStopTaken());
    }
}

TEST(MasterFrames, ACancelledSaveAndAnUnloadableFileWriteNothing) {
    Session r;  // a cancelled save discards the result silently
    const Texts frames = {r.Frame("a.bmp", 4, Bytes(12, 1)), r.Frame("b.bmp", 4, Bytes(12, 2))};
    r.port.AnswerOpen({frames[0], frames[1], frames[1]});
    r.port.CancelSave();
    RunCreateMedian(r.state, r.port);
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.statuses, (Texts{"Loading input files...", "Validating input files...", "Creating median...", "",
                                      "Cleaning up...", "Idle"}));
    EXPECT_EQ(r.dir.entries().size(), 2u);

    // The toolkit's error escapes, with the frames released and the status line as it was.
    vt::WriteBytes(r.dir.file("broken.bmp"), {'B', 'M', 1, 2, 3});
    r.port.AnswerOpen({frames[0], frames[1], r.dir.file("broken.bmp")});
    EXPECT_THROW(RunCreateMedian(r.state, r.port), EBitmapError);
    EXPECT_TRUE(r.state.FrameList.empty());
    EXPECT_EQ(r.port.LastStatus(), "Loading input files...");
}

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

    // Entries 63 and 255 black: 64 levels; with the last entry lit, 256.
    std::vector<RGBQUAD> palette(256, RGBQUAD{});
    int levels = 0;
    EXPECT_EQ(FrameDataType(false, palette.data(), 256, &levels), TFrameDataType::Indexed64);
    EXPECT_EQ(levels, 64);
    palette[255].rgbRed = 1;
    EXPECT_EQ(FrameDataType(false, palette.data(), 256, nullptr), TFrameDataType::Indexed);
    EXPECT_EQ(FrameDataType(false, palette.data(), 1, nullptr), TFrameDataType::Indexed);  // no entry 63 to look at

}

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
    for (int w : {32, 31}) {
        Bytes dark(w * 5, 50), light(w * 5, 150), expected(w * 5, w == 32 ? 90 : 100);
        std::fill(dark.begin() + 4 * w, dark.end(), 100);
        std::fill(light.begin() + 4 * w, light.end(), 125);
        std::fill(expected.begin() + 4 * w, expected.end(), w == 32 ? 5 : 25);
        a = r.Frame("a.bmp", w, light);
        RunDark(r, dsCompensate, r.Frame("d.bmp", w, dark), {a});
        EXPECT_EQ(FramePixels(a), expected) << w;
    }
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
        // Return in the frames dialog, which offers the dark again.
        {{8}, 4, "dark.bmp is the dark frame and cannot be among the frames to correct: nothing was changed."},
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
        if (c.answered == 4) r.port.AnswerOpen({lights[0], dark});
        r.state.DarkSubtractMode = dsNormal;
        DarkSubtract(r.state, r.port);

        Texts shown = {"Warning: This will overwrite your input files - are these copies?"};
        if (!c.message.empty())
            shown.push_back("Error: " + (c.message[0] != 'A' ? r.dir.path() + "/" : "") + c.message);
        EXPECT_EQ(r.Messages(), shown);
        EXPECT_EQ(r.port.open().executed, std::min(c.answered, 2));
        EXPECT_EQ(r.port.LastStatus(), "Idle");
        EXPECT_TRUE(r.state.FrameList.empty());
        EXPECT_EQ(vt::Manifest(r.dir), before);
    }
}

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
    auto a = MakeRecord(kW, kW, Bytes(kW * kW, 248)), b = MakeRecord(kW, kW, Bytes(kW * kW, 248));
    ASSERT_EQ(ApplyMapWithLocalMean(*a, map.data()), BMP_NO_ERROR);
    ApplyDeviationMap(*b, map.data());
    EXPECT_EQ(BytesOf(*a), BytesOf(*b));
}

// Each command titles its dialogs, shows its verb and leaves every frame as
// its kernel makes it over a grey palette.
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
        auto expected = MakeRecord(kW, kW, light);
        c.correct(*expected, *MakeRecord(kW, kW, reference));
        r.port.AnswerOpen({ref});
        r.port.AnswerOpen({f});
        c.run(r.state, r.port);
        EXPECT_EQ(r.port.open().Title, "Select Image Frames");
        EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
        r.port.CancelOpen();  // cancelling the reference leaves the status line alone
        c.run(r.state, r.port);
        EXPECT_EQ(r.port.open().Title, c.title);
        EXPECT_EQ(r.port.open().Options, unsigned(ofFileMustExist));
        EXPECT_EQ(r.port.statuses, (Texts{c.verb + f, "Idle"})) << c.title;
        EXPECT_TRUE(r.port.messages.empty()) << c.title;
        EXPECT_EQ(FramePixels(f), BytesOf(*expected)) << c.title;
        EXPECT_EQ(PaletteRed(f, 200), 200);
        EXPECT_EQ(FramePixels(ref), reference);
    }
}

// A frame the map does not fit is reported; a flat whose mean
// truncates to 0 is refused before any frame is asked for. The gain rule is
// held against numpy in the command-line test.
TEST(CorrectCommands, FlatFieldRefusesMismatchedFramesAndAFlatTooDarkToDivideBy) {
    Session r;
    const auto deeper = r.Frame("deeper.bmp", 4, Bytes(24, 40), 24), junk = r.dir.file("junk.bmp");
    const auto flat = r.Frame("flat.bmp", 4, Bytes(8, 100)), dim = r.Frame("dim.bmp", 4, {0, 0, 0, 3});
    vt::WriteBytes(junk, Bytes(100, 'x'));
    const auto before = vt::Manifest(r.dir);
    r.port.AnswerOpen({flat});
    r.port.AnswerOpen({deeper});
    r.port.AnswerOpen({junk});  // an unreadable flat ends it quietly, as does a cancel after a good one
    r.port.AnswerOpen({flat});
    r.port.CancelOpen();
    r.port.AnswerOpen({dim});
    for (int i = 0; i < 4; ++i) RunFlatField(r.state, r.port);
    EXPECT_EQ(r.Messages(), (Texts{"Error: All files must be the same size",
                                   "Error: The flat field is too dark to divide by: its mean level is 0"}));
    EXPECT_EQ(vt::Manifest(r.dir), before);
    EXPECT_EQ(r.port.open().executed, 6);  // none for frames after the junk or the dim flat
    EXPECT_EQ(r.port.statuses, (Texts{"Flat fielding " + deeper, "Idle", "Idle", "Idle", "Idle"}));
    EXPECT_TRUE(FlatGainUsable(*MakeRecord(4, 1, {0, 0, 0, 0})));  // every gain 1.0 where the flat is black
}

TEST(PrescaleKernels, ScaleRoundsHalfUpAndStretchesStartFromTheBackground) {
    EXPECT_EQ(Scaled({0, 127, 128, 255}, 2.0), (Bytes{0, 254, 255, 255}));
    EXPECT_EQ(Scaled({3, 1, 0, 255}, 1.5), (Bytes{5, 2, 0, 255}));  // 4.5 + 0.5 is exactly 5.0
    // 100 x 1.275 + 0.5 is 127.99999999999999 in double precision: 127, not 128.
    EXPECT_EQ(Scaled({100, 200}, 255.0 / 200), (Bytes{127, 255}));
    // Factors no dialog lets through still give defined bytes.
    EXPECT_EQ(Scaled({0, 9, 255}, -1.0), (Bytes{0, 0, 0}));
    EXPECT_EQ(Scaled({0, 1, 255}, INFINITY), (Bytes{0, 255, 255}));
    EXPECT_EQ(Scaled({10, 20, 30, 40, 50, 60}, 2.0, 3), (Bytes{20, 40, 60, 80, 100, 120}));
    EXPECT_EQ(ScaleBmpRecord(nullptr, 2.0), BMP_BAD_POINTER);
    BmpRecord noPixels;
    EXPECT_EQ(ScaleBmpRecord(&noPixels, 2.0), BMP_BAD_POINTER);

    // The stretches start from the background or leave the frame alone.
    const struct {
        void (*kernel)(BmpRecord*);
        Bytes in, out;
    } cases[] = {
        {StretchWide, {10, 10, 10, 20, 35}, {0, 0, 0, 102, 254}},  // range 25: 255.0 / 25 x 25 < 255
        {StretchWide, {0, 0, 4}, {0, 0, 0}},  // background 0 becomes 4, and range 0 counts as 1
        {StretchWide, {0, 0, 3}, {0, 0, 3}},                       // background 4 over brightest 3
        // Below-mean average 10.6: background trunc(8.6) = 8; scale 255 / 192 is exact.
        {StretchSmartWide, {10, 10, 11, 11, 11, 100, 200}, {2, 2, 3, 3, 3, 122, 255}},
        {StretchSmartWide, {3, 3, 100}, {2, 2, 255}},  // below-mean average 3: 1.0 is raised to 2
        {StretchSmartWide, {7, 7, 7}, {7, 7, 7}},      // nothing below the mean
        {StretchSmartWide, {0, 0, 1}, {0, 0, 1}},      // the mean truncates to 0
    };
    for (const auto& c : cases) {
        auto f = MakeRecord(static_cast<int>(c.in.size()), 1, c.in);
        c.kernel(f.get());
        EXPECT_EQ(BytesOf(*f), c.out) << testing::PrintToString(c.in);
    }
}

TEST(ReadLeadingNumber, ReadsADecimalNumberAtTheStartOnly) {
    const struct {
        const char* text;
        size_t used;
        double value;
    } numbers[] = {{"2.0", 3, 2.0},   {"  +1.5e1x", 8, 15.0}, {"\t-.5", 4, -0.5}, {"2e+", 1, 2.0},
                   {"1.2.3", 3, 1.2}, {"0x10", 1, 0.0},       {"1e999", 5, INFINITY},
                   {"", 0, -7},       {".", 0, -7},           {"inf", 0, -7},     {"e5", 0, -7}};
    for (const auto& n : numbers) {
        double value = -7;
        EXPECT_EQ(ReadLeadingNumber(n.text, &value), n.used) << n.text;
        EXPECT_EQ(value, n.value) << n.text;
    }
}

// The unreadable frame is passed over silently while measuring, then
// reported once; the bytes each mode gives are in the command-line test.
TEST(Prescale, AutoGlobalMeasuresEveryFrameFirstAndScalesAllByOneFactor) {
    Session r;
    const auto a = Frame(r, "a.bmp", {100, 50, 0}), junk = r.dir.file("junk.bmp");
    vt::WriteBytes(junk, Bytes(40, 'x'));
    r.port.AnswerOpen({a, junk});
    PrescaleFrames(r.state, r.port, psGlobal, 0.0);
    EXPECT_EQ(r.port.statuses,
              (Texts{"Reading " + a, "Reading " + junk, "Prescaling " + a, "Prescaling " + junk, "Idle"}));
    EXPECT_EQ(r.Messages(), Texts{std::string("Error: ") + BmpErrorText(BMP_FILE_ERROR)});
    EXPECT_EQ(FramePixels(a), (Bytes{255, 127, 0}));
    EXPECT_EQ(PaletteRed(a, 10), 245);  // the frame's own palette is kept
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
}

// No number at the start of the field leaves 2.0, nothing above 0 runs
// nothing, and Cancel leaves the status line as it was.
TEST(Prescale, ManualTakesTheNumberAtTheStartOfTheFieldOnlyAboveZero) {
    Session r;
    const auto f = Frame(r, "f.bmp", {3, 100});
    for (const char* text : {"0", "-2", "1.5e0x", "abc", "0.5"}) r.port.AnswerPrescale(text);
    r.port.AnswerOpen({f});
    r.port.AnswerOpen({f});
    r.port.CancelOpen();
    for (int i = 0; i < 5; ++i) RunPrescaleManual(r.state, r.port);
    EXPECT_EQ(r.port.prescaleDefaults, Texts(5, "2.0"));
    EXPECT_EQ(FramePixels(f), (Bytes{10, 255}));  // 3 x 1.5 rounds to 5 before it is doubled
    EXPECT_EQ(r.port.statuses, (Texts{"Prescaling " + f, "Idle", "Prescaling " + f, "Idle"}));
}

// Each of the three ways a calibration batch writes reports a write that
// fails, and the frame stays as it was.
TEST(CalibrationBatches, AFailedWriteIsReportedByEachAndLeavesTheFrameAsItWas) {
    Session r;
    Bytes pixels(4004, 35);  // bigger than the file size limit: only its replacement fails
    pixels[0] = 10;
    const auto a = Frame(r, "a.bmp", pixels), flat = Frame(r, "flat.bmp", Bytes(4004, 100));
    const Bytes before = vt::ReadBytes(a);
    const bool limited = vt::WithSmallFileLimit([&] {
        r.port.AnswerOpen({a});
        PrescaleFrames(r.state, r.port, psPerFile, 0.0);
        r.port.AnswerOpen({a});
        RunPrescaleWide(r.state, r.port);
        r.port.AnswerOpen({flat});
        r.port.AnswerOpen({a});
        RunFlatField(r.state, r.port);
    });
    if (!limited) GTEST_SKIP() << "cannot lower the file size limit";
    const std::string failed = std::string("Error: ") + BmpErrorText(BMP_FILE_ERROR);
    EXPECT_EQ(r.Messages(), (Texts{failed, failed, failed}));
    EXPECT_EQ(r.port.statuses,
              (Texts{"Prescaling " + a, "Idle", "Stretching " + a, "Idle", "Flat fielding " + a, "Idle"}));
    EXPECT_EQ(vt::ReadBytes(a), before);
    EXPECT_EQ(r.dir.entries(), (Texts{"a.bmp", "flat.bmp"}));
}
