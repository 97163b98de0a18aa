#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cstdlib>
#include <string>

#include "app/SettingsStore.h"
#include "base/TextConvert.h"

namespace kestrom {

std::string DefaultConfigDir() {
    PWSTR roaming = nullptr;
    std::string dir;
    if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming) == S_OK) {
        dir = ToUtf8(reinterpret_cast<const char16_t*>(roaming));
    } else if (const char* appData = std::getenv("APPDATA"); appData && *appData) {
        dir = appData;
    }
    ::CoTaskMemFree(roaming);
    return dir.empty() ? std::string("Kestrom") : dir + "\\Kestrom";
}

std::u16string DefaultDataFolder() {
    return u"C:\\Kestrom";
}

}  // namespace kestrom
