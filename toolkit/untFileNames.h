// File-name rules shared by every command.
#pragma once

#include <string>
#include <vector>

// Folder part of a path with its trailing separator ("" for a bare name).
std::string ExtractFilePath(const std::string& path);
// File name without its folder.
std::string ExtractFileName(const std::string& path);
// The save rule: a chosen path with no "." anywhere, folders included, gets
// ".bmp" appended; any other path is used as typed.
std::string ApplySaveExtension(const std::string& path);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The entry of files that is path itself (the same file on disk, however
// spelt: "./f.bmp", a hard link), or "" when none is or path does not exist.
std::string SameFileAmong(const std::string& path, const std::vector<std::string>& files);
// The first file that files names a second time, as it was first spelt, or "".
std::string RepeatedFile(const std::vector<std::string>& files);
