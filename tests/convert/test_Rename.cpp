// "Rename" end to end in a temporary folder: numbering styles, clashes,
// refusals, and folders whose names hold a dot.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../calibration/CalibrationSession.h"
#include "untRename.h"

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

}  // namespace

TEST(Rename, GivesRootNumberAndExtensionAndReportsATakenOrRefusedName) {
    Session s;
    ASSERT_EQ(mkdir(s.dir.file("m42.2024").c_str(), 0755), 0);
    Texts files = Touch(s.dir, {"m42.2024/b.bmp", "m42.2024/a.v2.bmp", "m42.2024/c"});
    s.port.AnswerOpen(files);
    s.port.AnswerRename("m42", false);
    RunRename(s.state, s.port);
    EXPECT_EQ(s.port.statuses, (Texts{"Renaming " + files[0], "Renaming " + files[1], "Renaming " + files[2], "Idle"}));
    EXPECT_EQ(vt::ReadBytes(s.dir.file("m42.2024/m421.bmp")), Bytes{0});  // list order, not name order
    EXPECT_EQ(vt::ReadBytes(s.dir.file("m42.2024/m422.v2.bmp")), Bytes{1});
    EXPECT_EQ(vt::ReadBytes(s.dir.file("m42.2024/m423")), Bytes{2});

    // x would become 1.bmp, which its own series holds until the next step;
    // a folder counts as taken; a root into a missing folder is refused.
    files = Touch(s.dir, {"x.bmp", "1.bmp", "y.bmp", "z.bmp"});
    ASSERT_EQ(mkdir(s.dir.file("3.bmp").c_str(), 0755), 0);
    s.port.AnswerOpen({files[0], files[1], files[2]});
    s.port.AnswerRename("", false);
    RunRename(s.state, s.port);
    s.port.AnswerOpen({files[3]});
    s.port.AnswerRename("gone/m", false);
    RunRename(s.state, s.port);
    EXPECT_EQ(s.Messages(), (Texts{"Error: File [1.bmp] exists.", "Error: File [3.bmp] exists.",
                                   "Error: Cannot rename " + files[3] + " to " + s.dir.file("gone/m1.bmp") +
                                       ": No such file or directory"}));
    EXPECT_EQ(s.dir.entries(), (Texts{"2.bmp", "3.bmp", "m42.2024", "x.bmp", "y.bmp", "z.bmp"}));
    EXPECT_EQ(vt::ReadBytes(s.dir.file("2.bmp")), Bytes{1});
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

    s.port.statuses.clear();  // Cancel: no dialog, no status
    s.port.CancelOpen();
    RunRename(s.state, s.port);
    EXPECT_EQ(s.port.renameAsked, 1);
    EXPECT_TRUE(s.port.statuses.empty());
}
