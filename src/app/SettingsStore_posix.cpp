#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/SettingsStore.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {

std::string HomeDir() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        std::string dir = home;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        return dir;
    }
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return "/";
}

}  // namespace

std::string DefaultConfigDir() {
    // XDG requires an absolute path; a relative one is to be ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        return std::string(xdg) + "/kestrom";
    }
    return HomeDir() + "/.config/kestrom";
}

std::u16string DefaultDataFolder() {
    return FromUtf8(HomeDir() + "/Kestrom");
}

}  // namespace kestrom
