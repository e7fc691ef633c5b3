// velmora-cli cut short: an interrupt, a second one, the file-size limit.
// Every frame is then replaced whole or left as it was, no temporary file
// stays, and standard error says what was done.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "TestFiles.h"

using Bytes = std::vector<uint8_t>;

TEST(CliSignals, AnInterruptStopsAfterTheFileInHandASecondAtOnceNoTemporaryFileStays) {
    // signal, how often, exit status, how standard error ends
    const std::tuple<int, int, int, std::string> cases[] = {
        {SIGINT, 1, 130, "Stopped: 1 of 3 frames written\nNot written: junk.bmp\nNot written: b.bmp\n"},
        {SIGTERM, 2, 143, ""}};
    for (const auto& [sig, times, status, ends] : cases) {
        vt::TempDir dir;
        vt::WriteFrame(dir.file("a.bmp"), {1, 2});
        vt::WriteFrame(dir.file("b.bmp"), {3, 4});
        vt::WriteBytes(dir.file("junk.bmp"), Bytes(30, 'x'));
        const Bytes b = vt::ReadBytes(dir.file("b.bmp"));
        // Standard error goes into a pipe the test has filled: the program's
        // first message holds it there (a.bmp done, b.bmp not begun) until the test reads.
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        for (const size_t n : {512, 1})
            while (write(fds[1], std::string(512, '#').data(), n) > 0) {
            }
        for (const int fd : fds) fcntl(fd, F_SETFL, 0);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 2);
            for (const int s : {SIGINT, SIGTERM}) signal(s, SIG_DFL);  // as from a terminal
            if (chdir(dir.path().c_str()) == 0)
                execl(VELMORA_CLI_PATH, "velmora-cli", "resize", "a.bmp", "junk.bmp", "b.bmp", nullptr);
            _exit(127);
        }
        close(fds[1]);
        for (int i = 0; i < 20000 && vt::ReadBytes(dir.file("a.bmp")).size() == b.size(); ++i) usleep(500);
        for (int i = 0; i < times; ++i) {
            kill(pid, sig);
            // Until the program has taken it: two of a kind waiting count as one.
            for (bool pending = true; pending; usleep(500)) {
                std::ifstream in("/proc/" + std::to_string(pid) + "/status");
                pending = false;
                for (std::string line; std::getline(in, line);)
                    if (line.rfind("ShdPnd:", 0) == 0) pending = (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
            }
        }
        std::string output;
        char buf[4096];
        for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) output.append(buf, static_cast<size_t>(n));
        close(fds[0]);
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == status) << wstatus;
        // Whether junk.bmp's error comes first depends on when the interrupt arrived.
        EXPECT_TRUE(output.erase(0, output.find_first_not_of('#')).ends_with(ends)) << output;
        EXPECT_EQ(vt::FramePixels(dir.file("a.bmp")), (Bytes{1, 1, 2, 2, 1, 1, 2, 2}));
        EXPECT_EQ(vt::ReadBytes(dir.file("b.bmp")), b);
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.bmp", "b.bmp", "junk.bmp"}));
    }
}

TEST(CliSignals, OverTheFileSizeLimitAWriteFailsWithItsReason) {
    vt::TempDir dir;
    for (const char* name : {"a.bmp", "c.bmp"}) vt::WriteFrame(dir.file(name), Bytes(16, 9), 4);
    for (const char* name : {"big.bmp", "big2.bmp", "d.bmp"}) vt::WriteFrame(dir.file(name), Bytes(10000, 50), 100);
    const Bytes big = vt::ReadBytes(dir.file("big.bmp"));
    const std::pair<const char*, const char*> cases[] = {
        {"erode a.bmp big.bmp c.bmp",
         "Error: File error: big.bmp: File too large\nSummary: 2 of 3 frames written\nNot written: big.bmp\n"},
        {"dark-subtract --mode normal --yes --dark d.bmp big.bmp big2.bmp",
         "Error: big.bmp could not be saved: cannot write big.bmp: File too large\n"
         "Summary: 0 of 2 frames written\nNot written: big.bmp\nNot written: big2.bmp\n"},
        {"to-fits big.bmp", "Error: File error: big.bmp: File too large\n"},
    };
    for (const auto& [args, says] : cases) {
        std::string output;
        // 4 KB in 512-byte blocks, 8 KB in 1 KB ones: the small frames fit, the big ones do not.
        EXPECT_EQ(vt::RunCommand("cd " + vt::ShellQuote(dir.path()) + " && ulimit -f 8 && " +
                                     vt::ShellQuote(VELMORA_CLI_PATH) + " " + args, &output), 1);
        EXPECT_EQ(output, says) << args;
        EXPECT_EQ(vt::ReadBytes(dir.file("big.bmp")), big);
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.bmp", "big.bmp", "big2.bmp", "c.bmp", "d.bmp"}));
    }
}
