// "Create Median": the lower-median kernel against sort-and-pick on random
// stacks, the command end to end through the scripted port, and the refusals
// and quiet endings of both commands that build a master frame from a series.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "CalibrationSession.h"
#include "untBitmap.h"
#include "untFlatAvg.h"
#include "untFlatKernel.h"
#include "untMasterFrame.h"
#include "untMedian.h"
#include "untMedianKernel.h"
#include "untParallelRows.h"

using namespace vc;

namespace {

Bytes NaiveMedian(const std::vector<Bytes>& frames) {
    Bytes out(frames[0].size()), s(frames.size());
    for (size_t p = 0; p < out.size(); ++p) {
        for (size_t i = 0; i < frames.size(); ++i) s[i] = frames[i][p];
        std::sort(s.begin(), s.end());
        out[p] = s[(frames.size() + 1) / 2 - 1];
    }
    return out;
}

// A whole stack through the row kernel, rows shared out as the master-frame
// run shares them; progress counted on the calling thread.
Bytes Stack(TStackRowKernel kernel, const std::vector<Bytes>& frames, int width, int height, unsigned threads,
            int* progress = nullptr) {
    Bytes out(static_cast<size_t>(width) * height, 0xAA);
    const auto caller = std::this_thread::get_id();
    threads = ParallelThreads(threads, height, 0, 0);  // small stacks too
    std::vector<std::vector<const uint8_t*>> rows(threads, std::vector<const uint8_t*>(frames.size()));
    ParallelRows(
        height, threads,
        [&](int y, unsigned worker) {
            for (size_t i = 0; i < frames.size(); ++i) rows[worker][i] = frames[i].data() + static_cast<size_t>(y) * width;
            kernel(rows[worker].data(), frames.size(), out.data() + static_cast<size_t>(y) * width, width);
        },
        [&] {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            if (progress) ++*progress;
        });
    return out;
}
Bytes KernelMedian(const std::vector<Bytes>& frames, int width, int height, unsigned threads, int* progress = nullptr) {
    return Stack(LowerMedianRow, frames, width, height, threads, progress);
}
Bytes KernelMean(const std::vector<Bytes>& frames, int width, int height, unsigned threads, int* progress = nullptr) {
    return Stack(TruncatedMeanRow, frames, width, height, threads, progress);
}

}  // namespace

TEST(LowerMedian, AgreesWithSortAndPickOnRandomStacksWithAnyNumberOfThreads) {
    std::mt19937 rng(12345);
    // Past 255 frames the byte counters give way to wider ones.
    for (size_t n : {1u, 2u, 3u, 4u, 15u, 16u, 33u, 255u, 256u, 300u}) {
        const int width = 1 + static_cast<int>(rng() % 600), height = 1 + static_cast<int>(rng() % 5);
        std::vector<Bytes> frames(n, Bytes(static_cast<size_t>(width) * height));
        // Even counts take few values around 128: many ties, an average taken for
        // the lower middle and a signed order all show. Odd counts take any value.
        const unsigned range = (n % 2) ? 256 : 4;
        for (auto& f : frames)
            for (auto& b : f) b = static_cast<uint8_t>(rng() % range + (range == 4 ? 126 : 0));
        int progress = 0;
        EXPECT_EQ(KernelMedian(frames, width, height, 1, &progress), NaiveMedian(frames)) << n << " x " << width;
        EXPECT_EQ(progress, height);  // once a row, on the calling thread
    }
    // A stack big enough to be shared out; odd sizes so that neither rows nor blocks divide evenly.
    const int width = 1021, height = 257;
    std::vector<Bytes> frames(9, Bytes(static_cast<size_t>(width) * height));
    for (auto& f : frames)
        for (auto& b : f) b = static_cast<uint8_t>(rng());
    const Bytes naive = NaiveMedian(frames);
    for (unsigned threads : {1u, 2u, 5u, 0u}) {
        int progress = 0;  // the calling thread takes part, so a window can repaint
        EXPECT_EQ(KernelMedian(frames, width, height, threads, &progress), naive) << threads;
        EXPECT_GT(progress, 0) << threads;
    }
}

TEST(TruncatedMean, RoundsDownAndAgreesWithTheDoubleRuleOnRandomStacks) {
    EXPECT_EQ(KernelMean({{10}, {11}}, 1, 1, 1), Bytes{10});
    EXPECT_EQ(KernelMean({{10}, {11}, {12}}, 1, 1, 1), Bytes{11});

    std::mt19937 rng(7);
    // Past 257 frames the 16-bit sums give way to wider ones.
    for (size_t n : {1u, 2u, 3u, 32u, 256u, 257u, 258u, 300u}) {
        // 32 frames of 600 x 64 are stack enough for the rows to be shared among threads.
        const int width = n == 32 ? 600 : 1 + static_cast<int>(rng() % 700);
        const int height = n == 32 ? 64 : 1 + static_cast<int>(rng() % 4);
        std::vector<Bytes> frames(n, Bytes(static_cast<size_t>(width) * height));
        // Odd counts and those past 256 hold only 255s, the largest sums; the
        // others random values, every remainder.
        for (auto& f : frames)
            for (auto& v : f) v = n % 2 || n > 256 ? 255 : static_cast<uint8_t>(rng());
        const Bytes one = KernelMean(frames, width, height, 1);
        for (size_t p = 0; p < one.size(); ++p) {
            double sum = 0;
            for (const auto& f : frames) sum += f[p];
            ASSERT_EQ(one[p], static_cast<uint8_t>(sum / static_cast<double>(n))) << n << " frames, pixel " << p;
        }
        int progress = 0;  // the calling thread takes part, so a window can repaint
        EXPECT_EQ(KernelMean(frames, width, height, 3, &progress), one) << n << " frames";
        EXPECT_GT(progress, 0);
    }
}

// Its statuses, and "too few files", are in the main window's test.
TEST(CreateMedian, SavesTheLowerMedianWithTheFirstFramesPalette) {
    Session r;
    Bytes red;
    for (int i = 0; i < 256; ++i) red.insert(red.end(), {0, 0, static_cast<uint8_t>(i), 0});
    const auto a = r.Frame("a.bmp", 2, {10, 100}, 8, Grey(256, 1, true));
    const auto b = r.Frame("b.bmp", 2, {250, 130}, 8, red);  // indices are taken as they are, not as colours
    r.port.AnswerOpen({a, b, r.Frame("c.bmp", 2, {12, 140}), r.Frame("d.bmp", 2, {11, 120})});
    r.port.AnswerSave(r.dir.file("master"));
    RunCreateMedian(r.state, r.port);

    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    RGBQUAD entry{};
    EXPECT_EQ(r.Pixels(r.dir.file("master.bmp"), &entry, 11), (Bytes{11, 120}));  // four frames: the lower middle
    EXPECT_EQ(entry.rgbRed, 244);
    EXPECT_EQ(r.dir.entries().size(), 5u);
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
        {RunCreateFlatAvg, {1, 8}, "f0.bmp has 1 bit per pixel: only 8-bit frames can be averaged into a flat.", refused},
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
    EXPECT_EQ(r.port.save().executed, 1);
}
