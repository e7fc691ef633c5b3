// "Convert" and "Repair": the grey conversion and the repair kernels on small
// records worked out by hand, and the per-file commands, "To FITS" and
// "Rename" end to end through the scripted port in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>

#include "../calibration/CalibrationSession.h"
#include "untConvert.h"
#include "untConvertKernels.h"
#include "untErode.h"
#include "untRename.h"
#include "untRepair.h"
#include "untRepairKernels.h"
#include "untResizeFrames.h"

using namespace vc;

namespace {

// One-byte files holding their index (renaming never reads them).
Texts Touch(const vt::TempDir& dir, const Texts& names) {
    Texts paths;
    for (const auto& n : names) {
        vt::WriteBytes(dir.file(n), Bytes{uint8_t(paths.size())});
        paths.push_back(dir.file(n));
    }
    return paths;
}

// A w x h frame of one value with the pixels at {x, y} set to v.
Bytes Plane(int w, int h, uint8_t background, std::initializer_list<std::array<int, 3>> spots = {}) {
    Bytes p(static_cast<size_t>(w * h), background);
    for (const auto& [x, y, v] : spots) p[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(v);
    return p;
}

// Runs kernel on a frame of in, w pixels wide, and expects out.
void ExpectKernel(uint32_t (*kernel)(BmpRecord*), int w, const Bytes& in, const Bytes& out) {
    auto f = MakeRecord(w, static_cast<int>(in.size()) / w, in);
    ASSERT_EQ(kernel(f.get()), BMP_NO_ERROR);
    EXPECT_EQ(BytesOf(*f), out);
}

}  // namespace

TEST(ConvertToGrayscale, TakesPaletteRedOrPixelBlueAndLeavesAGreyRamp) {
    Record grey = MakeRecord(4, 1, {0, 128, 255, 1});
    grey->palette[1] = {10, 20, 200, 0};  // blue, green, red: a colour entry gives its red
    grey->palette[5].rgbReserved = 9;
    grey->infoHeader->biClrUsed = 17;
    EXPECT_EQ(ConvertToGrayscale(grey.get()), BMP_NO_ERROR);
    EXPECT_EQ(BytesOf(*grey), (Bytes{0, 128, 255, 200}));
    EXPECT_EQ(grey->infoHeader->biClrUsed, 0u);
    const auto* palette = reinterpret_cast<const uint8_t*>(grey->palette);
    EXPECT_EQ(Bytes(palette, palette + 1024), Grey(256));  // a grey ramp

    grey->infoHeader->biBitCount = 16;  // a colour frame's blue bytes are in the command-line test
    EXPECT_EQ(ConvertToGrayscale(grey.get()), BMP_IMPROPER_TYPE);
}

TEST(ToFits, WritesBesideEachFrameAndRefusesColourFrames) {
    Session s;
    ASSERT_EQ(mkdir(s.dir.file("m42.2024").c_str(), 0755), 0);
    const std::string grey = s.Frame("m42.2024/f.v2.bmp", 3, {1, 2, 3, 4, 5, 6});
    const std::string colour = s.Frame("colour.bmp", 1, {1, 2, 3}, 24);
    const std::string named = s.Frame("named.fts", 1, {9});  // a bitmap already named as its FITS copy
    const auto before = std::pair(vt::ReadBytes(grey), vt::ReadBytes(named));
    s.port.AnswerOpen({grey, colour, named});
    RunToFits(s.state, s.port);

    EXPECT_EQ(s.Messages(), (Texts{"Error: " + std::string(BmpErrorText(BMP_IMPROPER_TYPE)),
                                   "Error: Cannot write " + named + ": it is the frame being converted."}));
    EXPECT_EQ(vt::ReadBytes(s.dir.file("m42.2024/f.fts")).size(), 5760u);
    EXPECT_EQ(std::pair(vt::ReadBytes(grey), vt::ReadBytes(named)), before);
    EXPECT_EQ(s.dir.entries(), (Texts{"colour.bmp", "m42.2024", "named.fts"}));
}

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
        Record r;
        ASSERT_EQ(r.Read(f), BMP_NO_ERROR);
        ASSERT_EQ(c.kernel(r.get()), BMP_NO_ERROR);
        const Bytes expected = BytesOf(*r);

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
    EXPECT_EQ(s.Messages(), (Texts{"Error: The scale factor must be 1 or more.",
                                   "Error: " + std::string(BmpErrorText(BMP_IMPROPER_TYPE))}));
    EXPECT_EQ(s.port.statuses, (Texts{"Stripping " + small, "Idle"}));
    EXPECT_EQ(vt::ReadBytes(small), smallBytes);
}

