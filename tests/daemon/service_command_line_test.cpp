#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "daemon/ServiceCommandLine.h"

namespace kestrom {
namespace {

TEST(ServiceCommandLine, ArgumentsCarryTheServerOptionsAndNotTheOneOffSwitches) {
    const CKestromCommandLineInfo info =
        ParseCommandLine({"--install-service", "--config-dir", "/srv/kestrom", "--port", "2001",
                          "--event-dir", "/meet", "--results-dir", "/meet/res", "--char-mode", "1",
                          "--console-port", "0", "--max-connections", "40", "--new-console-token",
                          "/initResultsDirectory=/first", "/useHyWire", "--help"});
    ASSERT_TRUE(info.error.empty()) << info.error;
    const std::vector<std::string> args = ServiceArguments(info);
    const std::vector<std::string> expected{"--run-as-service",
                                            "--config-dir",
                                            "/srv/kestrom",
                                            "--port",
                                            "2001",
                                            "--event-dir",
                                            "/meet",
                                            "--results-dir",
                                            "/meet/res",
                                            "--char-mode",
                                            "1",
                                            "--max-connections",
                                            "40",
                                            "--console-port",
                                            "0",
                                            "/initResultsDirectory=/first",
                                            "/useHyWire"};
    EXPECT_EQ(args, expected);

    // Read back, the arguments give the service the same run as the install was given.
    const CKestromCommandLineInfo back = ParseCommandLine(args);
    EXPECT_TRUE(back.runAsService);
    EXPECT_FALSE(back.installService || back.newConsoleToken || back.help);
    EXPECT_EQ(back.configDir, info.configDir);
    EXPECT_EQ(back.port, info.port);
    EXPECT_EQ(back.resultsDir, info.resultsDir);
    EXPECT_EQ(back.consolePort, 0);
    EXPECT_EQ(back.initResultsDirectory, info.initResultsDirectory);

    // Nothing given: the service runs on the stored settings alone.
    EXPECT_EQ(ServiceArguments(ParseCommandLine({"--install-service"})),
              std::vector<std::string>{"--run-as-service"});
}

TEST(ServiceCommandLine, ArgumentsAreQuotedAsWindowsSplitsThem) {
    EXPECT_EQ(QuoteWindowsArgument(u"C:\\Meet\\results"), u"C:\\Meet\\results");
    EXPECT_EQ(QuoteWindowsArgument(u""), u"\"\"");
    EXPECT_EQ(QuoteWindowsArgument(u"C:\\Meet Day 1\\res"), u"\"C:\\Meet Day 1\\res\"");
    // Backslashes before the closing quote are doubled, or the quote would be escaped.
    EXPECT_EQ(QuoteWindowsArgument(u"C:\\My Meet\\"), u"\"C:\\My Meet\\\\\"");
    // A quote is escaped, and so is each backslash before it.
    EXPECT_EQ(QuoteWindowsArgument(u"say \"hi\""), u"\"say \\\"hi\\\"\"");
    EXPECT_EQ(QuoteWindowsArgument(u"a\\\"b"), u"\"a\\\\\\\"b\"");
    EXPECT_EQ(QuoteWindowsArgument(u"tab\there"), u"\"tab\there\"");

    EXPECT_EQ(ServiceCommandLine(u"C:\\Program Files\\Kestrom\\kestromd.exe",
                                 {"--run-as-service", "--event-dir", "C:\\Meet Day\\"}),
              u"\"C:\\Program Files\\Kestrom\\kestromd.exe\" --run-as-service --event-dir "
              u"\"C:\\Meet Day\\\\\"");
}

}  // namespace
}  // namespace kestrom
