#pragma once
// The settings' persistent home: settings.reg in the config folder, in the registry export
// text format, with the value usability rules of the original registry storage. On Windows
// the registry key itself, unless a file is named (--config-dir).
#include <optional>
#include <string>
#include <string_view>

#include "core/Settings.h"

namespace kestrom {

inline constexpr std::string_view kSettingsFileName = "settings.reg";
// The key that holds the values; the version is part of it, so each version has its own.
inline constexpr std::string_view kSettingsKeyPath =
    "HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23";

class CSettingsStore {
  public:
    // An empty path on Windows: the registry key.
    explicit CSettingsStore(std::string regFilePath);

    // Reads the values into `settings` (defaults for unusable ones). Returns the first-run
    // flag: true when the key had to be created. The first-run folders apply only then.
    // When the key can be neither opened nor created, returns true, reads nothing and
    // KeyUnavailable() turns true: the front end beeps.
    bool Load(CKestromSettings& settings, const std::optional<std::u16string>& firstRunEventDir,
              const std::optional<std::u16string>& firstRunResultsDir);
    // Writes the values; the TCP sizes only when greater than 0. Nothing when the key is
    // missing. Other keys and values of the file are kept. False when nothing was written.
    bool Save(const CKestromSettings& settings);

    // Whether the last Load found the key neither openable nor creatable.
    bool KeyUnavailable() const { return keyUnavailable_; }
    const std::string& Path() const { return path_; }

  private:
    bool UsesRegistry() const {
#ifdef _WIN32
        return path_.empty();
#else
        return false;
#endif
    }
    std::string path_;
    bool keyUnavailable_ = false;
};

// The config folder: $XDG_CONFIG_HOME/kestrom, else ~/.config/kestrom; on Windows
// %APPDATA%\Kestrom (UTF-8).
std::string DefaultConfigDir();
// The default event and results folder: ~/Kestrom; on Windows C:\Kestrom.
std::u16string DefaultDataFolder();

}  // namespace kestrom
