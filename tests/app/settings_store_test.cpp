#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/SettingsStore.h"
#include "base/TextConvert.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

using testing::CSandbox;
using testing::ReadText;
using testing::WriteText;

const std::string kHeader =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n";

class SettingsStoreTest : public ::testing::Test {
  protected:
    std::string RegPath() const { return dir_.File("settings.reg"); }
    void WriteValues(const std::string& lines) { WriteText(RegPath(), kHeader + lines); }
    // Loads a file whose key holds `lines`; returns the record.
    CKestromSettings LoadWith(const std::string& lines) {
        WriteValues(lines);
        CKestromSettings s;
        CSettingsStore store(RegPath());
        EXPECT_FALSE(store.Load(s, std::nullopt, std::nullopt));
        return s;
    }
    std::u16string FolderFrom(const std::string& valueText) {
        return LoadWith("\"EventDirectory\"=" + valueText + "\n").EventDirectory;
    }

    CSandbox dir_;
};

// A string value of n characters plus terminator, in the raw form.
std::string HexString(size_t n, bool terminator = true) {
    std::string s = "hex(1):";
    for (size_t i = 0; i < n; ++i) s += i == 0 ? "41,00" : ",41,00";
    if (terminator) s += n == 0 ? "00,00" : ",00,00";
    return s;
}

TEST_F(SettingsStoreTest, FirstRunCreatesTheKeyAndYieldsTheDefaults) {
    CSettingsStore store(dir_.File("sub/folder/settings.reg"));
    CKestromSettings s;
    EXPECT_TRUE(store.Load(s, std::nullopt, std::nullopt));
    EXPECT_FALSE(store.KeyUnavailable());
    EXPECT_EQ(ReadText(store.Path()), kHeader);
    EXPECT_TRUE(s.LogEvents);
    EXPECT_EQ(s.PortNumber, 1950);
    EXPECT_EQ(s.EventDirectory, DefaultDataFolder());
    EXPECT_EQ(s.ResultsDirectory, DefaultDataFolder());
    EXPECT_EQ(s.CharMode, 0);
    EXPECT_FALSE(s.SecurityEnabled);
    EXPECT_TRUE(s.WenlowSecurityEnabled);
    EXPECT_TRUE(s.ClerkOrvoSecurityEnabled);
    EXPECT_TRUE(s.FieldOrvoSecurityEnabled);
    EXPECT_EQ(s.TCPSendBufferSize, -1);

    s.EventDirectory = u"/meet";
    s.ResultsDirectory = u"/meet/results";
    ASSERT_TRUE(store.Save(s));
    EXPECT_EQ(ReadText(store.Path()), kHeader +
                                          "\"LogEvents\"=\"1\"\n"
                                          "\"PortNumber\"=\"1950\"\n"
                                          "\"EventDirectory\"=\"/meet\"\n"
                                          "\"ResultsDirectory\"=\"/meet/results\"\n"
                                          "\"CharMode\"=\"0\"\n"
                                          "\"SecurityEnabled\"=\"0\"\n"
                                          "\"WenlowSecurityEnabled\"=\"1\"\n"
                                          "\"ClerkOrvoSecurityEnabled\"=\"1\"\n"
                                          "\"FieldOrvoSecurityEnabled\"=\"1\"\n"
                                          "\"ConsolePort\"=\"1951\"\n"
                                          "\"ConsoleAddress\"=\"127.0.0.1\"\n"
                                          "\"ConsoleToken\"=\"\"\n");

    CKestromSettings again;
    EXPECT_FALSE(store.Load(again, std::nullopt, std::nullopt));
    EXPECT_EQ(again.EventDirectory, u"/meet");
    EXPECT_EQ(again.PortNumber, 1950);
    EXPECT_EQ(again.ConsolePort, 1951);

    again.ConsoleToken = u"0123abcd";
    again.ConsolePort = 0;
    ASSERT_TRUE(store.Save(again));
    CKestromSettings third;
    store.Load(third, std::nullopt, std::nullopt);
    EXPECT_EQ(third.ConsoleToken, u"0123abcd");
    EXPECT_EQ(third.ConsolePort, 0);
}

