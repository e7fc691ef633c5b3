// What the velmora-cli tests share: the programs run as a script runs them,
// writable copies of the shared sky frames, and an independent reader (PIL
// and numpy) to hold the results against.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFiles.h"

namespace vcli {

using Bytes = std::vector<uint8_t>;
using vt::FramePixels;
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

inline std::string SkyDir() { return vt::TestDataDir() + "/sky/m51/"; }

// The shared frames are read-only and the commands write over theirs: they get copies.
inline void Sky(const vt::TempDir& dir, const std::vector<std::string>& names) {
    for (const auto& n : names) vt::WriteBytes(dir.file(n), vt::ReadBytes(SkyDir() + n));
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

}  // namespace vcli
