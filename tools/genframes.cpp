// velmora-genframes: synthetic 8-bit star-field frames (lights, darks, flats)
// for the demonstration, the tests and the benchmarks.
//
// Every number comes from our own generators (splitmix64 seeding xoshiro256**,
// Box-Muller for the noise), so a seed gives the same bytes with any compiler
// or standard library; std::normal_distribution does not promise that.
//
// The scene (stars, hot pixels, dust) depends only on the seed and the frame
// size, never on the kind, so a master dark made from "dark" frames removes
// exactly the hot pixels of the "light" frames of the same seed and size.
#include "untBmpUtil.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

const char* const kUsage =
    "usage: velmora-genframes --kind light|dark|flat --out DIR [options]\n"
    "Writes synthetic 8-bit grey-palette BMP frames DIR/PREFIX_0001.bmp, ... and\n"
    "prints the path of each file written. DIR is created if missing.\n"
    "  --kind K        light: sky ~20, noise, a few hundred stars (some saturated),\n"
    "                  fixed hot pixels; dark: pedestal ~8, noise, the same hot\n"
    "                  pixels; flat: vignetted field ~170 at the centre, noise, dust\n"
    "  --width N       frame width in pixels, 8..32768 (default 640)\n"
    "  --height N      frame height in pixels, 8..32768 (default 480)\n"
    "  --count N       number of frames, 1..9999 (default 5)\n"
    "  --seed N        scene and noise seed, 0..2^64-1 (default 1); the same seed and\n"
    "                  size give the same stars and hot pixels in every kind\n"
    "  --drift DX,DY   star motion in pixels per frame, light frames only (default 0,0)\n"
    "  --prefix NAME   file name prefix (default: the kind)\n"
    "  --out DIR       output folder\n"
    "  --help          this text\n"
    "Exit status: 0 done, 1 a file or folder could not be written, 2 bad arguments.\n";

constexpr double kPi = 3.14159265358979323846;

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// xoshiro256**, seeded through splitmix64 from a list of words, so each stream
// (scene, hot pixels, one frame's noise) is independent of how many numbers
// the others drew.
class TRandom {
public:
    TRandom(std::initializer_list<uint64_t> words) {
        uint64_t mix = 0x5EEDF00Dull;
        for (uint64_t w : words) { mix ^= w; SplitMix(mix); }
        for (auto& s : s_) s = SplitMix(mix);
    }
    uint64_t Next() {
        const uint64_t result = Rotl(s_[1] * 5, 7) * 9, t = s_[1] << 17;
        s_[2] ^= s_[0]; s_[3] ^= s_[1]; s_[1] ^= s_[2]; s_[0] ^= s_[3];
        s_[2] ^= t; s_[3] = Rotl(s_[3], 45);
        return result;
    }
    double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int Below(int n) { return int(Uniform() * n); }
    // Box-Muller gives two deviates per logarithm; the second is kept for the next call.
    double Normal() {
        if (haveSpare_) { haveSpare_ = false; return spare_; }
        const double r = std::sqrt(-2.0 * std::log(1.0 - Uniform())), a = 2.0 * kPi * Uniform();
        spare_ = r * std::sin(a);
        haveSpare_ = true;
        return r * std::cos(a);
    }

private:
    static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t s_[4];
    double spare_ = 0.0;
    bool haveSpare_ = false;
};

struct TStar { double x, y, peak, sigma; };
struct THotPixel { int x, y; float excess; };

struct TOptions {
    std::string kind, prefix, out;
    int width = 640, height = 480, count = 5;
    uint64_t seed = 1;
    double driftX = 0.0, driftY = 0.0;
    bool driftGiven = false;
};

bool ParseInt(std::string_view text, int lo, int hi, int& value) {
    int v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
    value = v;
    return true;
}

bool ParseDrift(const std::string& text, double& dx, double& dy) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    char* end = nullptr;
    const std::string a = text.substr(0, comma), b = text.substr(comma + 1);
    dx = std::strtod(a.c_str(), &end);
    if (a.empty() || *end) return false;
    dy = std::strtod(b.c_str(), &end);
    if (b.empty() || *end) return false;
    return std::isfinite(dx) && std::isfinite(dy) && std::fabs(dx) <= 1000 && std::fabs(dy) <= 1000;
}