TEST_F(SettingsStoreTest, FirstRunFoldersApplyOnlyWhenTheKeyIsCreated) {
    CSettingsStore store(RegPath());
    CKestromSettings s;
    EXPECT_TRUE(store.Load(s, u"/first/events", std::nullopt));
    EXPECT_EQ(s.EventDirectory, u"/first/events");
    EXPECT_EQ(s.ResultsDirectory, DefaultDataFolder());

    CKestromSettings later;
    EXPECT_FALSE(store.Load(later, u"/other", u"/other"));
    EXPECT_EQ(later.EventDirectory, DefaultDataFolder());  // never saved: the default
    EXPECT_EQ(later.ResultsDirectory, DefaultDataFolder());

    CKestromSettings empty;
    CSettingsStore fresh(dir_.File("fresh.reg"));
    EXPECT_TRUE(fresh.Load(empty, u"", u""));
    EXPECT_EQ(empty.EventDirectory, u"");
    EXPECT_EQ(empty.ResultsDirectory, u"");
}

TEST_F(SettingsStoreTest, FileWithoutTheKeyGetsItAddedAndKeepsItsContent) {
    const std::string other = "Windows Registry Editor Version 5.00\n\n[HKEY_X]\n\"A\"=\"1\"\n";
    WriteText(RegPath(), other);
    CSettingsStore store(RegPath());
    CKestromSettings s;
    EXPECT_TRUE(store.Load(s, u"/ev", std::nullopt));
    EXPECT_EQ(s.EventDirectory, u"/ev");
    EXPECT_EQ(ReadText(RegPath()),
              other + "\n[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n");
}

TEST_F(SettingsStoreTest, KeyNeitherOpenableNorCreatableReadsNothing) {
    WriteText(dir_.File("plainfile"), "x");
    CSettingsStore store(dir_.File("plainfile/settings.reg"));
    CKestromSettings s;  // the application object's initial values
    s.TCPSendBufferSize = 77;
    EXPECT_TRUE(store.Load(s, u"/first", u"/first"));
    EXPECT_TRUE(store.KeyUnavailable());
    EXPECT_EQ(s.PortNumber, 0);
    EXPECT_FALSE(s.LogEvents);
    EXPECT_EQ(s.EventDirectory, u"");
    EXPECT_FALSE(s.WenlowSecurityEnabled);
    EXPECT_EQ(s.TCPSendBufferSize, 77);
    EXPECT_FALSE(store.Save(s));
}

TEST_F(SettingsStoreTest, UnreadableFileIsNeverReplaced) {
    std::filesystem::create_directory(RegPath());  // cannot be read as a file
    CSettingsStore store(RegPath());
    CKestromSettings s;
    EXPECT_TRUE(store.Load(s, std::nullopt, std::nullopt));
    EXPECT_TRUE(store.KeyUnavailable());
    EXPECT_TRUE(std::filesystem::is_directory(RegPath()));
}

TEST_F(SettingsStoreTest, StringUsabilityRules) {
    const std::u16string fallback = DefaultDataFolder();
    EXPECT_EQ(FolderFrom("\"/meet\""), u"/meet");
    EXPECT_EQ(FolderFrom("\"\""), u"");
    EXPECT_EQ(FolderFrom("hex(1):"), u"");  // stored size 0 is an empty text
    // An expandable string is taken as it stands.
    EXPECT_EQ(FolderFrom("hex(2):25,00,48,00,25,00,00,00"), u"%H%");
    EXPECT_EQ(FolderFrom("hex(1):41,00,00"), fallback);             // odd size
    EXPECT_EQ(FolderFrom("hex(1):41,00,42,00"), fallback);          // no terminator
    EXPECT_EQ(FolderFrom("hex(1):41,00,00,00,42,00,00,00"), u"A");  // text ends at a NUL
    EXPECT_EQ(FolderFrom("hex:2f,00,00,00"), fallback);             // binary
    EXPECT_EQ(FolderFrom("dword:00000001"), fallback);
    EXPECT_EQ(FolderFrom("hex(7):41,00,00,00"), fallback);  // multi-string
    EXPECT_EQ(FolderFrom("-"), fallback);
    EXPECT_EQ(FolderFrom("\"unterminated"), fallback);
    EXPECT_EQ(FolderFrom(HexString(254)), std::u16string(254, u'A'));  // 255 with the NUL
    EXPECT_EQ(FolderFrom(HexString(255)), fallback);
    EXPECT_EQ(FolderFrom("\"" + std::string(300, 'x') + "\""), fallback);
}

