#include <gtest/gtest.h>

#include <filesystem>

#include "app/CommandLine.h"
#include "base/TextConvert.h"

namespace kestrom {
namespace {

CKestromCommandLineInfo Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

std::string Cwd() {
    return std::filesystem::current_path().string();
}

TEST(CommandLineSwitches, NamesIgnoreCaseAndTakeEitherMark) {
    auto info = Parse({"-startminimized", "/USEHYWIRE"});
    EXPECT_TRUE(info.startMinimized);
    EXPECT_TRUE(info.useHyWire);
    EXPECT_TRUE(info.error.empty());

    info = Parse({"/startMinimizedNow", "/useHyWire=1", "startMinimized", "//startMinimized"});
    EXPECT_FALSE(info.startMinimized);
    EXPECT_FALSE(info.useHyWire);
}

TEST(CommandLineSwitches, DirectorySwitchesNeedTheirEqualsSign) {
    auto info = Parse({"/INITRESULTSDIRECTORY=/res", "-initstartlistdirectory=/ev"});
    EXPECT_EQ(info.initResultsDirectory, u"/res");
    EXPECT_EQ(info.initStartListDirectory, u"/ev");

    info = Parse({"/initResultsDirectory", "/initStartListDirectoryX=/a", "/initResultsDir=/b",
                  "/initResultsDirectory /c"});
    EXPECT_FALSE(info.initResultsDirectory);
    EXPECT_FALSE(info.initStartListDirectory);

    info = Parse({"/initStartListDirectory="});
    ASSERT_TRUE(info.initStartListDirectory);
    EXPECT_EQ(*info.initStartListDirectory, u"");

    // Everything after the first '=' is the folder.
    info = Parse({"/initResultsDirectory=/a=b"});
    EXPECT_EQ(info.initResultsDirectory, u"/a=b");
}

TEST(CommandLineSwitches, LastValueWinsAndRelativeFoldersBecomeAbsolute) {
    auto info = Parse({"/initStartListDirectory=/one", "/initStartListDirectory=meet/events/"});
    EXPECT_EQ(info.initStartListDirectory, FromUtf8(Cwd() + "/meet/events"));
}

TEST(CommandLineSwitches, UnknownArgumentsHaveNoEffect) {
    auto info = Parse({"/home/op/meet", "file.txt", "-x", "--bogus", "--bogus=1", "-", "--", ""});
    EXPECT_TRUE(info.error.empty());
    EXPECT_FALSE(info.startMinimized || info.useHyWire || info.help || info.version);
    EXPECT_FALSE(info.configDir || info.port || info.eventDir || info.resultsDir);
}

TEST(CommandLineGnu, OptionsTakeTheirValueEitherWay) {
    auto info = Parse({"--config-dir", "cfg", "--port=8080", "--event-dir", "/meet/",
                       "--results-dir=res", "--char-mode", "1", "--help", "--version"});
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_EQ(info.configDir, Cwd() + "/cfg");
    EXPECT_EQ(info.port, 8080);
    EXPECT_EQ(info.eventDir, u"/meet");
    EXPECT_EQ(info.resultsDir, FromUtf8(Cwd() + "/res"));
    EXPECT_EQ(info.charMode, 1);
    EXPECT_TRUE(info.help);
    EXPECT_TRUE(info.version);

    // The value is the next argument whatever it looks like; the last one wins.
    info = Parse({"--event-dir", "-odd", "--port", "1", "--port", "32767", "--char-mode=0"});
    EXPECT_EQ(info.eventDir, FromUtf8(Cwd() + "/-odd"));
    EXPECT_EQ(info.port, 32767);
    EXPECT_EQ(info.charMode, 0);
}

TEST(CommandLineGnu, MalformedValuesAreErrors) {
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{"--port"},
                                               {"--port", "abc"},
                                               {"--port=8080x"},
                                               {"--port", "-1"},
                                               {"--port", "0"},
                                               {"--port", "32768"},
                                               {"--port="},
                                               {"--port", "99999999999"},
                                               {"--char-mode", "2"},
                                               {"--char-mode="},
                                               {"--char-mode"},
                                               {"--config-dir"},
                                               {"--config-dir="},
                                               {"--event-dir", ""},
                                               {"--results-dir"},
                                               {"--help=yes"},
                                               {"--version=1"}}) {
        auto info = ParseCommandLine(args);
        EXPECT_FALSE(info.error.empty()) << args[0];
        EXPECT_NE(info.error.find(args[0].substr(0, args[0].find('='))), std::string::npos)
            << info.error;
    }
}

