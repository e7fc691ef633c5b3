// "New Normal", "New Map" and "Flat Field": the kernels on tiny frames worked
// out by hand, and the commands on files through the scripted port.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <functional>
#include <memory>

#include "ScriptedPort.h"
#include "TestFiles.h"
#include "untBmpCopy.h"
#include "untCorrect.h"
#include "untCorrectKernels.h"

namespace {

struct RecordDeleter {
    void operator()(BmpRecord* r) const {
        FreeBmpBuffers(r);
        delete r;
    }
};
using Record = std::unique_ptr<BmpRecord, RecordDeleter>;
using Px = std::vector<uint8_t>;

// An in-memory 8-bit frame as ReadBmpFile leaves it (biSizeImage = buffer length).
Record Frame(int w, int h, const Px& px) {
    BmpRecord* r = nullptr;
    EXPECT_EQ(CreateBmpRecord(r, w, h, 1), BMP_NO_ERROR);
    std::copy(px.begin(), px.end(), r->pixels);
    r->infoHeader->biSizeImage = static_cast<uint32_t>(px.size());
    return Record(r);
}
Px Bytes(const BmpRecord& r) { return {r.pixels, r.pixels + BmpPixelBytes(r)}; }

constexpr int kW = 12;  // the local-mean cases are 12 x 12
size_t At(int x, int y) { return static_cast<size_t>(y * kW + x); }

}  // namespace

TEST(CorrectKernels, DeviationMapAndEachRuleOfItsApplication) {
    auto dark = Frame(4, 1, {10, 12, 20, 1});  // mean 43 / 4 truncated to 10
    const auto dev = DeviationMap(*dark);
    EXPECT_EQ(std::vector<double>(dev.get(), dev.get() + 4), (std::vector<double>{0, 2, 10, -9}));

    // maxDev 20, avgDev 36 / 8 = 4.5, threshold 15.5 * 0.66 + 4.5 = 14.73.
    auto light = Frame(8, 1, {50, 60, 2, 40, 252, 250, 100, 7});
    const std::vector<double> map = {20, 20, 3, 3, -5, -5, 0, 0};
    ApplyDeviationMap(*light, map.data());
    // The hot first byte keeps its value; the next hot byte and 2 - 3 take
    // the corrected byte before them; 40 - 3; 252 + 5 and 250 + 5 give 255.
    EXPECT_EQ(Bytes(*light), (Px{50, 50, 50, 37, 255, 255, 100, 7}));

    // Average 0, threshold exactly 66: 66 is hot, 65.5 is subtracted.
    auto edge = Frame(4, 1, {200, 150, 150, 10});
    const std::vector<double> edgeMap = {100, 66, 65.5, -231.5};
    ApplyDeviationMap(*edge, edgeMap.data());
    EXPECT_EQ(Bytes(*edge), (Px{200, 200, 84, 241}));
}

TEST(CorrectKernels, LocalMeanReplacesTheDeviationOfHotPixelsInBrightAreasOnly) {
    Px px(kW * kW, 250);
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

    auto newMap = Frame(kW, kW, px);
    ASSERT_EQ(ApplyMapWithLocalMean(*newMap, map.data()), BMP_NO_ERROR);
    EXPECT_EQ(map, original);
    Px expected = px;  // the copy holds 20, 5, 0 and 50: threshold 33.18
    expected[At(1, 1)] = 80;
    expected[At(5, 5)] = 250;
    expected[At(8, 5)] = 250;
    EXPECT_EQ(Bytes(*newMap), expected);

    // A local mean of 248 is not bright: exactly the plain correction.
    Px dim(kW * kW, 248);
    dim[At(4, 5)] = 246;
    dim[At(5, 5)] = 250;
    auto a = Frame(kW, kW, dim), b = Frame(kW, kW, dim);
    ASSERT_EQ(ApplyMapWithLocalMean(*a, map.data()), BMP_NO_ERROR);
    ApplyDeviationMap(*b, map.data());
    EXPECT_EQ(Bytes(*a), Bytes(*b));
}

TEST(CorrectKernels, BoxMeanWritesOnlyWhereItsSquareStaysOffTheOuterRing) {
    Px src(kW * kW, 0);
    src[At(5, 5)] = 255;
    auto source = Frame(kW, kW, src);
    auto dest = Frame(kW, kW, Px(kW * kW, 0xEE));
    BoxMean(*dest, *source, 3);
    for (int y = 0; y < kW; ++y)
        for (int x = 0; x < kW; ++x)  // 255 / 49 truncated, rows and columns 4..7 only
            EXPECT_EQ(dest->pixels[At(x, y)], x >= 4 && x <= 7 && y >= 4 && y <= 7 ? 5 : 0xEE) << x << "," << y;
}