TEST_F(SettingsStoreTest, FlagsAndNumbersReadAsTheyWereStored) {
    EXPECT_TRUE(LoadWith("\"LogEvents\"=\"10\"\n").LogEvents);
    EXPECT_FALSE(LoadWith("\"LogEvents\"=\"yes\"\n").LogEvents);
    EXPECT_FALSE(LoadWith("\"LogEvents\"=\"\"\n").LogEvents);
    EXPECT_TRUE(LoadWith("\"LogEvents\"=dword:00000000\n").LogEvents);  // unusable: default
    EXPECT_TRUE(LoadWith("\"SecurityEnabled\"=\"1\"\n").SecurityEnabled);
    EXPECT_FALSE(LoadWith("\"WenlowSecurityEnabled\"=\"0\"\n").WenlowSecurityEnabled);
    EXPECT_FALSE(LoadWith("\"WenlowSecurityEnabled\"=\"2\"\n").WenlowSecurityEnabled);

    EXPECT_EQ(LoadWith("\"PortNumber\"=\"8080abc\"\n").PortNumber, 8080);
    EXPECT_EQ(LoadWith("\"PortNumber\"=\"\"\n").PortNumber, 0);
    EXPECT_EQ(LoadWith("\"PortNumber\"=\"  -3\"\n").PortNumber, -3);
    EXPECT_EQ(LoadWith("\"PortNumber\"=\"99999999999\"\n").PortNumber, 2147483647);
    EXPECT_EQ(LoadWith("\"portnumber\"=\"1234\"\n").PortNumber, 1234);  // names ignore case
    EXPECT_EQ(LoadWith("\"CharMode\"=\"7\"\n").CharMode, 7);
}

