// A frame on disk is replaced only by a complete new file: a failure leaves
// the old bytes and no stray file behind. How every writer fares when the
// disk fills is in tests/toolkit/test_BmpCodec.cpp.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "TestFiles.h"
#include "untSafeFile.h"

namespace {

const std::vector<uint8_t> kOld(2000, 0x5A);

std::vector<uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// fn's result (0..254) in a child process that ends with _exit; -1 when
// the child could not run it.
int RunChild(const std::function<int()>& fn) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(fn() & 0xff);
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

// Permission checks mean nothing to root, and the tests often run as root:
// then fn runs in a child that gives root up. fn's result (0..254), or -1
// when root could not be given up.
int RunUnprivileged(const std::function<int()>& fn) {
    if (geteuid() != 0) return fn();
    return RunChild([&] { return setgroups(0, nullptr) || setgid(65534) || setuid(65534) ? 255 : fn(); });
}

TEST(SafeFile, PermissionBitsAreKeptAndAReadOnlyFrameIsNotReplaced) {
    vt::TempDir dir;
    const std::string path = dir.file("frame.bmp");
    const mode_t oldMask = umask(022);
    const bool created = ReplaceFileContents(path, "old", 3);
    umask(oldMask);
    ASSERT_TRUE(created);
    EXPECT_EQ(ModeOf(path), 0644u) << "0666 less the umask, whatever the temporary file had";
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(ReplaceFileContents(path, "new", 3));
    EXPECT_EQ(vt::ReadBytes(path), Text("new"));
    EXPECT_EQ(ModeOf(path), 0640u);

    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    // The folder is open to everyone, so only the check on the file itself can stop the rename.
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const int replaced = RunUnprivileged([&] { return int(ReplaceFileContents(path, "other", 5)); });
    if (replaced < 0) GTEST_SKIP() << "running as root and cannot switch to an ordinary user";
    EXPECT_EQ(replaced, 0);
    EXPECT_EQ(vt::ReadBytes(path), Text("new"));
    EXPECT_EQ(ModeOf(path), 0444u);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"frame.bmp"});
}

TEST(SafeFile, SymbolicLinksAreFollowedAndKept) {
    vt::TempDir dir;
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    vt::WriteBytes(dir.file("real.bmp"), kOld);
    // A relative link is relative to its own folder, not to the working folder.
    ASSERT_EQ(symlink("../real.bmp", dir.file("sub/link.bmp").c_str()), 0);
    ASSERT_TRUE(ReplaceFileContents(dir.file("sub/link.bmp"), "via link", 8));
    EXPECT_EQ(vt::ReadBytes(dir.file("real.bmp")), Text("via link"));
    // A dangling link creates the file it names.
    ASSERT_EQ(symlink("made.bmp", dir.file("dangling.bmp").c_str()), 0);
    ASSERT_TRUE(ReplaceFileContents(dir.file("dangling.bmp"), "x", 1));
    EXPECT_EQ(vt::ReadBytes(dir.file("made.bmp")), Text("x"));
    struct stat st {};
    for (const char* link : {"sub/link.bmp", "dangling.bmp"})
        EXPECT_TRUE(lstat(dir.file(link).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << link << " is still a link";
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"dangling.bmp", "made.bmp", "real.bmp", "sub"}));
}

}  // namespace

// A program that must end at once (a second interrupt) takes the files it
// was still writing with it.
TEST(SafeFile, AnAbruptEndLeavesNoTemporaryFile) {
    vt::TempDir dir;
    const int status = RunChild([&]() -> int {
        TSafeFileWriter writer;
        const bool writing = writer.Open(dir.file("frame.bmp")) && writer.Write("half", 4);
        RemoveTempFilesForExit();
        _exit(writing);  // the writer's own clean-up would wait for good
    });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
}
