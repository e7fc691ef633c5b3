#include "untSafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

namespace {

// The file a path finally names, following symbolic links one hop at a time
// so that a dangling link still leads to the file it would create.
std::string ResolveLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return path;  // changed under us: let open() decide
        link.resize(static_cast<size_t>(n));
        if (link[0] == '/') {
            path = link;
        } else {
            const size_t slash = path.rfind('/');
            path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
        }
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix() {
    static thread_local std::mt19937_64 rng{std::random_device{}() ^
                                            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                                            static_cast<uint64_t>(getpid())};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string s(8, 'x');
    for (char& c : s) c = kChars[rng() % (sizeof kChars - 1)];
    return s;
}

// The temporary files that exist now, for an abrupt end to remove. A name
// joins and leaves the list under the same lock as the file's creation,
// rename or removal, so no temporary file ever exists unlisted.
struct TTempFiles {
    std::mutex mutex;
    std::vector<std::string> paths;

    void Forget(const std::string& path) {
        for (auto& p : paths)
            if (p == path) {
                p.swap(paths.back());
                paths.pop_back();
                return;
            }
    }
};

// Never destroyed: a writer on another thread may still be busy while the
// program ends.
TTempFiles& TempFiles() {
    static auto* files = new TTempFiles;
    return *files;
}

}  // namespace

void RemoveTempFilesForExit() {
    TTempFiles& files = TempFiles();
    files.mutex.lock();  // held for good: no writer may start another file now
    for (const auto& p : files.paths) unlink(p.c_str());
}

TSafeFileWriter::~TSafeFileWriter() { Abandon(); }

bool TSafeFileWriter::Fail(const std::string& what) {
    const int err = errno;
    errno_ = err;
    error_ = what;
    if (err != 0) error_ += std::string(": ") + std::strerror(err);
    Abandon();
    return false;
}

bool TSafeFileWriter::Open(const std::string& target) {
    Abandon();
    error_.clear();
    errno_ = 0;
    errno = 0;
    if (target.empty()) return Fail("no file name given");
    target_ = ResolveLinks(target);
    keepMode_ = false;
    mode_ = 0666;

    struct stat st;
    if (stat(target_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            errno = 0;
            return Fail(target_ + " is not a regular file");
        }
        // The rename would succeed even on a read-only file, since only the
        // folder is written; the user's protection of the file must still hold.
        if (access(target_.c_str(), W_OK) != 0) return Fail("cannot write " + target_);
        mode_ = st.st_mode & 07777;
        keepMode_ = true;
    } else if (errno != ENOENT) {
        return Fail("cannot examine " + target_);
    }

    // A new file gets 0666 less the umask, exactly as a plain open() would
    // have given it; an existing file's bits are restored before the rename.
    const std::string prefix = FolderOf(target_) + "/." + BaseOf(target_) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + RandomSuffix() + ".tmp";
        TTempFiles& files = TempFiles();
        std::unique_lock<std::mutex> lock(files.mutex);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                            keepMode_ ? 0600 : 0666);
        const int err = errno;
        if (fd >= 0) files.paths.push_back(name);
        lock.unlock();
        errno = err;
        if (fd >= 0) {
            fd_ = fd;
            temp_ = std::move(name);
            return true;
        }
        if (errno != EEXIST && errno != EINTR) break;
    }
    return Fail("cannot create a file in " + FolderOf(target_));
}

bool TSafeFileWriter::Write(const void* data, size_t size) {
    if (fd_ < 0) {
        errno = 0;
        if (error_.empty()) error_ = "no file is open for writing";
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail("cannot write " + target_);
        }
        if (n == 0) {
            errno = ENOSPC;
            return Fail("cannot write " + target_);
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool TSafeFileWriter::Commit() {
    if (fd_ < 0) {
        errno = 0;
        if (error_.empty()) error_ = "no file is open for writing";
        return false;
    }
    if (keepMode_) {
        if (fchmod(fd_, mode_) != 0) return Fail("cannot set the permissions of " + target_);
        // Best effort: when root rewrites a user's frame it should stay theirs.
        struct stat old, now;
        if (stat(target_.c_str(), &old) == 0 && fstat(fd_, &now) == 0 &&
            (old.st_uid != now.st_uid || old.st_gid != now.st_gid))
            (void)!fchown(fd_, old.st_uid, old.st_gid);
    }
    // Without the flush a crash after the rename could leave an empty file
    // where the user's frame used to be.
    if (fsync(fd_) != 0 && errno != EINVAL) return Fail("cannot flush " + target_);
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return Fail("cannot close " + target_);
    {
        TTempFiles& files = TempFiles();
        std::unique_lock<std::mutex> lock(files.mutex);
        if (rename(temp_.c_str(), target_.c_str()) != 0) {
            const int err = errno;
            lock.unlock();
            errno = err;
            return Fail("cannot replace " + target_);
        }
        files.Forget(temp_);
    }
    temp_.clear();
    // Make the rename itself durable; a folder that refuses is no error.
    const int dir = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)fsync(dir);
        close(dir);
    }
    return true;
}

void TSafeFileWriter::Abandon() {
    const int saved = errno;
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        TTempFiles& files = TempFiles();
        std::lock_guard<std::mutex> lock(files.mutex);
        unlink(temp_.c_str());
        files.Forget(temp_);
        temp_.clear();
    }
    errno = saved;
}

bool ReplaceFileContents(const std::string& path, const void* data, size_t size, std::string* error) {
    TSafeFileWriter writer;
    const bool ok = writer.Open(path) && writer.Write(data, size) && writer.Commit();
    if (!ok && error) *error = writer.Error();
    return ok;
}
