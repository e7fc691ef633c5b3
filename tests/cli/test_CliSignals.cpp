// velmora-cli cut short, as a user or the system does it: an interrupt, a
// second one, the file-size limit. Every frame is then replaced whole or left
// as it was, no temporary file stays, and standard error says what was done.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "TestFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

// resize over a.bmp, junk.bmp and b.bmp, with standard error into a pipe the
// test has filled: the first message holds the program (a.bmp done, b.bmp
// not begun) until the test reads the pipe.
pid_t StartHeldByItsMessages(const vt::TempDir& dir, int* err) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    const std::string filler(512, '#');
    for (const size_t n : {filler.size(), size_t{1}})
        while (write(fds[1], filler.data(), n) > 0) {
        }
    fcntl(fds[1], F_SETFL, 0);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 2);
        // As from a terminal, whatever the test runner was started with.
        for (const int sig : {SIGINT, SIGTERM}) signal(sig, SIG_DFL);
        if (chdir(dir.path().c_str()) == 0)
            execl(VELMORA_CLI_PATH, "velmora-cli", "resize", "a.bmp", "junk.bmp", "b.bmp", nullptr);
        _exit(127);
    }
    close(fds[1]);
    *err = fds[0];
    return pid;
}

// Until the program's thread for interrupts has taken it: two of a kind
// waiting together would count as one.
bool Pending(pid_t pid, int sig) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("ShdPnd:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
    return false;
}

std::string DrainAfterFiller(int fd) {
    std::string all;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) all.append(buf, static_cast<size_t>(n));
    close(fd);
    return all.erase(0, all.find_first_not_of('#'));
}

}  // namespace

TEST(CliSignals, AnInterruptStopsAfterTheFileInHandASecondAtOnceNoTemporaryFileStays) {
    // signal, how often, exit status, how standard error ends
    const std::tuple<int, int, int, std::string> cases[] = {
        {SIGINT, 1, 130, "Stopped: 1 of 3 frames written\nNot written: junk.bmp\nNot written: b.bmp\n"},
        {SIGTERM, 2, 143, ""},
    };
    for (const auto& [sig, times, status, ends] : cases) {
        vt::TempDir dir;
        vt::WriteFrame(dir.file("a.bmp"), {1, 2});
        vt::WriteFrame(dir.file("b.bmp"), {3, 4});
        vt::WriteBytes(dir.file("junk.bmp"), Bytes(30, 'x'));
        const Bytes b = vt::ReadBytes(dir.file("b.bmp"));
        int err = -1;
        const pid_t pid = StartHeldByItsMessages(dir, &err);
        ASSERT_GT(pid, 0);
        for (int i = 0; i < 20000 && vt::ReadBytes(dir.file("a.bmp")).size() == b.size(); ++i) usleep(500);
        for (int i = 0; i < times; ++i) {
            kill(pid, sig);
            while (Pending(pid, sig)) usleep(500);
        }
        const std::string output = DrainAfterFiller(err);
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == status) << sig << " " << wstatus;
        // Whether junk.bmp's error came first depends on when the interrupt arrived.
        EXPECT_TRUE(output.size() >= ends.size() && output.compare(output.size() - ends.size(), ends.size(), ends) == 0)
            << output;
        EXPECT_EQ(vt::FramePixels(dir.file("a.bmp")), (Bytes{1, 1, 2, 2, 1, 1, 2, 2}));
        EXPECT_EQ(vt::ReadBytes(dir.file("b.bmp")), b);
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.bmp", "b.bmp", "junk.bmp"}));
    }
}

// A write over the file-size limit fails with the system's reason instead of
// ending the program, and the batch says which frames it could not write.
TEST(CliSignals, OverTheFileSizeLimitAWriteFailsWithItsReason) {
    vt::TempDir dir;
    for (const char* name : {"a.bmp", "c.bmp"}) vt::WriteFrame(dir.file(name), Bytes(16, 9), 4);
    for (const char* name : {"big.bmp", "big2.bmp", "d.bmp"}) vt::WriteFrame(dir.file(name), Bytes(10000, 50), 100);
    const auto before = vt::Manifest(dir);
    const std::pair<const char*, const char*> cases[] = {
        {"erode a.bmp big.bmp c.bmp", "Error: File error: big.bmp: File too large\n"
                                      "Summary: 2 of 3 frames written\nNot written: big.bmp\n"},
        {"dark-subtract --mode normal --yes --dark d.bmp big.bmp big2.bmp",
         "Error: big.bmp could not be saved: cannot write big.bmp: File too large\n"
         "Summary: 0 of 2 frames written\nNot written: big.bmp\nNot written: big2.bmp\n"},
        {"to-fits big.bmp", "Error: File error: big.bmp: File too large\n"},
    };
    for (const auto& [args, says] : cases) {
        std::string output;
        // 4 KB in 512-byte blocks, 8 KB in 1 KB ones: the small frames fit, the big ones do not.
        const int status = vt::RunCommand("cd " + vt::ShellQuote(dir.path()) + " && ulimit -f 8 && " +
                                              vt::ShellQuote(VELMORA_CLI_PATH) + " " + args,
                                          &output);
        EXPECT_EQ(status, 1) << args;
        EXPECT_EQ(output, says) << args;
        // a.bmp and c.bmp were written again, with this program's resolution fields.
        for (const char* name : {"big.bmp", "big2.bmp"}) EXPECT_EQ(vt::ReadBytes(dir.file(name)), before.at(name));
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.bmp", "big.bmp", "big2.bmp", "c.bmp", "d.bmp"}));
    }
}
