// velmora-cli on copies of real and generated frames, held against what
// independent readers work out: numpy over PIL's pixels, and astropy's FITS
// data and fitsverify for To FITS.
#include "CliTest.h"

using namespace vcli;

TEST(CliRealFrames, MastersAreWhatNumpyWorksOut) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    vt::TempDir dir;
    Sky(dir, {"dark_01.bmp", "dark_02.bmp", "dark_03.bmp", "flat_01.bmp", "flat_02.bmp", "flat_03.bmp"});
    ASSERT_EQ(Gen("--kind light --count 4 --width 67 --height 31 --seed 3 --out .", dir.path()), 0);
    vt::WriteBytes(dir.file("even.bmp"), Bytes(5000, 1));
    // The lower median of an even count; a mean rounded down.
    const std::string median = "ref = np.sort(np.stack([px(p) for p in a[1:]]), axis=0)[len(a) // 2 - 1]\n";
    const std::string mean = "ref = sum(px(p) for p in a[1:]) // (len(a) - 1)\n";
    // command, frames, -o, the file written, numpy's result
    const std::tuple<const char*, const char*, const char*, const char*, std::string> cases[] = {
        {"create-median", "dark_01.bmp dark_02.bmp dark_03.bmp", "odd", "odd.bmp", median},
        {"create-median", "light_0001.bmp light_0002.bmp light_0003.bmp light_0004.bmp", "even.bmp", "even.bmp",
         median},
        {"create-flat", "flat_01.bmp flat_02.bmp flat_03.bmp", "flat", "flat.bmp", mean},
    };
    for (const auto& [command, frames, out, written, ref] : cases) {
        const auto r = Cli(std::string(command) + " " + frames + " -o " + out, dir.path());
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(
            Numpy(ref + "print('same' if px(a[0]).shape == ref.shape and (px(a[0]) == ref).all() else 'differ')\n",
                  std::string(written) + " " + frames, dir.path()),
            "same\n")
            << command << " " << frames;
    }
    // The longer file it replaced is gone whole, and no temporary file is left.
    EXPECT_EQ(vt::ReadBytes(dir.file("even.bmp")).size(), 1078u + 68 * 31);
    EXPECT_EQ(dir.entries().size(), 13u);
}

// Each command over copies of two real frames: p is a frame as it was, and
// the expression what it must become. Every result stays a grey frame.
TEST(CliRealFrames, FileByFileCommandsAreWhatNumpyWorksOut) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    const std::pair<const char*, const char*> cases[] = {
        {"dark-subtract --mode normal --yes --dark dark_01.bmp", "np.clip(p - px('dark_01.bmp'), 0, 255)"},
        // The flat's gain: integer mean, gain 1 for zero bytes, clamp, truncate.
        {"flat-field --flat flat_01.bmp", "np.minimum(p / gain(px('flat_01.bmp')), 255.0).astype(np.uint8)"},
        // Rounded to the nearest byte.
        {"prescale --mode auto-per-file", "(p * (255.0 / max(p.max(), 1)) + 0.5).astype(np.uint8)"},
        {"resize", "np.repeat(np.repeat(p, 2, 0), 2, 1)"},
        {"strip-top-bottom", "p[24:-8]"},
        {"strip-sides", "p[:, 20:-6]"},
        {"erode", "erode(p)"},  // one pass at threshold 20
    };
    for (const auto& [command, reference] : cases) {
        vt::TempDir dir;
        Sky(dir, {"dark_01.bmp", "flat_01.bmp", "m51_001.bmp", "m51_002.bmp"});
        const auto r = Cli(std::string(command) + " m51_001.bmp m51_002.bmp", dir.path());
        EXPECT_EQ(r.status, 0) << command << r.output;
        EXPECT_EQ(Numpy(std::string("def gain(f): return np.where(f > 0, f / (int(f.sum()) // f.size), 1.0)\n"
                                    "def erode(p):\n"
                                    "    q = p.copy(); c = p[1:-1, 1:-1]\n"
                                    "    m = (p[:-2, :-2] + p[:-2, 1:-1] + p[:-2, 2:] + p[1:-1, :-2] + p[1:-1, 2:]\n"
                                    "         + p[2:, :-2] + p[2:, 1:-1] + p[2:, 2:]) // 8\n"
                                    "    q[1:-1, 1:-1] = np.where((c - 20 > m) | (c + 20 < m), m, c)\n"
                                    "    return q\n"
                                    "for f in a:\n"
                                    "    p = px(sky + f)\n"
                                    "    ok = Image.open(f).mode == 'L' and np.array_equal(px(f), ") +
                            reference + ")\n    print('same' if ok else 'differ')\n",
                        "m51_001.bmp m51_002.bmp", dir.path()),
                  "same\nsame\n")
            << command;
    }
}

TEST(CliRealFrames, FindHighLowPrintsWhatNumpyMeasures) {
    VCLI_REQUIRE_SKY_AND_NUMPY();
    const auto r = Cli("find-high-low dark_01.bmp", SkyDir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, Numpy("p = px(sky + 'dark_01.bmp')\n"
                              "print('Highest %d\\nLowest %d\\nAverage %d' % (p.max(), p.min(), p.sum() // p.size))\n",
                              "", "."));
}

TEST(CliRealFrames, ToFitsGivesAstropysDataAndPassesFitsverify) {
    VT_REQUIRE_TESTDATA();
    vt::TempDir dir;
    Sky(dir, {"m51_001.bmp"});
    ASSERT_EQ(Cli("to-fits m51_001.bmp", dir.path()).status, 0);
    // The data unit: what follows the header block holding END.
    const auto data = [](const Bytes& f) {
        for (size_t card = 0; card + 80 <= f.size(); card += 80)
            if (std::string(f.begin() + card, f.begin() + card + 8) == "END     ")
                return Bytes(f.begin() + (card / 2880 + 1) * 2880, f.end());
        return Bytes{};
    };
    const Bytes theirs = data(vt::ReadBytes(vt::TestDataDir() + "/fits/m51_001_astropy.fits"));
    ASSERT_EQ(theirs.size(), 54u * 2880);
    EXPECT_TRUE(data(vt::ReadBytes(dir.file("m51_001.fts"))) == theirs);
    if (vt::RunCommand("command -v fitsverify") != 0) GTEST_SKIP() << "fitsverify is not installed";
    EXPECT_EQ(vt::RunCommand("fitsverify -q " + vt::ShellQuote(dir.file("m51_001.fts"))), 0);
}
