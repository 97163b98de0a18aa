// The settings in the registry key, as kestromd keeps them on Windows without --config-dir.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/SettingsStore.h"

namespace kestrom {
namespace {

const wchar_t* const kKey = L"SOFTWARE\\Corvane\\Kestrom\\3.23";

void DeleteKey() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
}

// reg.exe as an installation's own tools (or an operator) would write the values.
void RegAdd(const std::wstring& name, const std::wstring& type, const std::wstring& data) {
    std::wstring command = L"reg.exe add \"HKCU\\" + std::wstring(kKey) + L"\" /v " + name +
                           L" /t " + type + L" /d \"" + data + L"\" /f";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &process));
    ::WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ASSERT_EQ(code, 0u) << "reg.exe failed for " << std::string(name.begin(), name.end());
}

DWORD QueryType(const wchar_t* name) {
    DWORD type = 0;
    ::RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                   nullptr);
    return type;
}

class SettingsRegistry : public ::testing::Test {
  protected:
    void SetUp() override { DeleteKey(); }
    void TearDown() override { DeleteKey(); }
};

TEST_F(SettingsRegistry, FirstRunCreatesTheKeyAndSavedValuesComeBack) {
    CSettingsStore store("");
    CKestromSettings settings;
    EXPECT_TRUE(store.Load(settings, u"C:\\Meet", std::nullopt));  // first run
    EXPECT_FALSE(store.KeyUnavailable());
    EXPECT_EQ(settings.EventDirectory, u"C:\\Meet");
    EXPECT_EQ(settings.ResultsDirectory, u"C:\\Kestrom");
    EXPECT_EQ(settings.PortNumber, 1950);

    settings.PortNumber = 2048;
    settings.EventDirectory = u"D:\\Zürich 2026";
    settings.SecurityEnabled = true;
    settings.CharMode = 2;
    ASSERT_TRUE(store.Save(settings));
    // Stored as strings, as the original program stores every value.
    EXPECT_EQ(QueryType(L"PortNumber"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(QueryType(L"SecurityEnabled"), static_cast<DWORD>(REG_SZ));

    CKestromSettings again;
    EXPECT_FALSE(CSettingsStore("").Load(again, u"C:\\Other", std::nullopt));
    EXPECT_EQ(again.PortNumber, 2048);
    EXPECT_EQ(again.EventDirectory, u"D:\\Zürich 2026");
    EXPECT_TRUE(again.SecurityEnabled);
    EXPECT_EQ(again.CharMode, 2);
}

TEST_F(SettingsRegistry, SaveWithoutTheKeyWritesNothing) {
    CKestromSettings settings;
    EXPECT_FALSE(CSettingsStore("").Save(settings));
    HKEY key = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(SettingsRegistry, ValuesOfAnExistingInstallationAreJudgedByTheirType) {
    RegAdd(L"PortNumber", L"REG_DWORD", L"5000");  // not a string: unusable, default
    RegAdd(L"CharMode", L"REG_SZ", L"1");
    RegAdd(L"LogEvents", L"REG_SZ", L"0");
    RegAdd(L"EventDirectory", L"REG_EXPAND_SZ", L"%TEMP%\\meet");  // taken unexpanded
    RegAdd(L"ResultsDirectory", L"REG_BINARY", L"433a5c00");       // unusable, default
    RegAdd(L"SecurityEnabled", L"REG_SZ", L"1yes");                // first character counts
    RegAdd(L"TCPSendBufferSize", L"REG_SZ", L"65536");
    RegAdd(L"KeepAliveSeconds", L"REG_SZ", L"-4");  // not positive: default
    RegAdd(L"MaxConnections", L"REG_SZ", L"12");
    // 255 characters with the terminator is the longest usable string.
    RegAdd(L"WenlowSecurityEnabled", L"REG_SZ", L"0" + std::wstring(254, L'x'));
    RegAdd(L"ClerkOrvoSecurityEnabled", L"REG_SZ", L"0" + std::wstring(253, L'x'));

    CKestromSettings settings;
    CSettingsStore store("");
    EXPECT_FALSE(store.Load(settings, u"C:\\Ignored", u"C:\\Ignored"));
    EXPECT_EQ(settings.PortNumber, 1950);
    EXPECT_EQ(settings.CharMode, 1);
    EXPECT_FALSE(settings.LogEvents);
    EXPECT_EQ(settings.EventDirectory, u"%TEMP%\\meet");
    EXPECT_EQ(settings.ResultsDirectory, u"C:\\Kestrom");
    EXPECT_TRUE(settings.SecurityEnabled);
    EXPECT_EQ(settings.TCPSendBufferSize, 65536);
    EXPECT_EQ(settings.Limits.KeepAliveSeconds, CNetLimits{}.KeepAliveSeconds);
    EXPECT_EQ(settings.Limits.MaxConnections, 12);
    EXPECT_TRUE(settings.WenlowSecurityEnabled);      // too long: the default (on)
    EXPECT_FALSE(settings.ClerkOrvoSecurityEnabled);  // just fits: "0..." is off

    // A save rewrites what it owns and leaves a value it does not own as it stood.
    ASSERT_TRUE(store.Save(settings));
    EXPECT_EQ(QueryType(L"PortNumber"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(QueryType(L"KeepAliveSeconds"), static_cast<DWORD>(REG_SZ));
    wchar_t text[64] = {};
    DWORD size = sizeof text;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kKey, L"KeepAliveSeconds", RRF_RT_REG_SZ, nullptr,
                             text, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(text), L"-4");
}

TEST(SettingsFoldersWindows, AppDataAndTheDefaultMeetFolder) {
    const char* appData = std::getenv("APPDATA");
    ASSERT_NE(appData, nullptr);
    EXPECT_EQ(DefaultConfigDir(), std::string(appData) + "\\Kestrom");
    EXPECT_EQ(DefaultDataFolder(), u"C:\\Kestrom");
}

}  // namespace
}  // namespace kestrom
