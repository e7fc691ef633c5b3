#include "untFileNames.h"

#include <sys/stat.h>

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