TEST(CommandLineGnu, OverridesReplaceOnlyWhatWasGiven) {
    CKestromSettings s;
    s.PortNumber = 1950;
    s.EventDirectory = u"/stored/ev";
    s.ResultsDirectory = u"/stored/res";
    s.CharMode = 1;
    ApplyOverrides(s, Parse({"--port", "2000", "--results-dir", "/new/res"}));
    EXPECT_EQ(s.PortNumber, 2000);
    EXPECT_EQ(s.EventDirectory, u"/stored/ev");
    EXPECT_EQ(s.ResultsDirectory, u"/new/res");
    EXPECT_EQ(s.CharMode, 1);
    ApplyOverrides(s, Parse({"--char-mode", "0", "--event-dir", "/new/ev"}));
    EXPECT_EQ(s.CharMode, 0);
    EXPECT_EQ(s.EventDirectory, u"/new/ev");
}

TEST(CommandLineGnu, UsageNamesTheProgramAndEveryOption) {
    const std::string text = UsageText("kestromd");
    EXPECT_EQ(text.rfind("Usage: kestromd ", 0), 0u);
    for (const char* opt : {"--config-dir", "--port", "--event-dir", "--results-dir", "--char-mode",
                            "--help", "--version", "/initStartListDirectory=",
                            "/initResultsDirectory=", "/useHyWire", "/startMinimized"}) {
        EXPECT_NE(text.find(opt), std::string::npos) << opt;
    }
    EXPECT_EQ(VersionText("kestrom"), "kestrom (Kestrom) 3.23\n");
    // Only kestromd runs as the service; the window's text leaves the switches out.
    for (const char* opt : {"--install-service", "--uninstall-service"}) {
        EXPECT_NE(text.find(opt), std::string::npos) << opt;
        EXPECT_EQ(UsageText("kestrom").find(opt), std::string::npos) << opt;
    }
}

TEST(CommandLineGnu, ServiceSwitchesAreFlagsThatTakeNoValue) {
    auto info = Parse({"--install-service", "--port", "2000", "--run-as-service"});
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_TRUE(info.installService);
    EXPECT_TRUE(info.runAsService);
    EXPECT_FALSE(info.uninstallService);
    EXPECT_EQ(info.port, 2000);
    EXPECT_TRUE(Parse({"--uninstall-service"}).uninstallService);
    for (const char* bad : {"--install-service=yes", "--uninstall-service=1", "--run-as-service="})
        EXPECT_NE(Parse({bad}).error.find("takes no value"), std::string::npos) << bad;
}

}  // namespace
}  // namespace kestrom

namespace kestrom {
namespace {

TEST(CommandLineGnu, ConnectionCapsAreTakenAppliedAndCheckedForThisRun) {
    auto info = ParseCommandLine({"--max-connections", "40", "--max-connections-per-address=3"});
    ASSERT_TRUE(info.error.empty()) << info.error;
    CKestromSettings s;
    ApplyOverrides(s, info);
    EXPECT_EQ(s.Limits.MaxConnections, 40);
    EXPECT_EQ(s.Limits.MaxConnectionsPerAddress, 3);
    EXPECT_EQ(s.Limits.RequestSizeLimit, CNetLimits{}.RequestSizeLimit);  // not given: default

    for (const char* bad : {"0", "-5", "many", ""}) {
        info = ParseCommandLine({"--max-connections", bad});
        EXPECT_NE(info.error.find("--max-connections"), std::string::npos) << bad;
    }
    EXPECT_NE(UsageText("kestromd").find("--max-connections-per-address"), std::string::npos);
}

TEST(CommandLineGnu, ConsoleOptionsOverrideTheSettingsAndZeroTurnsItOff) {
    auto info = ParseCommandLine(
        {"--console-port", "0", "--console-address=0.0.0.0", "--new-console-token"});
    ASSERT_TRUE(info.error.empty()) << info.error;
    EXPECT_TRUE(info.newConsoleToken);
    CKestromSettings s;
    ApplyOverrides(s, info);
    EXPECT_EQ(s.ConsolePort, 0);
    EXPECT_EQ(s.ConsoleAddress, u"0.0.0.0");

    info = ParseCommandLine({"--port", "1950"});
    ApplyOverrides(s = CKestromSettings{}, info);
    EXPECT_EQ(s.ConsolePort, 1951);
    EXPECT_EQ(s.ConsoleAddress, u"127.0.0.1");
    for (const char* bad : {"65536", "-1", "web"})
        EXPECT_NE(ParseCommandLine({"--console-port", bad}).error.find("--console-port"),
                  std::string::npos)
            << bad;
    EXPECT_NE(ParseCommandLine({"--new-console-token=1"}).error.find("takes no value"),
              std::string::npos);
}

}  // namespace
}  // namespace kestrom