TEST(Rename, GivesRootNumberAndExtensionAndReportsATakenOrRefusedName) {
    Session s;
    ASSERT_EQ(mkdir(s.dir.file("m42.2024").c_str(), 0755), 0);
    Texts files = Touch(s.dir, {"m42.2024/b.bmp", "m42.2024/a.v2.bmp", "m42.2024/c"});
    s.port.CancelOpen();  // no dialog, no status
    s.port.AnswerOpen(files);
    s.port.AnswerRename("m42", false);
    for (int i = 0; i < 2; ++i) RunRename(s.state, s.port);
    EXPECT_EQ(s.port.statuses, (Texts{"Renaming " + files[0], "Renaming " + files[1], "Renaming " + files[2], "Idle"}));
    EXPECT_EQ(vt::ReadBytes(s.dir.file("m42.2024/m421.bmp")), Bytes{0});  // list order, not name order
    EXPECT_EQ(vt::ReadBytes(s.dir.file("m42.2024/m422.v2.bmp")), Bytes{1});
    EXPECT_EQ(vt::ReadBytes(s.dir.file("m42.2024/m423")), Bytes{2});

    // x would become 1.bmp, which its own series holds until the next step;
    // a folder counts as taken; a root with a separator is refused.
    files = Touch(s.dir, {"x.bmp", "1.bmp", "y.bmp", "z.bmp"});
    ASSERT_EQ(mkdir(s.dir.file("3.bmp").c_str(), 0755), 0);
    s.port.AnswerOpen({files[0], files[1], files[2]});
    s.port.AnswerRename("", false);
    RunRename(s.state, s.port);
    s.port.AnswerOpen({files[3]});
    s.port.AnswerRename("gone/m", false);
    RunRename(s.state, s.port);
    EXPECT_EQ(s.Messages(), (Texts{"Error: File [1.bmp] exists.", "Error: File [3.bmp] exists.",
                                   "Error: The root of the new names cannot hold a \"/\": gone/m"}));
    EXPECT_EQ(s.dir.entries(), (Texts{"2.bmp", "3.bmp", "m42.2024", "x.bmp", "y.bmp", "z.bmp"}));
    EXPECT_EQ(vt::ReadBytes(s.dir.file("2.bmp")), Bytes{1});
    EXPECT_EQ(s.port.renameAsked, 3);
}

TEST(Rename, PaddedWithAThousandFilesIsRefusedBeforeAnyRename) {
    Session s;
    Texts files(1000);
    for (size_t i = 0; i < files.size(); ++i) files[i] = "f" + std::to_string(i) + ".bmp";
    files = Touch(s.dir, files);
    const Texts before = s.dir.entries();
    s.port.AnswerOpen(files);
    s.port.AnswerRename("m", true);
    RunRename(s.state, s.port);
    EXPECT_EQ(s.Messages(), Texts{"Error: Too many files! Must be less than 1000."});
    EXPECT_EQ(s.port.statuses, Texts{"Renaming " + files[0]});  // not set back to "Idle"
    EXPECT_EQ(s.dir.entries(), before);

}