TEST_F(SettingsStoreTest, BufferSizesKeepTheirValueWhenUnusableAndAreSavedOnlyWhenSet) {
    WriteValues(
        "\"TCPSendBufferSize\"=\"0\"\n"
        "\"TCPReceiveBufferSize\"=\"4096\"\n"
        "\"TCPInitSendBufferSize\"=hex(1):31,00\n");
    CSettingsStore store(RegPath());
    CKestromSettings s;
    s.TCPInitSendBufferSize = 55;
    store.Load(s, std::nullopt, std::nullopt);
    EXPECT_EQ(s.TCPSendBufferSize, 0);
    EXPECT_EQ(s.TCPReceiveBufferSize, 4096);
    EXPECT_EQ(s.TCPInitSendBufferSize, 55);
    EXPECT_EQ(s.TCPInitReceiveBufferSize, -1);

    s.TCPReceiveBufferSize = 0;    // not set: the stored 4096 stays
    s.TCPInitSendBufferSize = -1;  // not set: the stored raw value stays
    s.TCPInitReceiveBufferSize = 8192;
    ASSERT_TRUE(store.Save(s));
    const std::string text = ReadText(RegPath());
    EXPECT_NE(text.find("\"TCPSendBufferSize\"=\"0\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"TCPReceiveBufferSize\"=\"4096\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"TCPInitSendBufferSize\"=hex(1):31,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"TCPInitReceiveBufferSize\"=\"8192\"\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, LogBoundsAreReadWithTheirDefaultsAndNeverWritten) {
    const CKestromSettings defaults;
    WriteValues("\"LogBacklogLines\"=\"500\"\n\"LogListLines\"=\"2000\"\n");
    CSettingsStore store(RegPath());
    CKestromSettings s;
    store.Load(s, std::nullopt, std::nullopt);
    EXPECT_EQ(s.LogBacklogLines, 500);
    EXPECT_EQ(s.LogListLines, 2000);
    // Below 1 or unusable, a bound would stop the log altogether: the default holds.
    EXPECT_EQ(LoadWith("\"LogBacklogLines\"=\"0\"\n").LogBacklogLines, defaults.LogBacklogLines);
    EXPECT_EQ(LoadWith("\"LogListLines\"=\"-5\"\n").LogListLines, defaults.LogListLines);
    EXPECT_EQ(LoadWith("\"LogListLines\"=\"many\"\n").LogListLines, defaults.LogListLines);
    EXPECT_EQ(LoadWith("").LogBacklogLines, defaults.LogBacklogLines);
    // Saving leaves what the operator wrote, and adds nothing of its own.
    WriteValues("\"LogListLines\"=\"2000\"\n");
    s.LogListLines = 7;
    ASSERT_TRUE(store.Save(s));
    const std::string text = ReadText(RegPath());
    EXPECT_NE(text.find("\"LogListLines\"=\"2000\"\n"), std::string::npos);
    EXPECT_EQ(text.find("LogBacklogLines"), std::string::npos);
}

TEST_F(SettingsStoreTest, SaveKeepsWhatItDoesNotOwn) {
    const std::string foreign =
        "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.22]\n\"PortNumber\"=\"1\"\n\n";
    WriteText(RegPath(), "Windows Registry Editor Version 5.00\n\n" + foreign +
                             "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n"
                             "; operator's note\n"
                             "\"WindowPlacement\"=hex:2c,00,00,00,\\\n  01,00\n"
                             "@=\"default\"\n"
                             "\"PortNumber\"=\"2000\"\n");
    CSettingsStore store(RegPath());
    CKestromSettings s;
    store.Load(s, std::nullopt, std::nullopt);
    s.PortNumber = 3000;
    ASSERT_TRUE(store.Save(s));
    const std::string text = ReadText(RegPath());
    EXPECT_NE(text.find(foreign), std::string::npos);
    EXPECT_NE(text.find("; operator's note\n\"WindowPlacement\"=hex:2c,00,00,00,\\\n  01,00\n"
                        "@=\"default\"\n\"PortNumber\"=\"3000\"\n"),
              std::string::npos);
    EXPECT_EQ(text.find("2000"), std::string::npos);
}

TEST_F(SettingsStoreTest, FoldersSurviveTheRoundTrip) {
    CSettingsStore store(RegPath());
    CKestromSettings s;
    store.Load(s, std::nullopt, std::nullopt);
    const std::u16string quoted = u"C:\\Meet \"A\" \u00e9\U0001F3C3\\";
    const std::u16string multiLine = u"/odd\nfolder";
    s.EventDirectory = quoted;
    s.ResultsDirectory = multiLine;
    ASSERT_TRUE(store.Save(s));
    EXPECT_NE(ReadText(RegPath()).find("\"ResultsDirectory\"=hex(1):"), std::string::npos);
    CKestromSettings back;
    store.Load(back, std::nullopt, std::nullopt);
    EXPECT_EQ(back.EventDirectory, quoted);
    EXPECT_EQ(back.ResultsDirectory, multiLine);
}

TEST_F(SettingsStoreTest, SaveNeedsTheKey) {
    CSettingsStore missing(RegPath());
    EXPECT_FALSE(missing.Save(CKestromSettings{}));
    EXPECT_FALSE(std::filesystem::exists(RegPath()));

    const std::string noKey = "Windows Registry Editor Version 5.00\n\n[HKEY_X]\n";
    WriteText(RegPath(), noKey);
    EXPECT_FALSE(missing.Save(CKestromSettings{}));
    EXPECT_EQ(ReadText(RegPath()), noKey);
}

TEST_F(SettingsStoreTest, SaveReplacesTheFileWholeThroughARename) {
    WriteValues("\"PortNumber\"=\"2000\"\n");
    // A second name for the old file: an in-place rewrite would change it too.
    std::filesystem::create_hard_link(RegPath(), dir_.File("old.reg"));
    CSettingsStore store(RegPath());
    CKestromSettings s;
    store.Load(s, std::nullopt, std::nullopt);
    s.PortNumber = 3000;
    ASSERT_TRUE(store.Save(s));
    EXPECT_NE(ReadText(RegPath()).find("\"PortNumber\"=\"3000\""), std::string::npos);
    EXPECT_EQ(ReadText(dir_.File("old.reg")), kHeader + "\"PortNumber\"=\"2000\"\n");
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.Dir())) ++files;
    EXPECT_EQ(files, 2u);  // no temporary file left behind
}

