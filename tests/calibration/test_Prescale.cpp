// Prescale and stretch: the kernels on tiny frames worked out by hand, and
// the five commands end to end on real files through the scripted port.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <vector>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untPrescaleFrames.h"
#include "untPrescaleKernels.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A record as ReadBmpFile leaves it: one row of these bytes, biSizeImage the buffer length.
struct Frame {
    BmpRecord* record = nullptr;
    explicit Frame(const Bytes& bytes, int bytesPerPixel = 1) {
        EXPECT_EQ(CreateBmpRecord(record, int(bytes.size()) / bytesPerPixel, 1, bytesPerPixel), BMP_NO_ERROR);
        std::copy(bytes.begin(), bytes.end(), record->pixels);
        record->infoHeader->biSizeImage = static_cast<uint32_t>(bytes.size());
    }
    ~Frame() {
        FreeBmpBuffers(record);
        delete record;
    }
    Bytes Pixels() const { return Bytes(record->pixels, record->pixels + BmpPixelBytes(*record)); }
};

Bytes Scaled(const Bytes& bytes, double factor) {
    Frame f(bytes);
    EXPECT_EQ(ScaleBmpRecord(f.record, factor), BMP_NO_ERROR);
    return f.Pixels();
}

Bytes Stretched(const Bytes& bytes, void (*kernel)(BmpRecord*)) {
    Frame f(bytes);
    kernel(f.record);
    return f.Pixels();
}

}  // namespace

TEST(ScaleBmpRecord, RoundsHalfUpStopsAt255AndScalesColourBytesAlike) {
    EXPECT_EQ(Scaled({0, 127, 128, 255}, 2.0), (Bytes{0, 254, 255, 255}));
    EXPECT_EQ(Scaled({3, 1, 0, 255}, 1.5), (Bytes{5, 2, 0, 255}));  // 4.5 + 0.5 is exactly 5.0
    EXPECT_EQ(Scaled({3, 1, 0, 255}, 0.5), (Bytes{2, 1, 0, 128}));
    // 100 x 1.275 + 0.5 is 127.99999999999999 in double precision: 127, not 128.
    EXPECT_EQ(Scaled({100, 200}, 255.0 / 200), (Bytes{127, 255}));
    // Factors no dialog lets through still give defined bytes.
    EXPECT_EQ(Scaled({0, 9, 255}, -1.0), (Bytes{0, 0, 0}));
    EXPECT_EQ(Scaled({0, 1, 255}, std::numeric_limits<double>::infinity()), (Bytes{0, 255, 255}));

    Frame colour({10, 20, 30, 40, 50, 60}, 3);
    EXPECT_EQ(ScaleBmpRecord(colour.record, 2.0), BMP_NO_ERROR);
    EXPECT_EQ(colour.Pixels(), (Bytes{20, 40, 60, 80, 100, 120}));
    EXPECT_EQ(ScaleBmpRecord(nullptr, 2.0), BMP_BAD_POINTER);
    BmpRecord noPixels;
    EXPECT_EQ(ScaleBmpRecord(&noPixels, 2.0), BMP_BAD_POINTER);
}

TEST(StretchWide, StretchesFromTheTruncatedMeanBelowTheMean) {
    // Mean 42.08; the 19 bytes below 42 average 0.53, which truncates to 0 and becomes 4.
    Bytes frame(16, 0), stretched(18, 0);
    frame.insert(frame.end(), {1, 4, 5, 200, 200, 200, 200, 200});
    stretched.insert(stretched.end(), {1, 255, 255, 255, 255, 255});
    EXPECT_EQ(Stretched(frame, StretchWide), stretched);
    // Background 10, range 25: 25 x (255.0 / 25) falls just short of 255.0.
    EXPECT_EQ(Stretched({10, 10, 10, 20, 35}, StretchWide), (Bytes{0, 0, 0, 102, 254}));
    // Background 4 and brightest 4: the range 0 counts as 1.
    EXPECT_EQ(Stretched({0, 0, 4}, StretchWide), (Bytes{0, 0, 0}));
}

TEST(StretchSmartWide, StartsTwoLevelsUnderTheBackgroundButNotUnder2) {
    // Below-mean average 10.6: background trunc(8.6) = 8; scale 255 / 192 is exact.
    EXPECT_EQ(Stretched({10, 10, 11, 11, 11, 100, 200}, StretchSmartWide), (Bytes{2, 2, 3, 3, 3, 122, 255}));
    // Below-mean average 3: 1.0 is raised to 2.
    EXPECT_EQ(Stretched({3, 3, 100}, StretchSmartWide), (Bytes{2, 2, 255}));
}