// Returns an empty string when the options are usable, else the complaint.
std::string ParseArgs(int argc, char** argv, TOptions& o, bool& help) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        if (arg == "--help" || arg == "-h") { help = true; return {}; }
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unexpected argument " + arg;
        }
        if (arg == "--kind") o.kind = value;
        else if (arg == "--prefix") o.prefix = value;
        else if (arg == "--out") o.out = value;
        else if (arg == "--width") { if (!ParseInt(value, 8, 32768, o.width)) return "--width must be 8..32768"; }
        else if (arg == "--height") { if (!ParseInt(value, 8, 32768, o.height)) return "--height must be 8..32768"; }
        else if (arg == "--count") { if (!ParseInt(value, 1, 9999, o.count)) return "--count must be 1..9999"; }
        else if (arg == "--seed") {
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), o.seed);
            if (ec != std::errc() || end != value.data() + value.size()) return "--seed must be a whole number 0..2^64-1";
        } else if (arg == "--drift") {
            if (!ParseDrift(value, o.driftX, o.driftY)) return "--drift must be DX,DY in pixels per frame, e.g. 0.7,-0.3";
            o.driftGiven = true;
        } else {
            return "unknown option " + arg;
        }
    }
    if (o.kind != "light" && o.kind != "dark" && o.kind != "flat") return "--kind must be light, dark or flat";
    if (o.out.empty()) return "--out DIR is required";
    if (o.driftGiven && o.kind != "light" && (o.driftX != 0.0 || o.driftY != 0.0))
        return "--drift applies to light frames only";
    if (o.prefix.empty()) o.prefix = o.kind;
    if (o.prefix.find('/') != std::string::npos) return "--prefix must be a plain name, without '/'";
    return {};
}

// The star catalogue: brightness follows a steep power law, so most stars are
// faint and a few percent overflow 255 and give flat-topped saturated cores.
std::vector<TStar> MakeStars(const TOptions& o) {
    TRandom rng{o.seed, uint64_t(o.width), uint64_t(o.height), 1};
    const int count = 150 + int(int64_t(o.width) * o.height / 16000);
    std::vector<TStar> stars(count);
    for (auto& s : stars) {
        s.x = rng.Uniform(0.0, o.width);
        s.y = rng.Uniform(0.0, o.height);
        s.peak = std::min(600.0, 14.0 * std::pow(1.0 - rng.Uniform(), -1.0 / 1.3));
        s.sigma = rng.Uniform(0.9, 2.2);
    }
    return stars;
}

std::vector<THotPixel> MakeHotPixels(const TOptions& o) {
    TRandom rng{o.seed, uint64_t(o.width), uint64_t(o.height), 2};
    const int count = std::max(8, int(int64_t(o.width) * o.height / 40000));
    std::vector<THotPixel> hot(count);
    for (auto& h : hot) h = {rng.Below(o.width), rng.Below(o.height), float(rng.Uniform(80.0, 200.0))};
    return hot;
}

// Adds each star only within 4 sigma of its centre: the frame size then costs
// nothing beyond the sky itself.
void AddStars(std::vector<float>& field, const TOptions& o, const std::vector<TStar>& stars, double dx, double dy) {
    std::vector<float> gx, gy;
    for (const TStar& s : stars) {
        const double cx = s.x + dx, cy = s.y + dy, r = std::ceil(4.0 * s.sigma);
        const int x0 = std::max(0, int(std::floor(cx - r))), x1 = std::min(o.width - 1, int(std::ceil(cx + r)));
        const int y0 = std::max(0, int(std::floor(cy - r))), y1 = std::min(o.height - 1, int(std::ceil(cy + r)));
        if (x0 > x1 || y0 > y1) continue;
        const double k = -0.5 / (s.sigma * s.sigma);
        gx.resize(x1 - x0 + 1);
        gy.resize(y1 - y0 + 1);
        // Pixel centres sit at integer coordinates, so sub-pixel drift moves the light between pixels.
        for (int x = x0; x <= x1; ++x) gx[x - x0] = float(std::exp(k * (x - cx) * (x - cx)));
        for (int y = y0; y <= y1; ++y) gy[y - y0] = float(s.peak * std::exp(k * (y - cy) * (y - cy)));
        for (int y = y0; y <= y1; ++y) {
            float* row = field.data() + size_t(y) * o.width;
            for (int x = x0; x <= x1; ++x) row[x] += gy[y - y0] * gx[x - x0];
        }
    }
}

