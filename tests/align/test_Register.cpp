// Registration beyond the window: the fitted centroid, the choice of a
// reference star, and velmora-cli register / stack --best end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "TestFiles.h"
#include "untStarPick.h"

namespace {

struct TStar {
    double x, y, amplitude, sigma;
};

// Sky, Gaussian stars (clipped at 255, as a camera does) and, with a seed, noise.
TGreyPlane Field(int w, int h, double sky, const std::vector<TStar>& stars, unsigned seed = 0) {
    TGreyPlane plane{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * static_cast<size_t>(h))};
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 2.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = sky + (seed ? noise(random) : 0.0);
            for (const TStar& s : stars)
                v += s.amplitude * std::exp(-((x - s.x) * (x - s.x) + (y - s.y) * (y - s.y)) / (2 * s.sigma * s.sigma));
            plane.pixels[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
        }
    return plane;
}

void WritePlane(const std::string& path, const TGreyPlane& plane) { vt::WriteFrame(path, plane.pixels, plane.width); }

int Cli(const vt::TempDir& dir, const std::string& args, std::string* out = nullptr) {
    return vt::RunCommand("cd " + vt::ShellQuote(dir.path()) + " && " + VELMORA_CLI_PATH + " " + args + " </dev/null",
                          out);
}

}  // namespace

TEST(StarFit, FindsSubPixelCentresWithOrWithoutNoiseAndFallsBackWhereNoStarFits) {
    for (const TStar star : {TStar{30.0, 30.0, 150, 1.2}, {30.37, 29.71, 150, 1.6}, {29.5, 30.25, 90, 2.2},
                             {30.81, 30.13, 600, 1.5}}) {  // the last one saturated
        for (unsigned seed : {0u, 7u}) {
            SCOPED_TRACE(testing::Message() << star.x << "," << star.y << " seed " << seed);
            const TGreyPlane plane = Field(61, 61, 20, {star}, seed);
            const TStarFit fit = FitStar(plane, 31, 31, 8);
            ASSERT_TRUE(fit.ok) << fit.failure;
            const double tolerance = seed ? 0.06 : 0.02;
            EXPECT_NEAR(fit.x, star.x, tolerance);
            EXPECT_NEAR(fit.y, star.y, tolerance);
            if (star.amplitude < 255) {
                EXPECT_NEAR(fit.fwhm, 2.3548 * star.sigma, seed ? 0.15 : 0.02);
            }
            int x = 31, y = 31;
            double fx = 0, fy = 0;
            TLockReport report;
            ASSERT_TRUE(LockWithMethod(TCentroidMethod::Refined, plane, 8, x, y, fx, fy, &report));
            EXPECT_TRUE(report.refined);
            EXPECT_DOUBLE_EQ(x + fx, fit.x);
        }
    }
    // A bump of two levels is no star to fit, but the half-maximum lock holds it.
    const TGreyPlane faint = Field(61, 61, 20, {{30, 30, 2.4, 2.0}});
    int x = 31, y = 31, hx = 31, hy = 31;
    double fx = 0, fy = 0, hfx = 0, hfy = 0;
    TLockReport report;
    ASSERT_TRUE(LockWithMethod(TCentroidMethod::Refined, faint, 8, x, y, fx, fy, &report));
    ASSERT_TRUE(LockOnStar(faint, 8, hx, hy, hfx, hfy));
    EXPECT_FALSE(report.refined);
    EXPECT_EQ(report.fallback, "no star above the noise");
    EXPECT_EQ((std::vector<double>{double(x), double(y), fx, fy}), (std::vector<double>{double(hx), double(hy), hfx, hfy}));
    EXPECT_EQ(FitStar(Field(61, 61, 20, {}), 30, 30, 8).failure, "no star above the noise");
}

TEST(StarPick, ChoosesTheBrightestStarTheLockCanFollowAndSaysWhyNone) {
    const std::vector<TStar> unfit = {
        {60, 60, 400, 1.5},   // saturated
        {6, 100, 200, 1.5},   // at the edge
        {150, 50, 190, 1.5},  // a pair
        {157, 53, 170, 1.5},
    };
    std::vector<TStar> stars = unfit;
    stars.push_back({120.3, 140.6, 120, 1.4});
    stars.push_back({40, 160, 60, 1.4});  // fainter
    const TStarChoice choice = PickReferenceStar(Field(200, 200, 20, stars, 3), 8);
    ASSERT_TRUE(choice.found) << ChoiceText(choice, 8);
    EXPECT_EQ(choice.x, 120);
    EXPECT_EQ(choice.y, 141);
    EXPECT_EQ(ChoiceText(choice, 8).rfind("the star at 120,141: unsaturated", 0), 0u) << ChoiceText(choice, 8);

    const TStarChoice none = PickReferenceStar(Field(200, 200, 20, unfit, 3), 8);
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.saturated, 1);
    EXPECT_EQ(none.atEdge, 1);
    EXPECT_EQ(none.crowded, 2);
    EXPECT_NE(ChoiceText(none, 8).find("1 are saturated"), std::string::npos) << ChoiceText(none, 8);
}