TEST(StretchWide, FramesWithoutABackgroundOrARangeAreLeftAsTheyAre) {
    for (auto kernel : {StretchWide, StretchSmartWide}) {
        EXPECT_EQ(Stretched({7, 7, 7}, kernel), (Bytes{7, 7, 7}));  // nothing below the mean
        EXPECT_EQ(Stretched({0, 0, 1}, kernel), (Bytes{0, 0, 1}));  // mean truncates to 0
    }
    EXPECT_EQ(Stretched({0, 0, 3}, StretchWide), (Bytes{0, 0, 3}));  // background 4 over brightest 3
    Frame empty({9});
    empty.record->infoHeader->biSizeImage = 0;
    StretchWide(empty.record);
    EXPECT_EQ(empty.Pixels(), Bytes{9});
    StretchWide(nullptr);
}

TEST(ReadLeadingNumber, ReadsADecimalNumberAtTheStartOnly) {
    struct Number {
        const char* text;
        size_t used;
        double value;
    };
    const Number numbers[] = {{"2.0", 3, 2.0}, {"  +1.5e1x", 8, 15.0}, {"\t-.5", 4, -0.5}, {"3.", 2, 3.0},
                              {"2e+", 1, 2.0}, {"1.2.3", 3, 1.2},      {"0x10", 1, 0.0},    {"1e999", 5, INFINITY}};
    for (const Number& n : numbers) {
        double value = -7;
        EXPECT_EQ(ReadLeadingNumber(n.text, &value), n.used) << n.text;
        EXPECT_EQ(value, n.value) << n.text;
    }
    for (const char* text : {"", ".", "+", "inf", "nan", "e5", "x2"}) {
        double value = -7;
        EXPECT_EQ(ReadLeadingNumber(text, &value), 0u) << text;
        EXPECT_EQ(value, -7) << text;
    }
}

namespace {

struct PrescaleRun {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;

    // An 8-bit frame, one row, with a palette that is not a grey ramp.
    std::string Frame(const std::string& name, const Bytes& pixels) {
        vt::BmpLayout s;
        s.width = static_cast<int>(pixels.size());
        s.pixels = pixels;
        for (int i = 0; i < 256; ++i) s.paletteBGRA.insert(s.paletteBGRA.end(), {uint8_t(i), 0, uint8_t(255 - i), 0});
        vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
        return dir.file(name);
    }
    Bytes Pixels(const std::string& path) {
        BmpRecord r;
        r.fileName = path;
        EXPECT_EQ(ReadBmpFile(&r), BMP_NO_ERROR) << path;
        Bytes v = r.pixels ? Bytes(r.pixels, r.pixels + BmpPixelBytes(r)) : Bytes{};
        FreeBmpBuffers(r);
        return v;
    }
};

}  // namespace

TEST(Prescale, AutoGlobalMeasuresEveryFrameFirstAndScalesAllByOneFactor) {
    PrescaleRun r;
    const auto a = r.Frame("a.bmp", {100, 50, 0});
    const auto junk = r.dir.file("junk.bmp");
    vt::WriteBytes(junk, Bytes(40, 'x'));
    const auto b = r.Frame("b.bmp", {200, 10, 1});
    auto palette = [&] {
        const Bytes file = vt::ReadBytes(a);
        return Bytes(file.begin() + 54, file.begin() + 1078);
    };
    const Bytes paletteBefore = palette();
    r.port.open().Title = "Select frames";  // what an earlier command left
    r.port.AnswerOpen({a, junk, b});
    PrescaleFrames(r.state, r.port, psGlobal, 0.0);

    // The unreadable frame is passed over silently while measuring, then reported once.
    EXPECT_EQ(r.port.statuses, (std::vector<std::string>{"Reading " + a, "Reading " + junk, "Reading " + b,
                                                         "Prescaling " + a, "Prescaling " + junk,
                                                         "Prescaling " + b, "Idle"}));
    ASSERT_EQ(r.port.messages.size(), 1u);
    EXPECT_EQ(r.port.messages[0].text, BmpErrorText(BMP_FILE_ERROR));
    EXPECT_EQ(r.port.messages[0].title, "Error");
    EXPECT_EQ(r.Pixels(a), (Bytes{127, 64, 0}));  // factor 255 / 200
    EXPECT_EQ(r.Pixels(b), (Bytes{255, 13, 1}));
    EXPECT_EQ(vt::ReadBytes(junk), Bytes(40, 'x'));
    EXPECT_EQ(palette(), paletteBefore);
    EXPECT_EQ(r.port.processMessagesCalls, 3);
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    EXPECT_EQ(r.port.open().Title, "Select frames");
}

