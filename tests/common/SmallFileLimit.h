// Lets a test make a write fail part way through without touching the code
// that writes: the file size limit is lowered while the test's steps run.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <functional>

namespace vt {

// Runs f while no file may grow past 4 KB, so that writing a bigger frame
// fails; reading is not limited. False, without running f, where the limit
// cannot be lowered.
inline bool WithSmallFileLimit(const std::function<void()>& f) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit lower{4096, old.rlim_max};
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    const bool limited = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    if (limited) f();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    return limited;
}

}  // namespace vt
