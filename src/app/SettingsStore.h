#pragma once
// The settings' persistent home: settings.reg in the config folder, in the registry export
// text format, with the value usability rules of the original registry storage.
#include <optional>
#include <string>

#include "app/Settings.h"

namespace kestrom {

class CSettingsStore {
public:
    explicit CSettingsStore(std::string regFilePath);

    // Reads the values into `settings` (defaults for unusable ones). Returns the first-run
    // flag: true when the key had to be created. The first-run folders apply only then.
    bool Load(CKestromSettings& settings, const std::optional<std::u16string>& firstRunEventDir,
              const std::optional<std::u16string>& firstRunResultsDir);
    // Writes the values; the TCP sizes only when greater than 0. Nothing when the key is
    // missing.
    void Save(const CKestromSettings& settings);

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The config folder: $XDG_CONFIG_HOME/kestrom, else ~/.config/kestrom.
std::string DefaultConfigDir();

}  // namespace kestrom