TEST(CorrectKernels, FlatGainIsRelativeToTheIntegerMeanOfTheFlat) {
    // Mean 800 / 8 = 100: gains 0.5, 0.5, 2, 1 (zero byte), 1, 2, 1, 1.
    auto flat = Frame(8, 1, {50, 50, 200, 0, 100, 200, 100, 100});
    auto light = Frame(8, 1, {100, 150, 101, 33, 77, 255, 9, 0});
    DivideByGainMap(*light, FlatGainMap(*flat).get());
    EXPECT_EQ(Bytes(*light), (Px{200, 255, 50, 33, 77, 127, 9, 0}));

    auto almost = Frame(3, 1, {100, 100, 101});  // mean 100, so 101 is a gain of 1.01
    auto hundred = Frame(3, 1, {100, 100, 100});
    DivideByGainMap(*hundred, FlatGainMap(*almost).get());
    EXPECT_EQ(Bytes(*hundred), (Px{100, 100, 99}));

    EXPECT_FALSE(FlatGainUsable(*Frame(4, 1, {0, 0, 0, 3})));  // mean 0: infinite gain
    EXPECT_TRUE(FlatGainUsable(*Frame(4, 1, {0, 0, 0, 0})));   // every gain 1.0
}

TEST(CopyBmpRecord, CopiesHeadersPixelsAndNameButNeverThePalette) {
    auto src = Frame(3, 2, {1, 2, 3, 4, 5, 6}), dst = Frame(3, 2, Px(6, 0)), small = Frame(2, 2, Px(4, 9));
    src->fileName = "light.bmp";
    src->palette[7] = RGBQUAD{0, 0, 255, 0};
    ASSERT_EQ(CopyBmpRecord(*dst, *src), BMP_NO_ERROR);
    EXPECT_EQ(Bytes(*dst), Bytes(*src));
    EXPECT_EQ(dst->fileName, "light.bmp");
    EXPECT_EQ(dst->palette[7].rgbRed, 7);
    EXPECT_EQ(CopyBmpRecord(*small, *src), BMP_IMPROPER_TYPE);  // too small: left alone
    EXPECT_EQ(Bytes(*small), Px(4, 9));
}

namespace {

struct CorrectRun {
    vt::TempDir dir;
    vt::ScriptedPort port;
    TMainState state;

    std::string File(const std::string& name, int w, int h, Px pixels, int bitCount = 8, Px palette = {}) {
        vt::BmpLayout s;
        s.width = w;
        s.height = h;
        s.bitCount = bitCount;
        s.pixels = std::move(pixels);
        s.paletteBGRA = std::move(palette);
        vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
        return dir.file(name);
    }
    Px Pixels(const std::string& path, RGBQUAD* entry200 = nullptr) {
        BmpRecord r;
        r.fileName = path;
        EXPECT_EQ(ReadBmpFile(&r), BMP_NO_ERROR) << path;
        Px v = r.pixels ? Bytes(r) : Px{};
        if (entry200 && r.palette) *entry200 = r.palette[200];
        FreeBmpBuffers(r);
        return v;
    }
};

}  // namespace

TEST(CorrectCommands, NewNormalAndNewMapOverwriteEachFrameWithAGreyPalette) {
    CorrectRun r;
    Px dark(kW * kW, 10);
    dark[At(5, 5)] = 60;  // mean 1510 / 144 = 10: deviations 50 and 20
    dark[At(1, 1)] = 30;
    Px light(kW * kW, 250);
    light[At(4, 5)] = 252;
    light[At(5, 5)] = 255;
    light[At(1, 1)] = 100;
    Px inverted;
    for (int i = 0; i < 256; ++i) inverted.insert(inverted.end(), {uint8_t(255 - i), uint8_t(255 - i), 0, 0});
    const auto d = r.File("dark.bmp", kW, kW, dark);
    const auto normal = r.File("normal.bmp", kW, kW, light, 8, inverted);
    const auto mapped = r.File("map.bmp", kW, kW, light);
    r.state.LastPathOpen = "/start/";
    r.port.AnswerOpen({d});
    r.port.AnswerOpen({normal});
    NewNormal(r.state, r.port);
    r.port.AnswerOpen({d});
    r.port.AnswerOpen({mapped});
    NewMap(r.state, r.port);

    EXPECT_EQ(r.port.statuses, (std::vector<std::string>{"Dark correcting " + normal, "Idle",
                                                         "Dark correcting " + mapped, "Idle"}));
    EXPECT_TRUE(r.port.messages.empty());
    EXPECT_EQ(r.port.open().Title, "Select Image Frames");
    EXPECT_EQ(r.port.open().Options, unsigned(ofAllowMultiSelect | ofFileMustExist));
    EXPECT_EQ(r.port.open().initialDirsSeen[0], "/start/");
    // New Normal: 50 is hot and takes its neighbour, 20 is subtracted.
    Px expected = light;
    expected[At(5, 5)] = 252;
    expected[At(1, 1)] = 80;
    RGBQUAD entry{};
    EXPECT_EQ(r.Pixels(normal, &entry), expected);
    EXPECT_EQ(entry.rgbRed + entry.rgbGreen + entry.rgbBlue, 600);
    // New Map: the excess 5 is under the copy's threshold (13.26); 20 is now hot.
    expected[At(5, 5)] = 250;
    expected[At(1, 1)] = 250;
    EXPECT_EQ(r.Pixels(mapped), expected);
    EXPECT_EQ(r.Pixels(d), dark);
}