TEST(RepairKernels, EnlargeErodeAndStripRefuseOrLeaveWhatTheyCannotWork) {
    // Below 1, or beyond 32-bit header fields (width, height, a 2 GiB
    // array), is refused before allocating, the frame untouched.
    const std::tuple<int, int, int32_t, uint32_t> cases[] = {{3, 2, 0, BMP_IMPROPER_TYPE},
                                                             {70000, 1, 40000, BMP_NO_MEMORY},
                                                             {1, 3, INT32_MAX, BMP_NO_MEMORY},
                                                             {300, 200, 200, BMP_NO_MEMORY}};
    for (const auto& [w, h, factor, status] : cases) {
        auto f = MakeRecord(w, h, Bytes(static_cast<size_t>(w * h), 9));
        EXPECT_EQ(EnlargeFrame(f.get(), factor), status) << factor;
        EXPECT_EQ(std::tuple(f->infoHeader->biWidth, f->infoHeader->biHeight, f->status), std::tuple(w, h, status));
        EXPECT_EQ(BytesOf(*f), Bytes(static_cast<size_t>(w * h), 9));
    }
    // Each erosion pass works on the whole result of the one before.
    const Bytes cluster = Plane(6, 6, 30, {{2, 2, 250}, {3, 2, 250}, {2, 3, 250}, {3, 3, 250}});
    auto once = MakeRecord(6, 6, cluster), twice = MakeRecord(6, 6, cluster);
    for (int pass = 0; pass < 2; ++pass) ASSERT_EQ(ErodeFrame(once.get(), 1, 20), BMP_NO_ERROR);
    ASSERT_EQ(ErodeFrame(twice.get(), 2, 20), BMP_NO_ERROR);
    EXPECT_EQ(BytesOf(*twice), BytesOf(*once));
    EXPECT_NE(BytesOf(*twice), cluster);
    // 31 among 30s: threshold 0 replaces any difference, 1 lets it stand, a
    // negative one replaces every pixel; extreme ones must not overflow.
    // 45 stays within 20, 9 does not.
    const std::tuple<int, int32_t, int> centres[] = {
        {31, 0, 30}, {31, 1, 31}, {31, INT32_MAX, 31}, {31, INT32_MIN, 30}, {45, 20, 45}, {9, 20, 30}};
    for (const auto& [centre, threshold, result] : centres) {
        auto f = MakeRecord(3, 3, Plane(3, 3, 30, {{1, 1, centre}}));
        ASSERT_EQ(ErodeFrame(f.get(), 1, threshold), BMP_NO_ERROR);
        EXPECT_EQ(BytesOf(*f)[4], result) << centre << " " << threshold;
    }
    // The two cuts need 27 x 33 pixels; they leave the middle.
    auto f = MakeRecord(26, 32, Bytes(26 * 32, 7));
    EXPECT_EQ(StripTopBottom(f.get()), BMP_IMPROPER_TYPE);
    EXPECT_EQ(StripSides(f.get()), BMP_IMPROPER_TYPE);
    EXPECT_EQ(BytesOf(*f), Bytes(26 * 32, 7));
    f = MakeRecord(27, 33, Bytes(27 * 33, 7));
    f->pixels[24 * 27 + 20] = 1;  // row 24, column 20: all that the two cuts leave
    ASSERT_EQ(StripTopBottom(f.get()), BMP_NO_ERROR);
    ASSERT_EQ(StripSides(f.get()), BMP_NO_ERROR);
    EXPECT_EQ(std::tuple(f->infoHeader->biWidth, f->infoHeader->biSizeImage, BytesOf(*f)), std::tuple(1, 1u, Bytes{1}));
}

TEST(RepairKernels, VerticalBarsTakeEachColumnsAmountFromColumnNineOn) {
    // 10 rows of 20 columns on 50, column 12 at 80: from column 9 on all goes
    // to 0 (the last three columns lose their plain mean), 0 to 8 stay.
    Bytes bars = Plane(20, 10, 50), cleared = Plane(20, 10, 0);
    for (int y = 0; y < 10; ++y) {
        bars[static_cast<size_t>(y * 20 + 12)] = 80;
        std::fill_n(cleared.begin() + y * 20, 9, 50);
    }
    ExpectKernel(FixVerticalBars, 20, bars, cleared);
    // One row: S[9] = 280 / 7 = 40 stays below the smallest mean 70, so
    // column 9 loses only 70 - 40.
    ExpectKernel(FixVerticalBars, 13, {7, 7, 7, 7, 7, 7, 7, 7, 7, 70, 70, 70, 70},
                 {7, 7, 7, 7, 7, 7, 7, 7, 7, 40, 0, 0, 0});
    // Column 9 of 100 over 20 has mean 60: the 20 below it is left alone.
    ExpectKernel(FixVerticalBars, 10, Plane(10, 2, 0, {{9, 0, 100}, {9, 1, 20}}), Plane(10, 2, 0, {{9, 0, 40}, {9, 1, 20}}));
}

