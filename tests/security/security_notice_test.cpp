// The start-up warning about a server that every device on the network can use.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "security/SecurityNotice.h"

namespace kestrom {
namespace {

TEST(SecurityNotice, OnlyAddressesOutsideLoopbackMakeTheListenerReachable) {
    const std::uint32_t loopback = 0x7F000001, otherLoopback = 0x7F000102, lan = 0xC0A80105;
    EXPECT_FALSE(ReachableFromOtherHosts(std::vector<std::uint32_t>{}));
    EXPECT_FALSE(ReachableFromOtherHosts(std::vector<std::uint32_t>{loopback, otherLoopback}));
    EXPECT_TRUE(ReachableFromOtherHosts(std::vector<std::uint32_t>{loopback, lan}));
    // This machine always has its loopback interface up.
    const auto here = InterfaceAddresses();
    EXPECT_NE(std::find(here.begin(), here.end(), loopback), here.end());
}

TEST(SecurityNotice, WarnsOnlyWhenSecurityIsOffAndOthersCanReachThePort) {
    CKestromSettings s;
    s.SecurityEnabled = false;
    EXPECT_EQ(OpenAccessWarning(s, true, 1950),
              "Kestrom security is off: every device that can reach port 1950 of this computer "
              "is served and may upload results and start lists. See \"Securing a meet\" in "
              "the manual.");
    EXPECT_EQ(OpenAccessWarning(s, false, 1950), "");
    s.SecurityEnabled = true;
    EXPECT_EQ(OpenAccessWarning(s, true, 1950), "");
}

}  // namespace
}  // namespace kestrom