TEST_F(SettingsStoreTest, UploadLimitsAndAllRequestsGuardAreReadWithDefaultsAndNeverWritten) {
    CKestromSettings s = LoadWith("");
    EXPECT_EQ(s.MaxResultsUploadBytes, 8 * 1024 * 1024);
    EXPECT_EQ(s.ResultsFreeSpaceReserveMB, 64);
    EXPECT_FALSE(s.AllRequestsSecurityEnabled);

    s = LoadWith(
        "\"MaxResultsUploadBytes\"=\"5000\"\n"
        "\"ResultsFreeSpaceReserveMB\"=\"0\"\n"
        "\"AllRequestsSecurityEnabled\"=\"1\"\n");
    EXPECT_EQ(s.MaxResultsUploadBytes, 5000);
    EXPECT_EQ(s.ResultsFreeSpaceReserveMB, 0);
    EXPECT_TRUE(s.AllRequestsSecurityEnabled);

    // The operator's values stay in the file as written, whatever the record holds at close.
    s.MaxResultsUploadBytes = 7;
    CSettingsStore store(RegPath());
    ASSERT_TRUE(store.Save(s));
    const std::string saved = ReadText(RegPath());
    EXPECT_NE(saved.find("\"MaxResultsUploadBytes\"=\"5000\""), std::string::npos);
    EXPECT_EQ(saved.find("=\"7\""), std::string::npos);
}

#ifndef _WIN32  // Windows: %APPDATA% and C:\Kestrom, tested in tests/windows
TEST(SettingsFolders, FollowTheEnvironment) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/home/op/", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(DefaultConfigDir(), "/cfg/kestrom");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_EQ(DefaultConfigDir(), "/home/op/.config/kestrom");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultConfigDir(), "/home/op/.config/kestrom");
    EXPECT_EQ(DefaultDataFolder(), u"/home/op/Kestrom");
    if (oldXdg) ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    ::setenv("HOME", savedHome.c_str(), 1);
}
#endif

TEST_F(SettingsStoreTest, NetLimitsAreReadWhenPositiveAndNeverWritten) {
    CKestromSettings s = LoadWith(
        "\"MaxConnections\"=\"40\"\n\"SendTimeoutSeconds\"=\"5\"\n"
        "\"UploadSizeLimit\"=\"0\"\n\"MessageStallSeconds\"=\"abc\"\n"
        "\"ReceiveMemoryBudget\"=\"-3\"\n\"LargeReplyMemoryBudget\"=\"1048576\"\n");
    const CNetLimits defaults;
    EXPECT_EQ(s.Limits.MaxConnections, 40);
    EXPECT_EQ(s.Limits.SendTimeoutSeconds, 5);
    EXPECT_EQ(s.Limits.LargeReplyMemoryBudget, 1048576);
    // Zero, negative or unreadable values keep the defaults.
    EXPECT_EQ(s.Limits.UploadSizeLimit, defaults.UploadSizeLimit);
    EXPECT_EQ(s.Limits.MessageStallSeconds, defaults.MessageStallSeconds);
    EXPECT_EQ(s.Limits.ReceiveMemoryBudget, defaults.ReceiveMemoryBudget);
    EXPECT_EQ(s.Limits.MaxConnectionsPerAddress, defaults.MaxConnectionsPerAddress);

    // Save leaves them as the operator wrote them and adds none.
    CSettingsStore store(RegPath());
    s.Limits.MaxConnections = 99;
    ASSERT_TRUE(store.Save(s));
    const std::string saved = ReadText(RegPath());
    EXPECT_NE(saved.find("\"MaxConnections\"=\"40\""), std::string::npos);
    EXPECT_EQ(saved.find("KeepAliveSeconds"), std::string::npos);
}

}  // namespace
}  // namespace kestrom
