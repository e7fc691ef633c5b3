// The per-user settings store: named string values under one key path, in
// an INI file in the user's configuration folder (XDG_CONFIG_HOME).
#pragma once

#include <optional>
#include <string>

// Key path of the program's values.
inline constexpr const char* kSettingsKeyPath = "HKEY_LOCAL_MACHINE/Software/Quorvel/Brisane";

class TSettingsStore {
public:
    // A missing value reads as nullopt; an unreadable store as nullopt too.
    static std::optional<std::string> ReadString(const std::string& name);
    // False when the store cannot be written; callers that must not fail ignore it.
    static bool WriteString(const std::string& name, const std::string& value);
    // The INI file the values live in (for tests and for the README).
    static std::string FileName();
};
