// The settings store's file: the .reg reader, its writer, and the settings loaded from it.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzMeet.h"
#include "app/RegFile.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrom;
    static fuzz::CFuzzMeet scratch;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    CRegFile file = CRegFile::Parse(bytes);
    // A file the program wrote reads back to the very same text. (The first rewrite may
    // change what it read: a second byte-order mark at the start of a UTF-16 file, for one,
    // is written out as UTF-8 and taken as the mark of that encoding next time.)
    const std::string once = file.Serialize();
    const std::string twice = CRegFile::Parse(once).Serialize();
    if (CRegFile::Parse(twice).Serialize() != twice) std::abort();

    const std::string key(kSettingsKeyPath);
    file.AddKey(key);
    const CRegValue value = CRegValue::String(u"C:\\Meet \"A\"");
    file.Set(key, "EventDirectory", value);
    if (file.Get(key, "EventDirectory") != value) std::abort();
    if (CRegFile::Parse(file.Serialize()).Get(key, "EventDirectory") != value) std::abort();

    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        if (auto line = ParseRegValueLine(bytes.substr(start, end - start))) {
            const std::string formatted = FormatRegValueLine(line->first, line->second);
            const auto back = ParseRegValueLine(formatted);
            if (!back || back->second != line->second) std::abort();
        }
        start = end + 1;
    }

    const std::string path = scratch.Root() + "/settings.reg";
    fuzz::CFuzzMeet::Write(path, bytes);
    CSettingsStore store(path);
    CKestromSettings settings;
    store.Load(settings, std::nullopt, std::nullopt);
    return 0;
}
