#pragma once
// Windows: the settings key HKEY_CURRENT_USER\SOFTWARE\Corvane\Kestrom\3.23 in the registry,
// read into and written from the same document the portable settings.reg gives, so that one
// set of usability rules judges the values wherever they are kept.
#include <string_view>
#include <utility>
#include <vector>

#include "app/RegFile.h"
#include "base/Status.h"

namespace kestrom {

// Every value of the key, with its type and bytes as stored, into doc under the key's path.
// A failure with kFileNotFound when the key does not exist, another cause when it cannot be
// opened.
CStatus ReadSettingsKey(CRegFile& doc);
// Creates the key (and its parents); true when it exists afterwards.
bool CreateSettingsKey();
// Writes the values into the existing key; false when the key is missing or a write failed.
bool WriteSettingsValues(const std::vector<std::pair<std::string_view, CRegValue>>& values);

}  // namespace kestrom