// Frames of one drifting star field, the third and fifth blurred: register's
// locks stack exactly as --star does, and --best 60 leaves the blurred out.
TEST(RegisterCommand, ItsLocksStackAsTheStarDoesAndBestLeavesOutBlurredFrames) {
    vt::TempDir dir;
    std::string frames;
    for (int i = 0; i < 5; ++i) {
        const double dx = 1.37 * i, dy = 0.61 * i, sigma = (i == 2 || i == 4) ? 2.6 : 1.3;
        const std::string name = "f" + std::to_string(i) + ".bmp";
        WritePlane(dir.file(name), Field(120, 90, 25, {{50 + dx, 40 + dy, 150, sigma}, {90 + dx, 70 + dy, 90, sigma}}, 11 + i));
        frames += " " + name;
    }
    std::string out;
    ASSERT_EQ(Cli(dir, "register --star auto --centroid refined" + frames + " -o locks.csv", &out), 0) << out;
    EXPECT_EQ(out.rfind("Reference star in f0.bmp: the star at 50,40:", 0), 0u) << out;
    EXPECT_NE(out.find("    5  f4.bmp"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 7) << out;  // the choice, the heading, five frames
    ASSERT_EQ(Cli(dir, "stack --rule fp-average --locks locks.csv" + frames + " -o locks", &out), 0) << out;
    ASSERT_EQ(Cli(dir, "stack --rule fp-average --star auto --centroid refined" + frames + " -o star", &out), 0) << out;
    EXPECT_EQ(vt::ReadBytes(dir.file("locks.bmp")), vt::ReadBytes(dir.file("star.bmp")));

    ASSERT_EQ(Cli(dir, "stack --star 50,40 --radius 8 --best 60" + frames + " -o best", &out), 0) << out;
    EXPECT_NE(out.find("Best 60 %: stacking the 3 of 5 frames"), std::string::npos) << out;
    for (const char* left : {"left out f2.bmp", "left out f4.bmp"}) EXPECT_NE(out.find(left), std::string::npos) << out;
    EXPECT_EQ(vt::ReadBytes(dir.file("AlignData.dat")).size(), 4u + 3 * 336);

    // A lost lock keeps what was measured before it.
    WritePlane(dir.file("empty.bmp"), Field(120, 90, 25, {}));
    EXPECT_EQ(Cli(dir, "register --star 50,40 --radius 8 f0.bmp f1.bmp empty.bmp -o part.csv", &out), 1);
    EXPECT_NE(out.find("frame 3 of 3"), std::string::npos) << out;
    const std::vector<uint8_t> part = vt::ReadBytes(dir.file("part.csv"));
    EXPECT_EQ(std::count(part.begin(), part.end(), '\n'), 2);
}

// The real sequence with known shifts, on the unsaturated star with the
// radius at which a neighbour makes the half-maximum lock lose it.
TEST(RegisterCommand, TheRefinedCentroidFollowsM51ToATenthOfAPixel) {
    VT_REQUIRE_TESTDATA();
    const std::string sky = vt::TestDataDir() + "/sky/m51/";
    vt::TempDir dir;
    std::string frames, out;
    for (int i = 1; i <= 10; ++i) frames += " " + vt::ShellQuote(sky + (i < 10 ? "m51_00" : "m51_0") + std::to_string(i) + ".bmp");
    ASSERT_EQ(Cli(dir, "register --star 251,145 --radius 16 --centroid refined" + frames, &out), 0) << out;
    const std::vector<uint8_t> csv = vt::ReadBytes(sky + "shifts.csv");
    std::istringstream truth(std::string(csv.begin(), csv.end())), table(out);
    std::string t, m;
    std::getline(truth, t);  // the headings
    std::getline(table, m);
    double sum2 = 0;
    int n = 0;
    while (std::getline(truth, t) && std::getline(table, m)) {
        double tx, ty, mx, my;
        ASSERT_EQ(std::sscanf(t.c_str(), "%*d,%*[^,],%lf,%lf", &tx, &ty), 2) << t;
        ASSERT_EQ(std::sscanf(m.c_str(), "%*d %*s %*f %*f %lf %lf", &mx, &my), 2) << m;
        sum2 += (mx - tx) * (mx - tx) + (my - ty) * (my - ty);
        ++n;
    }
    ASSERT_EQ(n, 10);
    EXPECT_LT(std::sqrt(sum2 / 9), 0.10);  // frame 1 is the origin of the offsets
}
