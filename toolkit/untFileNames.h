// File-name rules shared by every command.
#pragma once

#include <string>

// Folder part of a path with its trailing separator ("" for a bare name).
std::string ExtractFilePath(const std::string& path);
// File name without its folder.
std::string ExtractFileName(const std::string& path);
// The save rule: a chosen path with no "." anywhere, folders included, gets
// ".bmp" appended; any other path is used as typed.
std::string ApplySaveExtension(const std::string& path);
bool FileExists(const std::string& path);