TEST(CorrectCommands, CancelsAndAnUnreadableReferenceEndWithoutAMessage) {
    const std::vector<std::pair<std::function<void(TMainState&, TUiPort&)>, std::string>> commands = {
        {NewNormal, "Select Dark Frame"}, {NewMap, "Select Dark Frame"}, {FlatField, "Select Flat Field"}};
    for (const auto& [run, title] : commands) {
        SCOPED_TRACE(title);
        CorrectRun r;
        const auto ref = r.File("ref.bmp", 2, 2, {5, 6, 7, 8});
        vt::WriteBytes(r.dir.file("junk.bmp"), Px(100, 'x'));
        r.port.CancelOpen();  // leaves the status line alone
        run(r.state, r.port);
        EXPECT_TRUE(r.port.statuses.empty());
        EXPECT_EQ(r.port.open().Title, title);
        EXPECT_EQ(r.port.open().Options, unsigned(ofFileMustExist));
        r.port.AnswerOpen({ref});
        r.port.CancelOpen();
        run(r.state, r.port);
        r.port.AnswerOpen({r.dir.file("junk.bmp")});
        run(r.state, r.port);
        EXPECT_EQ(r.port.statuses, (std::vector<std::string>{"Idle", "Idle"}));
        EXPECT_EQ(r.port.open().executed, 4);  // no frames dialog after the unreadable reference
        EXPECT_TRUE(r.port.messages.empty());
    }
}

TEST(CorrectCommands, FlatFieldReportsBadAndMismatchedFramesAndGoesOn) {
    CorrectRun r;
    const auto flat = r.File("flat.bmp", 4, 2, {50, 50, 200, 0, 100, 200, 100, 100});  // mean 100
    const auto first = r.File("first.bmp", 4, 2, {100, 150, 101, 33, 77, 255, 9, 0});
    const std::vector<std::string> bad = {r.File("four.bmp", 4, 2, {0x12, 0x34, 0x56, 0x78}, 4),
                                          r.File("wider.bmp", 5, 2, Px(10, 40)),
                                          r.File("deeper.bmp", 4, 2, Px(24, 40), 24)};
    const auto last = r.File("last.bmp", 4, 2, Px(8, 100));
    std::vector<Px> before;
    for (const auto& f : bad) before.push_back(vt::ReadBytes(f));
    r.port.AnswerOpen({flat});
    r.port.AnswerOpen({first, bad[0], bad[1], bad[2], last});
    FlatField(r.state, r.port);

    EXPECT_EQ(r.port.statuses.size(), 6u);
    EXPECT_EQ(r.port.statuses[1], "Flat fielding " + bad[0]);
    std::vector<std::string> texts;
    for (const auto& m : r.port.messages) texts.push_back(m.title + ": " + m.text);
    EXPECT_EQ(texts, (std::vector<std::string>{std::string("Error: ") + BmpErrorText(BMP_IMPROPER_TYPE),
                                               "Error: All files must be the same size",
                                               "Error: All files must be the same size"}));
    for (size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(vt::ReadBytes(bad[i]), before[i]) << bad[i];
    EXPECT_EQ(r.Pixels(first), (Px{200, 255, 50, 33, 77, 127, 9, 0}));
    EXPECT_EQ(r.Pixels(last), (Px{200, 200, 50, 100, 100, 50, 100, 100}));

    // A flat whose mean truncates to 0 is refused before any frame is asked for.
    r.port.AnswerOpen({r.File("dim.bmp", 4, 1, {0, 0, 0, 3})});
    FlatField(r.state, r.port);
    EXPECT_EQ(r.port.messages.back().text, "The flat field is too dark to divide by: its mean level is 0");
    EXPECT_EQ(r.port.open().executed, 3);
    EXPECT_EQ(r.port.LastStatus(), "Idle");
}

TEST(CorrectCommands, AFailedWriteIsReportedAndLeavesTheFrameAsItWas) {
    CorrectRun r;
    const auto flat = r.File("flat.bmp", 100, 50, Px(5000, 100));
    const auto light = r.File("light.bmp", 100, 50, Px(5000, 60));  // 6078 bytes
    const auto before = vt::ReadBytes(light);
    r.port.AnswerOpen({flat});
    r.port.AnswerOpen({light});
    // No file may grow past 4 KB while the command runs; reading is not limited.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit lower{4096, old.rlim_max};
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    const bool limited = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    if (limited) FlatField(r.state, r.port);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    if (!limited) GTEST_SKIP() << "cannot lower the file size limit";

    ASSERT_EQ(r.port.messages.size(), 1u);
    EXPECT_EQ(r.port.messages[0].text, BmpErrorText(BMP_FILE_ERROR));
    EXPECT_EQ(r.port.messages[0].title, "Error");
    EXPECT_EQ(vt::ReadBytes(light), before);
    EXPECT_EQ(r.dir.entries(), (std::vector<std::string>{"flat.bmp", "light.bmp"}));
}
