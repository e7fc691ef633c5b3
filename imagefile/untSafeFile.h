// Replacing a file only by a complete new one: the bytes go to a temporary
// file in the target's folder, and only when every write, the flush to disk
// and the close succeeded is it renamed over the target. Anything less
// leaves the target as it was and removes the temporary file.
#pragma once

#include <cstddef>
#include <string>

class TSafeFileWriter {
public:
    TSafeFileWriter() = default;
    TSafeFileWriter(const TSafeFileWriter&) = delete;
    TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;
    ~TSafeFileWriter();  // abandons an uncommitted file

    // Creates the temporary file beside target. Fails (false, with Error()
    // set) when the folder cannot be written, or when target exists and the
    // user may not write it: a read-only frame stays read-only.
    [[nodiscard]] bool Open(const std::string& target);
    [[nodiscard]] bool Write(const void* data, size_t size);
    // Flushes, closes and renames over the target; a symbolic link target is
    // followed, so the link stays and the file it names is replaced.
    [[nodiscard]] bool Commit();
    void Abandon();

    const std::string& Error() const { return error_; }
    // The system's error number behind Error(); 0 when no system call failed.
    int ErrorNumber() const { return errno_; }

private:
    bool Fail(const std::string& what);

    int fd_ = -1;
    std::string target_;
    std::string temp_;
    std::string error_;
    int errno_ = 0;
    unsigned mode_ = 0666;
    bool keepMode_ = false;
};

// For a program about to end at once (a second interrupt): removes every
// temporary file a writer in this process still holds, and keeps any writer
// from creating or renaming one from then on. Never returns control to
// writers, so call _exit right after it.
void RemoveTempFilesForExit();

// Writes size bytes to path through TSafeFileWriter; false and *error set on failure.
[[nodiscard]] bool ReplaceFileContents(const std::string& path, const void* data, size_t size,
                                       std::string* error = nullptr);
