// What the velmora-cli tests share: the programs run as a script runs them,
// frames made byte by byte, writable copies of the shared sky frames, and an
// independent reader (PIL and numpy) to hold the results against.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "untBmpUtil.h"

namespace vcli {

using Bytes = std::vector<uint8_t>;
constexpr auto npos = std::string::npos;

struct Result {
    int status;
    std::string output;  // standard output and standard error together
};

// Runs program in cwd; file names in args are relative to it, which keeps command lines short.
inline Result RunIn(const std::string& program, const std::string& args, const std::string& cwd = ".") {
    Result r;
    r.status = vt::RunCommand("cd " + vt::ShellQuote(cwd) + " && " + vt::ShellQuote(program) + " " + args, &r.output);
    return r;
}

inline Result Cli(const std::string& args, const std::string& cwd = ".") {
    return RunIn(VELMORA_CLI_PATH, args + " </dev/null", cwd);
}

inline int Gen(const std::string& args, const std::string& cwd = ".") {
    return RunIn(VELMORA_GENFRAMES_PATH, args, cwd).status;
}

// A one-row frame holding exactly these bytes.
inline void Frame(const vt::TempDir& dir, const std::string& name, const Bytes& pixels) {
    vt::BmpLayout s;
    s.width = static_cast<int>(pixels.size());
    s.pixels = pixels;
    vt::WriteBytes(dir.file(name), vt::BuildBmp(s));
}

inline Bytes Pixels(const std::string& path) {
    BmpRecord r;
    r.fileName = path;
    EXPECT_EQ(ReadBmpFile(&r), BMP_NO_ERROR) << path;
    Bytes v = r.pixels ? Bytes(r.pixels, r.pixels + BmpPixelBytes(r)) : Bytes{};
    FreeBmpBuffers(r);
    return v;
}

inline std::string SkyDir() { return vt::TestDataDir() + "/sky/m51/"; }

// The shared frames are read-only and the commands write over theirs: they get copies.
inline void Sky(const vt::TempDir& dir, const std::vector<std::string>& names) {
    for (const auto& n : names) vt::WriteBytes(dir.file(n), vt::ReadBytes(SkyDir() + n));
}

// Every file in the folder with its bytes: equal snapshots mean nothing was written.
inline std::map<std::string, Bytes> Snapshot(const vt::TempDir& dir) {
    std::map<std::string, Bytes> files;
    for (const auto& e : dir.entries()) files[e] = vt::ReadBytes(dir.file(e));
    return files;
}

#define VCLI_REQUIRE_SKY_AND_NUMPY()                                                \
    do {                                                                            \
        VT_REQUIRE_TESTDATA();                                                      \
        if (vt::RunCommand("/usr/bin/python3 -c 'import PIL, numpy'") != 0)         \
            GTEST_SKIP() << "/usr/bin/python3 with PIL and numpy is not installed"; \
    } while (0)

// What a numpy script run in cwd prints. The script has sky (the shared
// frames' folder), a (the file arguments) and px(path) (a frame's values as
// PIL decodes them).
inline std::string Numpy(const std::string& body, const std::string& args, const std::string& cwd) {
    const std::string script =
        "import sys, numpy as np\nfrom PIL import Image\nsky, a = sys.argv[1], sys.argv[2:]\n"
        "def px(p): return np.asarray(Image.open(p)).astype(np.int64)\n" +
        body;
    return RunIn("/usr/bin/python3", "-c " + vt::ShellQuote(script) + " " + vt::ShellQuote(SkyDir()) + " " + args, cwd)
        .output;
}

// A file-by-file command over two real frames with junk between them: the
// junk is reported and left as it was, and the frame after it is still done.
inline void RunOverABadFile(const vt::TempDir& dir, const std::string& command) {
    Sky(dir, {"m51_001.bmp", "m51_002.bmp"});
    vt::WriteBytes(dir.file("junk.bmp"), Bytes(30, 'x'));
    const auto r = Cli(command + " m51_001.bmp junk.bmp m51_002.bmp", dir.path());
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.output, "Error: File error: junk.bmp\n") << command;
    EXPECT_EQ(vt::ReadBytes(dir.file("junk.bmp")), Bytes(30, 'x')) << command;
    EXPECT_NE(vt::ReadBytes(dir.file("m51_002.bmp")), vt::ReadBytes(SkyDir() + "m51_002.bmp")) << command;
}

}  // namespace vcli
