// The ARP table reader that stands in on Linux for the Windows ARP query.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "security/MacLookup.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

constexpr const char* kTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.1.20     0x1         0x0         00:00:00:00:00:00     *        eth0\n"
    "192.168.1.10     0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
    "192.168.1.20     0x1         0x2         a0:b1:c2:d3:e4:f5     *        wlan0\n"
    "192.168.1.30     0x1         0x6         0:1:2:3:4:5           *        eth0\n";

std::optional<std::u16string> MacOf(const char* ip) {
    auto parsed = ParseIpv4(ip);
    if (!parsed) return std::nullopt;
    auto bytes = FindInArpTable(kTable, *parsed);
    if (!bytes) return std::nullopt;
    return FormatMacText(*bytes);
}

TEST(MacLookup, CompleteEntriesOnlyInUpperCaseHex) {
    EXPECT_EQ(MacOf("192.168.1.10"), u"00:1A:2B:3C:4D:5E");
    // The incomplete entry before it is skipped.
    EXPECT_EQ(MacOf("192.168.1.20"), u"A0:B1:C2:D3:E4:F5");
    // Flags with more bits than "complete" still count; single digits are padded.
    EXPECT_EQ(MacOf("192.168.1.30"), u"00:01:02:03:04:05");
    EXPECT_EQ(MacOf("192.168.1.99"), std::nullopt);
    EXPECT_EQ(MacOf("127.0.0.1"), std::nullopt);
}

TEST(MacLookup, OnlyDottedIpv4Addresses) {
    EXPECT_EQ(ParseIpv4("10.0.0.1"), 0x0A000001u);
    EXPECT_EQ(ParseIpv4("::1"), std::nullopt);
    EXPECT_EQ(ParseIpv4(""), std::nullopt);
    EXPECT_EQ(ParseIpv4("10.0.0"), std::nullopt);
}

TEST(MacLookup, MacTextOfAnyLength) {
    EXPECT_EQ(FormatMacText({}), u"");
    EXPECT_EQ(FormatMacText({0xAB}), u"AB");
    EXPECT_EQ(FormatMacText({0, 0xFF, 0x0C}), u"00:FF:0C");
}

TEST(MacLookup, ReadsTheTableFileAfreshForEveryQuery) {
    const testing::CSandbox sandbox;
    const std::filesystem::path path = sandbox.File("arp");
    CMacLookup lookup(path.string());
    EXPECT_EQ(lookup.HardwareAddress(u"192.168.1.10"), std::nullopt);  // no file yet
    std::ofstream(path) << kTable;
    auto bytes = lookup.HardwareAddress(u"192.168.1.10");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(FormatMacText(*bytes), u"00:1A:2B:3C:4D:5E");
    std::ofstream(path) << "IP address HW type Flags HW address Mask Device\n";
    EXPECT_EQ(lookup.HardwareAddress(u"192.168.1.10"), std::nullopt);
}

TEST(MacLookup, DamagedOrUnusualTablesGiveNoFalseAddress) {
    const uint32_t ip = *ParseIpv4("10.1.2.3");
    auto mac = [&](std::string_view table) -> std::optional<std::u16string> {
        auto bytes = FindInArpTable(table, ip);
        if (!bytes) return std::nullopt;
        return FormatMacText(*bytes);
    };
    const std::string titles = "IP address HW type Flags HW address Mask Device\n";
    // Tabs between fields and no line end after the last entry.
    EXPECT_EQ(mac(titles + "10.1.2.3\t0x1\t0x2\t02:00:00:00:00:0a\t*\teth0"), u"02:00:00:00:00:0A");
    // The first line is always the titles, even when it looks like an entry.
    EXPECT_EQ(mac("10.1.2.3 0x1 0x2 02:00:00:00:00:0a * eth0\n"), std::nullopt);
    // Flags that are not hexadecimal, an address of seven bytes, an empty byte, a byte of
    // three digits, a missing address column: none is taken.
    EXPECT_EQ(mac(titles + "10.1.2.3 0x1 zz 02:00:00:00:00:0a * eth0\n"), std::nullopt);
    EXPECT_EQ(mac(titles + "10.1.2.3 0x1 0x2 1:2:3:4:5:6:7 * eth0\n"), std::nullopt);
    EXPECT_EQ(mac(titles + "10.1.2.3 0x1 0x2 1::3:4:5:6 * eth0\n"), std::nullopt);
    EXPECT_EQ(mac(titles + "10.1.2.3 0x1 0x2 100:2:3:4:5:6 * eth0\n"), std::nullopt);
    EXPECT_EQ(mac(titles + "10.1.2.3 0x1 0x2\n"), std::nullopt);
    EXPECT_EQ(mac(""), std::nullopt);
    // A bad entry does not hide a good one after it.
    EXPECT_EQ(mac(titles + "10.1.2.3 0x1 0x2 xx:yy * eth0\n10.1.2.3 0x1 0x2 0a:0b * eth1\n"),
              u"0A:0B");
}

}  // namespace
}  // namespace kestrom
