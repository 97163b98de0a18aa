// Loopback peers against the kernel's table: known to have no entry without reading it; a
// table given for tests is still read for them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "security/MacLookup.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

TEST(MacLookupLoopback, KernelTableIsNotReadForLoopbackPeers) {
    const testing::CSandbox sandbox;
    const std::filesystem::path path = sandbox.File("arp");
    std::ofstream(path)
        << "IP address       HW type     Flags       HW address            Mask     "
           "Device\n"
           "127.0.0.2        0x1         0x2         02:00:00:00:00:02     *        lo\n"
           "10.0.0.7         0x1         0x2         02:00:00:00:00:07     *        eth0\n";
    // The same file as a test table answers for the loopback host...
    const auto asTestTable = CMacLookup(path.string()).HardwareAddress(u"127.0.0.2");
    ASSERT_TRUE(asTestTable);
    EXPECT_EQ(FormatMacText(*asTestTable), u"02:00:00:00:00:02");
    // ...while the kernel's table is known to hold none, so only other hosts are looked up.
    const CMacLookup kernel(path.string(), true);
    EXPECT_FALSE(kernel.HardwareAddress(u"127.0.0.2"));
    EXPECT_FALSE(kernel.HardwareAddress(u"127.255.0.1"));
    const auto other = kernel.HardwareAddress(u"10.0.0.7");
    ASSERT_TRUE(other);
    EXPECT_EQ(FormatMacText(*other), u"02:00:00:00:00:07");
}

}  // namespace
}  // namespace kestrom
