// What kestromd says when it starts, and what it clears away first.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "daemon_harness.h"
#include "security/SecurityNotice.h"

namespace kestrom::testing {
namespace {

// Standard error is read as it grows: the line comes a moment after the listener is up.
bool WaitForStderr(const CDaemonHarness& d, const std::string& text) {
    return testing::WaitUntil([&] { return d.Stderr().find(text) != std::string::npos; }, 10s);
}

TEST(StartUpE2E, OneLineOnStandardErrorAndTheEventLogAlone) {
    CDaemonHarness::Options options;
    options.charMode = 1;
    CDaemonHarness d(options);
    ASSERT_TRUE(d.Running());
    const std::string line = "kestromd (Kestrom) 3.23: listening on port " +
                             std::to_string(d.Port()) + ", character mode 1, event folder " +
                             d.AsDaemonNames(d.EventDir()) + ", results folder " +
                             d.AsDaemonNames(d.ResultsDir()) + ", security off\n";
    ASSERT_TRUE(WaitForStderr(d, line)) << d.Stderr();
    const bool open = ReachableFromOtherHosts(InterfaceAddresses());
    // The warning is written after the start-up line, so it may still be on its way.
    const std::string warning =
        "kestromd: Kestrom security is off: every device that can reach port " +
        std::to_string(d.Port());
    if (open) WaitForStderr(d, warning);
    EXPECT_EQ(d.Stderr().find(warning) != std::string::npos, open) << d.Stderr();
    ASSERT_TRUE(d.Request(BuildRequest(u"HFL", u"")));
    ASSERT_TRUE(d.WaitForLog("FieldOrvo Ping"));
    EXPECT_EQ(d.Stdout().find("kestromd (Kestrom)"), std::string::npos);
    EXPECT_EQ(d.Stdout().find("security is off"), std::string::npos);
}

TEST(StartUpE2E, TemporaryFilesOfACrashedRunAreRemovedAtStart) {
    CDaemonHarness::Options options;
    options.start = false;
    CDaemonHarness d(options);
    const std::string stale = d.ResultsDir() + "/.007-1-03.qff.0123456789ab.tmp";
    const std::string other = d.ResultsDir() + "/.notes.tmp";
    ASSERT_TRUE(WriteFile(stale, "7,1,3,half"));
    ASSERT_TRUE(WriteFile(other, "not ours"));
    ASSERT_TRUE(d.Start());
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(other));
    EXPECT_TRUE(d.WaitForLog("Removed 1 temporary files of an interrupted write from " +
                             d.AsDaemonNames(d.ResultsDir())))
        << d.Stdout();
}

}  // namespace
}  // namespace kestrom::testing
