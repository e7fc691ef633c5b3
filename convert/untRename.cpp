#include "untRename.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "untBatch.h"
#include "untFileNames.h"

namespace {

// Renames without ever replacing an existing entry: 0 or an errno value,
// EEXIST when the new name is taken.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without the flag: a hard link fails on an existing name
    // just as atomically; the old name goes only once the new one holds.
    if (link(from.c_str(), to.c_str()) != 0) return errno;
    if (unlink(from.c_str()) != 0) {
        const int err = errno;
        unlink(to.c_str());
        return err;
    }
    return 0;
}

// Any entry counts as taken, a folder or a dangling link included.
bool NameTaken(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string RenameNumber(size_t index, size_t count, bool padded) {
    std::string number = std::to_string(index + 1);
    const size_t width = !padded ? 0 : count >= 100 ? 3 : count >= 10 ? 2 : 0;
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    return number;
}

void RunRename(TMainState& state, TUiPort& port) {
    if (!OpenFilesStep(state, port, ofAllowMultiSelect | ofFileMustExist)) return;
    const std::vector<std::string> files = port.OpenDialog().Files;
    const TRenameParms parms = port.Dialogs().AskRenameParms();
    if (files.empty()) return;
    // A root is the start of a name: a separator in it would move the files.
    if (parms.root.find('/') != std::string::npos) {
        port.MessageBox("The root of the new names cannot hold a \"/\": " + parms.root, "Error", TMsgButtons::Ok);
        return;
    }
    const std::string folder = ExtractFilePath(files.front());

    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i];
        if (!BeginItem(port, i + 1, files.size(), "Renaming " + path, path)) break;
        if (parms.padded && files.size() >= 1000) {
            port.MessageBox("Too many files! Must be less than 1000.", "Error", TMsgButtons::Ok);
            return;
        }
        port.BeginFile(path);
        // From the file name only: a dot in a folder name is no extension.
        const std::string name = ExtractFileName(path);
        const size_t dot = name.find('.');
        const std::string newName = parms.root + RenameNumber(i, files.size(), parms.padded) +
                                    (dot == std::string::npos ? std::string() : name.substr(dot));
        const std::string target = folder + newName;
        // A file that already has its new name is done.
        const int err = !SameFileAmong(target, {path}).empty() ? 0
                        : NameTaken(target)                     ? EEXIST
                                                                : RenameNoReplace(path, target);
        if (err == 0)
            port.FileWritten(path);
        else if (err == EEXIST)
            port.MessageBox("File [" + newName + "] exists.", "Error", TMsgButtons::Ok);
        else if (err != 0)
            port.MessageBox("Cannot rename " + path + " to " + target + ": " + std::strerror(err), "Error",
                            TMsgButtons::Ok);
        port.ProcessMessages();
    }
    port.SetStatus("Idle");
}
