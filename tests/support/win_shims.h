#pragma once
// Windows test builds only (included before every test source): the few POSIX calls the
// suites use for scratch folders and environment, mapped to the C runtime's own.
#ifdef _WIN32
#include <direct.h>
#include <process.h>
#include <stdlib.h>

#include <ctime>
#include <random>
#include <string>

inline char* mkdtemp(char* pattern) {
    std::string text(pattern);
    const std::size_t x = text.rfind("XXXXXX");
    if (x == std::string::npos) return nullptr;
    std::random_device random;
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 64; ++attempt) {
        for (std::size_t i = 0; i < 6; ++i) pattern[x + i] = kChars[random() % 36];
        if (::_mkdir(pattern) == 0) return pattern;
    }
    return nullptr;
}

inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    return ::_putenv_s(name, value);
}

inline int unsetenv(const char* name) {
    return ::_putenv_s(name, "");
}

inline std::tm* localtime_r(const std::time_t* time, std::tm* local) {
    return ::localtime_s(local, time) == 0 ? local : nullptr;
}
#endif