TEST(Prescale, AutoPerFileAndManualChooseTheirFactors) {
    PrescaleRun r;
    const auto a = r.Frame("a.bmp", {51, 10, 0});
    const auto black = r.Frame("black.bmp", {0, 0});
    r.port.AnswerOpen({a, black});
    PrescaleFrames(r.state, r.port, psPerFile, 0.0);
    EXPECT_EQ(r.port.statuses, (std::vector<std::string>{"Prescaling " + a, "Prescaling " + black, "Idle"}));
    EXPECT_EQ(r.Pixels(a), (Bytes{255, 50, 0}));
    EXPECT_EQ(r.Pixels(black), (Bytes{0, 0}));

    // What the field starts with, and the bytes {3, 100} become (none: nothing runs).
    const std::pair<const char*, Bytes> typed[] = {{"0.5", {2, 50}}, {"", {6, 200}},  {"1.5e0x", {5, 150}},
                                                   {"abc", {6, 200}}, {"0", {}},      {"-2", {}}};
    for (const auto& [text, expected] : typed) {
        PrescaleRun m;
        const auto f = m.Frame("f.bmp", {3, 100});
        m.port.AnswerPrescale(text);
        if (!expected.empty()) m.port.AnswerOpen({f});
        ManualPrescale(m.state, m.port);
        EXPECT_EQ(m.port.prescaleDefaults, std::vector<std::string>{"2.0"}) << text;
        EXPECT_EQ(m.Pixels(f), expected.empty() ? (Bytes{3, 100}) : expected) << '"' << text << '"';
        EXPECT_EQ(m.port.open().executed, expected.empty() ? 0 : 1) << text;
    }
}

TEST(Prescale, WideAndSmartWideStretchEachFrameWithoutProcessingMessages) {
    PrescaleRun r;
    const auto a = r.Frame("a.bmp", {10, 10, 10, 20, 35});
    const auto flat = r.Frame("flat.bmp", {7, 7, 7});
    const auto b = r.Frame("b.bmp", {10, 10, 11, 11, 11, 100, 200});
    r.port.AnswerOpen({a, flat});
    WidePrescale(r.state, r.port);
    r.port.AnswerOpen({b});
    SmartWidePrescale(r.state, r.port);
    EXPECT_EQ(r.port.statuses,
              (std::vector<std::string>{"Stretching " + a, "Stretching " + flat, "Idle", "Stretching " + b, "Idle"}));
    EXPECT_EQ(r.Pixels(a), (Bytes{0, 0, 0, 102, 254}));
    EXPECT_EQ(r.Pixels(flat), (Bytes{7, 7, 7}));
    EXPECT_EQ(r.Pixels(b), (Bytes{2, 2, 3, 3, 3, 122, 255}));
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.processMessagesCalls, 0);
}

TEST(Prescale, CancelEndsEveryCommandWithTheStatusLineAsItWas) {
    PrescaleRun r;
    for (auto command : {WidePrescale, SmartWidePrescale, ManualPrescale}) {
        r.port.AnswerPrescale("2.0");
        r.port.CancelOpen();
        command(r.state, r.port);
    }
    r.port.CancelOpen();
    PrescaleFrames(r.state, r.port, psGlobal, 0.0);
    EXPECT_TRUE(r.port.statuses.empty());
    EXPECT_EQ(r.port.prescaleAnswers.size(), 2u);  // only Manual asked
}

TEST(Prescale, AFailedWriteIsReportedAndLeavesTheFrameAsItWas) {
    PrescaleRun r;
    // Bigger than the file size limit below, so only its replacement fails.
    Bytes pixels(4004, 35);
    pixels[0] = 10;
    const auto a = r.Frame("a.bmp", pixels);
    const Bytes before = vt::ReadBytes(a);

    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit lower{4096, old.rlim_max};
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    const bool limited = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    if (limited) {
        for (auto command : {WidePrescale, SmartWidePrescale}) {
            r.port.AnswerOpen({a});
            command(r.state, r.port);
        }
        r.port.AnswerOpen({a});
        PrescaleFrames(r.state, r.port, psManual, 2.0);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    if (!limited) GTEST_SKIP() << "cannot lower the file size limit";

    ASSERT_EQ(r.port.messages.size(), 3u);
    for (const auto& m : r.port.messages) {
        EXPECT_EQ(m.text, BmpErrorText(BMP_FILE_ERROR));
        EXPECT_EQ(m.title, "Error");
    }
    EXPECT_EQ(vt::ReadBytes(a), before);
    EXPECT_EQ(r.dir.entries(), std::vector<std::string>{"a.bmp"});
}
