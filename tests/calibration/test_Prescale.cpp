// Prescale and stretch: the kernels on tiny frames worked out by hand, and
// what the commands ask and show through the scripted port (the bytes every
// mode gives a frame are in the command-line test); a failed write in each
// of the calibration batches.
#include <gtest/gtest.h>

#include <cmath>

#include "CalibrationSession.h"
#include "untFlatField.h"
#include "untPrescaleFrames.h"
#include "untPrescaleKernels.h"

using namespace vc;

namespace {

Bytes Scaled(const Bytes& bytes, double factor, int bpp = 1) {
    auto f = MakeRecord(static_cast<int>(bytes.size()) / bpp, 1, bytes, bpp);
    EXPECT_EQ(ScaleBmpRecord(f.get(), factor), BMP_NO_ERROR);
    return BytesOf(*f);
}

}  // namespace

TEST(PrescaleKernels, ScaleRoundsHalfUpStopsAt255AndAddsNoTolerance) {
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
}

TEST(PrescaleKernels, StretchesFromTheBackgroundOrLeavesTheFrameAlone) {
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

namespace {

// An 8-bit frame, one row, with a palette that is not a grey ramp.
std::string Frame(Session& r, const std::string& name, const Bytes& pixels) {
    Bytes palette;
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), 0, uint8_t(255 - i), 0});
    return r.Frame(name, static_cast<int>(pixels.size()), pixels, 8, palette);
}

}  // namespace

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

// What the field holds when it closes, and what {3, 100} becomes (empty:
// nothing runs).
TEST(Prescale, ManualTakesTheNumberAtTheStartOfTheFieldOnlyAboveZero) {
    const std::pair<const char*, Bytes> typed[] = {
        {"0.5", {2, 50}}, {"", {6, 200}}, {"1.5e0x", {5, 150}}, {"abc", {6, 200}}, {"0", {}}, {"-2", {}}};
    for (const auto& [text, expected] : typed) {
        Session m;
        const auto f = Frame(m, "f.bmp", {3, 100});
        m.port.AnswerPrescale(text);
        if (!expected.empty()) m.port.AnswerOpen({f});
        RunPrescaleManual(m.state, m.port);
        EXPECT_EQ(m.port.prescaleDefaults, Texts{"2.0"}) << text;
        EXPECT_EQ(FramePixels(f), expected.empty() ? (Bytes{3, 100}) : expected) << '"' << text << '"';
        EXPECT_EQ(m.port.open().executed, expected.empty() ? 0 : 1) << text;
    }
    Session r;  // Cancel leaves the status line as it was
    r.port.AnswerPrescale("2.0");
    r.port.CancelOpen();
    RunPrescaleManual(r.state, r.port);
    EXPECT_TRUE(r.port.statuses.empty());
}

// Each of the three ways a calibration batch writes reports a write that
// fails, and the frame stays as it was.
TEST(CalibrationBatches, AFailedWriteIsReportedByEachAndLeavesTheFrameAsItWas) {
    Session r;
    Bytes pixels(4004, 35);  // bigger than the file size limit: only its replacement fails
    pixels[0] = 10;
    const auto a = Frame(r, "a.bmp", pixels), flat = Frame(r, "flat.bmp", Bytes(4004, 100));
    const Bytes before = vt::ReadBytes(a);
    const bool limited = WithSmallFileLimit([&] {
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
