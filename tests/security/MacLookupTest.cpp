// The ARP table reader that stands in for the platform's ARP query.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "security/MacLookup.h"

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
    auto path =
        std::filesystem::temp_directory_path() /
        ("kestrom-arp-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    CMacLookup lookup(path);
    EXPECT_EQ(lookup.HardwareAddress(u"192.168.1.10"), std::nullopt);  // no file yet
    std::ofstream(path) << kTable;
    auto bytes = lookup.HardwareAddress(u"192.168.1.10");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(FormatMacText(*bytes), u"00:1A:2B:3C:4D:5E");
    std::ofstream(path) << "IP address HW type Flags HW address Mask Device\n";
    EXPECT_EQ(lookup.HardwareAddress(u"192.168.1.10"), std::nullopt);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace kestrom