// Vignetting falls to about 60 % in the corners; one dust mote (a soft dark
// ring around a fainter centre, as an out-of-focus speck looks) sits at a seed-chosen place.
void MakeFlatField(std::vector<float>& field, const TOptions& o) {
    TRandom rng{o.seed, uint64_t(o.width), uint64_t(o.height), 3};
    const double mx = rng.Uniform(0.2, 0.8) * o.width, my = rng.Uniform(0.2, 0.8) * o.height;
    const double radius = std::max(3.0, 0.035 * std::min(o.width, o.height) * rng.Uniform(0.8, 1.4));
    const double cx = 0.5 * (o.width - 1), cy = 0.5 * (o.height - 1), corner2 = cx * cx + cy * cy + 1.0;
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x) {
            const double r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / corner2;
            const double d = std::hypot(x - mx, y - my) / radius;
            const double ring = std::exp(-8.0 * (d - 0.8) * (d - 0.8)), core = std::exp(-2.0 * d * d);
            const double dust = 1.0 - 0.22 * ring - 0.10 * core;
            field[size_t(y) * o.width + x] = float(170.0 * (1.0 - 0.4 * r2) * dust);
        }
}

// The codec pads its texts for a fixed-width display; a message wants them bare.
std::string StatusText(uint32_t status) {
    if (status > BMP_BAD_POINTER) return std::strerror(int(status));
    std::string text = BmpErrorText(status);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    TOptions o;
    bool help = false;
    const std::string problem = ParseArgs(argc, argv, o, help);
    if (help) { std::fputs(kUsage, stdout); return 0; }
    if (!problem.empty()) {
        std::fprintf(stderr, "velmora-genframes: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    if (ec || !std::filesystem::is_directory(o.out)) {
        std::fprintf(stderr, "velmora-genframes: cannot create folder %s: %s\n", o.out.c_str(),
                     ec ? ec.message().c_str() : "a file of that name is in the way");
        return 1;
    }

    const bool light = o.kind == "light", dark = o.kind == "dark";
    const size_t pixels = size_t(o.width) * o.height;
    const double noise = light ? 3.0 : dark ? 2.0 : 2.5;
    std::vector<TStar> stars;
    if (light) stars = MakeStars(o);
    std::vector<float> base(pixels, light ? 20.0f : 8.0f), field;
    if (o.kind == "flat") MakeFlatField(base, o);
    // Hot pixels are dark current: an excess added alike to lights and darks,
    // so a subtracted master dark leaves the sky behind, not a hole.
    if (o.kind != "flat")
        for (const THotPixel& h : MakeHotPixels(o)) base[size_t(h.y) * o.width + h.x] += h.excess;

    TOwnedBmpRecord record;
    if (const uint32_t status = record.Create(o.width, o.height, 1); status != BMP_NO_ERROR) {
        std::fprintf(stderr, "velmora-genframes: cannot make a %dx%d frame: %s\n", o.width, o.height,
                     StatusText(status).c_str());
        return 1;
    }
    int result = 0;
    for (int i = 0; i < o.count && result == 0; ++i) {
        const float* src = base.data();
        if (light) {
            field = base;
            AddStars(field, o, stars, o.driftX * i, o.driftY * i);
            src = field.data();
        }
        TRandom rng{o.seed, uint64_t(o.width), uint64_t(o.height), 4, uint64_t(o.kind[0]), uint64_t(i)};
        uint8_t* dst = record->pixels;
        for (size_t p = 0; p < pixels; ++p) {
            const double v = src[p] + noise * rng.Normal() + 0.5;
            dst[p] = uint8_t(std::clamp(v, 0.0, 255.0));
        }
        char name[32];
        std::snprintf(name, sizeof name, "_%04d.bmp", i + 1);
        record->fileName = (std::filesystem::path(o.out) / (o.prefix + name)).string();
        if (const uint32_t status = WriteBmpFile(record.get()); status != BMP_NO_ERROR) {
            std::fprintf(stderr, "velmora-genframes: cannot write %s: %s\n", record->fileName.c_str(),
                         StatusText(status).c_str());
            result = 1;
        } else {
            std::printf("%s\n", record->fileName.c_str());
        }
    }
    return result;
}