TEST(RepairKernels, FixEdgesLiftsLinesBelowTheDarkLevel) {
    // Lines of 10, 30, 100, 100: G = 60, D = 20; only the first line rises,
    // as rows and, transposed, as columns.
    ExpectKernel(FixFrameEdges, 4, {10, 10, 10, 10, 30, 30, 30, 30, 100, 100, 100, 100, 100, 100, 100, 100},
                 {20, 20, 20, 20, 30, 30, 30, 30, 100, 100, 100, 100, 100, 100, 100, 100});
    ExpectKernel(FixFrameEdges, 4, {10, 30, 100, 100, 10, 30, 100, 100, 10, 30, 100, 100, 10, 30, 100, 100},
                 {20, 30, 100, 100, 20, 30, 100, 100, 20, 30, 100, 100, 20, 30, 100, 100});
    // G = 3615 / 32, D = 960 / 19 = 50.53; the first row (mean 31.875) gains
    // 18.65: zeros become 18 and 255 stays 255 instead of wrapping.
    Bytes clamp(32);  // rows: 0 0 0 0 0 0 0 255, then three of 80 80 80 80 200 200 200 200
    for (size_t i = 0; i < 32; ++i) clamp[i] = i < 7 ? 0 : i == 7 ? 255 : i % 8 < 4 ? 80 : 200;
    Bytes lifted = clamp;
    std::fill_n(lifted.begin(), 7, 18);
    ExpectKernel(FixFrameEdges, 8, clamp, lifted);
    ExpectKernel(FixFrameEdges, 3, Bytes(6, 77), Bytes(6, 77));  // nothing below the mean
}

TEST(RepairKernels, TwentyFourBitFramesAreWorkedChannelByChannel) {
    // Three different planes interleaved come out as each plane does on its own.
    const int w = 30, h = 34;
    Bytes planes[3], interleaved;
    for (int i = 0; i < w * h; ++i) {
        planes[0].push_back(static_cast<uint8_t>((i * 37 + i / w * 11) % 256));       // busy
        planes[1].push_back(static_cast<uint8_t>(40 + (i % w == 15) * 90));           // a bright column
        planes[2].push_back(static_cast<uint8_t>(i / w < 3 ? 5 : 60 + i % 2 * 60));  // dark top rows
        for (const Bytes& p : planes) interleaved.push_back(p.back());
    }
    const std::pair<const char*, uint32_t (*)(BmpRecord*)> kernels[] = {
        {"erode", [](BmpRecord* r) { return ErodeFrame(r, 2, 10); }},
        {"enlarge", [](BmpRecord* r) { return EnlargeFrame(r, 2); }},
        {"strip top and bottom", StripTopBottom},
        {"strip sides", StripSides},
        {"vertical bars", FixVerticalBars},
        {"fix edges", FixFrameEdges},
    };
    for (const auto& [name, kernel] : kernels) {
        Bytes expected;
        for (size_t c = 0; c < 3; ++c) {
            auto one = MakeRecord(w, h, planes[c]);
            ASSERT_EQ(kernel(one.get()), BMP_NO_ERROR) << name;
            const Bytes out = BytesOf(*one);
            expected.resize(out.size() * 3);
            for (size_t i = 0; i < out.size(); ++i) expected[i * 3 + c] = out[i];
        }
        auto colour = MakeRecord(w, h, interleaved, 3);
        ASSERT_EQ(kernel(colour.get()), BMP_NO_ERROR) << name;
        EXPECT_EQ(BytesOf(*colour), expected) << name;
    }
}
