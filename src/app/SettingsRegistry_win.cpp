#include <windows.h>

#include "app/SettingsRegistry.h"
#include "app/SettingsStore.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {

// kSettingsKeyPath without its root.
std::wstring SubKey() {
    constexpr std::string_view kRoot = "HKEY_CURRENT_USER\\";
    const std::u16string path = FromUtf8(kSettingsKeyPath.substr(kRoot.size()));
    return std::wstring(path.begin(), path.end());
}

std::wstring Wide(std::string_view utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

}  // namespace

CStatus ReadSettingsKey(CRegFile& doc) {
    HKEY key = nullptr;
    const LONG rc = ::RegOpenKeyExW(HKEY_CURRENT_USER, SubKey().c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_FILE_NOT_FOUND) return CStatus::Failure(file_cause::kFileNotFound);
    if (rc != ERROR_SUCCESS) return CStatus::Failure(file_cause::kAccessDenied);
    doc = CRegFile();
    doc.AddKey(kSettingsKeyPath);
    DWORD count = 0, maxName = 0, maxData = 0;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                       &maxData, nullptr, nullptr);
    std::wstring name(maxName + 1, L'\0');
    std::vector<uint8_t> data(maxData + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(),
                            &dataLength) != ERROR_SUCCESS)
            continue;
        // The default value has no name and is not one of ours.
        if (nameLength == 0) continue;
        CRegValue value;
        value.type = type;
        value.data.assign(data.begin(), data.begin() + dataLength);
        doc.Set(
            kSettingsKeyPath,
            ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(name.data()), nameLength)),
            value);
    }
    ::RegCloseKey(key);
    return {};
}

bool CreateSettingsKey() {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, SubKey().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                          &key, nullptr) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

bool WriteSettingsValues(const std::vector<std::pair<std::string_view, CRegValue>>& values) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SubKey().c_str(), 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const auto& [name, value] : values) {
        ok = ::RegSetValueExW(key, Wide(name).c_str(), 0, value.type, value.data.data(),
                              static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS &&
             ok;
    }
    ::RegCloseKey(key);
    return ok;
}

}  // namespace kestrom
