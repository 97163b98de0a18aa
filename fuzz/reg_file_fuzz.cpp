// The settings store's file: the .reg reader, its writer, and the settings loaded from it.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzMeet.h"
#include "app/RegFile.h"
#include "app/SettingsStore.h"
#include "core/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrom;
    static fuzz::CFuzzMeet scratch;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    CRegFile file = CRegFile::Parse(bytes);
    // A rewrite must not change what the settings read: every value of the program's key
    // reads the same from the file the program wrote. (The text itself may change: a leading
    // U+FEFF, say, is written as UTF-8 and read back as that encoding's byte-order mark.)
    const std::string key(kSettingsKeyPath);
    const CRegFile rewritten = CRegFile::Parse(file.Serialize());
    for (const char* name :
         {"PortNumber", "EventDirectory", "ResultsDirectory", "CharMode", "LogEvents",
          "SecurityEnabled", "WenlowSecurityEnabled", "ClerkOrvoSecurityEnabled",
          "FieldOrvoSecurityEnabled", "TCPSendBufferSize", "TCPReceiveBufferSize",
          "TCPInitSendBufferSize", "TCPInitReceiveBufferSize"}) {
        if (file.Get(key, name) != rewritten.Get(key, name)) std::abort();
    }

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
