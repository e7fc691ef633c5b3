// A frame on disk is replaced only by a complete new file: every failure
// leaves the old bytes and no stray file behind.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestFiles.h"
#include "Unprivileged.h"
#include "untBmpUtil.h"
#include "untSafeFile.h"

namespace {

const std::vector<uint8_t> kOld(2000, 0x5A);

std::vector<uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// A 24-bit 1000 x 20 frame: 60,054 bytes once written.
BmpRecord* MakeFrame(const std::string& name) {
    BmpRecord* r = nullptr;
    if (CreateBmpRecord(r, 1000, 20, 3) != BMP_NO_ERROR) return nullptr;
    for (size_t i = 0; i < BmpPixelBytes(*r); ++i) r->pixels[i] = uint8_t(i * 7);
    r->fileName = name;
    return r;
}

void DeleteFrame(BmpRecord* r) {
    FreeBmpBuffers(r);
    delete r;
}

// The process may not grow any file beyond limit bytes while it lives, which
// makes a real write fail part-way (EFBIG instead of a signal).
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = limit;
        ok_ = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    sighandler_t oldHandler_;
    bool ok_ = false;
};

TEST(SafeFile, WritesANewFileAndLeavesNothingElse) {
    vt::TempDir dir;
    const mode_t oldMask = umask(022);
    std::string error;
    const bool ok = ReplaceFileContents(dir.file("a.txt"), "hello", 5, &error);
    umask(oldMask);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(vt::ReadBytes(dir.file("a.txt")), Text("hello"));
    EXPECT_EQ(ModeOf(dir.file("a.txt")), 0644u) << "a new file gets 0666 less the umask";
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.txt"});
}

TEST(SafeFile, ReplacementKeepsThePermissionBits) {
    vt::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    vt::WriteBytes(path, kOld);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(ReplaceFileContents(path, "new", 3));
    EXPECT_EQ(vt::ReadBytes(path), Text("new"));
    EXPECT_EQ(ModeOf(path), 0640u);
}

TEST(SafeFile, SymbolicLinksAreFollowedAndKept) {
    vt::TempDir dir;
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    vt::WriteBytes(dir.file("real.bmp"), kOld);
    // A relative link is relative to its own folder, not to the working folder.
    ASSERT_EQ(symlink("../real.bmp", dir.file("sub/link.bmp").c_str()), 0);
    ASSERT_TRUE(ReplaceFileContents(dir.file("sub/link.bmp"), "via link", 8));
    struct stat st;
    ASSERT_EQ(lstat(dir.file("sub/link.bmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(vt::ReadBytes(dir.file("real.bmp")), Text("via link"));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"real.bmp", "sub"}));

    // A dangling link creates the file it names.
    ASSERT_EQ(symlink("made.bmp", dir.file("dangling.bmp").c_str()), 0);
    ASSERT_TRUE(ReplaceFileContents(dir.file("dangling.bmp"), "x", 1));
    EXPECT_EQ(vt::ReadBytes(dir.file("made.bmp")), Text("x"));
    ASSERT_EQ(lstat(dir.file("dangling.bmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(SafeFile, WorkInProgressIsAHiddenFileBesideTheTargetAndGoesWhenAbandoned) {
    vt::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    vt::WriteBytes(path, kOld);
    {
        TSafeFileWriter w;
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.Write("partial", 7));
        const std::vector<std::string> during = dir.entries();
        ASSERT_EQ(during.size(), 2u);
        EXPECT_EQ(during[0][0], '.');
        EXPECT_EQ(vt::ReadBytes(path), kOld);
    }  // never committed
    EXPECT_EQ(vt::ReadBytes(path), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"frame.bmp"});
}

TEST(SafeFile, RefusesAFolderAsTarget) {
    vt::TempDir dir;
    std::string error;
    EXPECT_FALSE(ReplaceFileContents(dir.path(), "x", 1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(dir.entries().empty());
}

// ---- Failures that leave the user's frame as it was ----

TEST(SafeFile, AFailingWriteLeavesTheOriginalByteIdentical) {
    vt::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    vt::WriteBytes(path, kOld);
    BmpRecord* r = MakeFrame(path);
    ASSERT_NE(r, nullptr);
    uint32_t status = BMP_NO_ERROR;
    bool limited = false;
    {
        TFileSizeLimit limit(4096);
        limited = limit.ok();
        if (limited) status = WriteBmpFile(r);
    }
    if (!limited) {
        DeleteFrame(r);
        GTEST_SKIP() << "cannot lower the file size limit";
    }
    EXPECT_EQ(status, BMP_FILE_ERROR);
    EXPECT_EQ(r->status, BMP_FILE_ERROR);
    EXPECT_EQ(vt::ReadBytes(path), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"frame.bmp"});

    // The same frame goes through once the disk has room again.
    ASSERT_EQ(WriteBmpFile(r), BMP_NO_ERROR);
    EXPECT_EQ(vt::ReadBytes(path).size(), 54u + 3000 * 20);
    DeleteFrame(r);
}

TEST(SafeFile, AnUnwritableFolderFailsCleanly) {
    vt::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    vt::WriteBytes(path, kOld);
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    BmpRecord* r = MakeFrame(path);
    ASSERT_NE(r, nullptr);
    VT_RUN_UNPRIVILEGED(code, [&] { return int(WriteBmpFile(r)); });
    DeleteFrame(r);
    EXPECT_EQ(code, int(BMP_FILE_ERROR));
    EXPECT_EQ(vt::ReadBytes(path), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"frame.bmp"});
}

TEST(SafeFile, AReadOnlyFrameStaysReadOnlyInAWritableFolder) {
    vt::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    vt::WriteBytes(path, kOld);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    // The folder is open to everyone, so only the check on the file itself stops the rename.
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    BmpRecord* r = MakeFrame(path);
    ASSERT_NE(r, nullptr);
    VT_RUN_UNPRIVILEGED(code, [&] { return int(WriteBmpFile(r)); });
    DeleteFrame(r);
    EXPECT_EQ(code, int(BMP_FILE_ERROR));
    EXPECT_EQ(vt::ReadBytes(path), kOld);
    EXPECT_EQ(ModeOf(path), 0444u);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"frame.bmp"});
}

}  // namespace
