#include "untFileNames.h"

#include <sys/stat.h>

#include <set>
#include <utility>

std::string ExtractFilePath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ApplySaveExtension(const std::string& path) {
    // A dot anywhere counts, a folder's included: users who name folders
    // "m42.2024" have always had to type the extension themselves.
    return path.find('.') == std::string::npos ? path + ".bmp" : path;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

using TFileId = std::pair<dev_t, ino_t>;

bool IdOf(const std::string& path, TFileId* id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    *id = {st.st_dev, st.st_ino};
    return true;
}

}  // namespace

std::string SameFileAmong(const std::string& path, const std::vector<std::string>& files) {
    TFileId target, id;
    if (!IdOf(path, &target)) return {};
    for (const auto& f : files)
        if (IdOf(f, &id) && id == target) return f;
    return {};
}

std::string RepeatedFile(const std::vector<std::string>& files) {
    std::set<TFileId> seen;
    TFileId id;
    for (size_t i = 0; i < files.size(); ++i)
        if (IdOf(files[i], &id) && !seen.insert(id).second) return SameFileAmong(files[i], files);
    return {};
}
