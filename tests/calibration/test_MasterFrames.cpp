// The runs that build a master frame from a series: the lower-median and
// truncated-mean row kernels against the plain rules on random stacks with
// any number of threads, "Create Median" and "Create Flat (Avg)" end to end
// through the scripted port, and the refusals and quiet endings they share.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "CalibrationSession.h"
#include "TestBitmaps.h"
#include "untFlatAvg.h"
#include "untFlatKernel.h"
#include "untMasterFrame.h"
#include "untMedian.h"
#include "untMedianKernel.h"

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
    CombineStackRows(inputs, out, threads, kernel, [&] {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        if (progress) ++*progress;
    });
    return vt::BitmapBytes(out);
}

const struct {
    TStackRowKernel kernel;
    uint8_t (*rule)(Bytes);
} kKernels[] = {{LowerMedianRow, SortAndPick}, {TruncatedMeanRow, SumAndDivide}};

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
        Bytes red;
        for (int i = 0; i < 256; ++i) red.insert(red.end(), {0, 0, static_cast<uint8_t>(i), 0});
        const auto a = r.Frame("a.bmp", 2, {10, 100}, 8, Grey(256, 1, true));
        const auto b = r.Frame("b.bmp", 2, {250, 130}, 8, red);
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.depths));
        Session r;
        r.port.AnswerOpen(r.Frames(c.depths));
        c.run(r.state, r.port, 0);
        const std::string path = c.message[0] == 'f' ? r.dir.path() + "/" : "";
        EXPECT_EQ(r.Messages(), c.message.empty() ? Texts{} : Texts{"Error: " + path + c.message});
        EXPECT_EQ(r.port.statuses, c.statuses);
        EXPECT_EQ(r.port.save().executed, 0);
        EXPECT_TRUE(r.state.FrameList.empty());
        EXPECT_EQ(r.dir.entries().size(), c.depths.size());
    }
}

TEST(MasterFrames, CancelledDialogsAndAnUnloadableFileWriteNothing) {
    Session r;
    r.port.CancelOpen();
    RunCreateMedian(r.state, r.port);
    EXPECT_EQ(r.port.statuses, Texts{"Idle"});

    // A cancelled save discards the result silently.
    r.port.statuses.clear();
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
