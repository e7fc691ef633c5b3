// Permission checks mean nothing to root, and the tests often run as root
// (containers, CI). Such checks run here as an ordinary user: directly when
// the tests are not root, otherwise in a child process that gives up root.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

namespace vt {

constexpr int kNoUnprivilegedRun = -1;

// fn's result (0..254), or kNoUnprivilegedRun when root could not be given up.
inline int RunUnprivileged(const std::function<int()>& fn) {
    if (geteuid() != 0) return fn();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return kNoUnprivilegedRun;
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(255);
        _exit(fn() & 0xff);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255) return kNoUnprivilegedRun;
    return WEXITSTATUS(status);
}

}  // namespace vt

#define VT_RUN_UNPRIVILEGED(result, fn)                                                   \
    const int result = vt::RunUnprivileged(fn);                                           \
    if (result == vt::kNoUnprivilegedRun)                                                 \
        GTEST_SKIP() << "running as root and cannot switch to an ordinary user to check permissions"
