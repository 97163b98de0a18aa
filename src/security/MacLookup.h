#pragma once
// The peer's hardware address from its IPv4 address, read from the kernel's ARP table.
// Only complete entries count; loopback and peers on other subnets have none, and then the
// lookup fails. The table is read afresh for every query: nothing is cached.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrom {

// Environment variable naming a file in the /proc/net/arp format to read instead (tests).
inline constexpr const char* kArpTableEnvironment = "KESTROM_ARP_TABLE";

class CMacLookup {
  public:
    // kernelTable: the table is the kernel's own, which never lists loopback peers.
    explicit CMacLookup(std::string table, bool kernelTable = false)
        : table_(std::move(table)), kernelTable_(kernelTable) {}
    // /proc/net/arp, or the file named by KESTROM_ARP_TABLE.
    static CMacLookup FromEnvironment();

    // The address bytes (at most six), or nothing when the peer is not a dotted IPv4
    // address, the table cannot be read or holds no complete entry for it.
    std::optional<std::vector<uint8_t>> HardwareAddress(std::u16string_view ipText) const;

  private:
    std::string table_;  // short enough to need no allocation for the kernel's
    bool kernelTable_ = false;
};

// The system's own answer for ip (host byte order): on Linux from its ARP table, the file
// `table` (kSystemArpTable); on Windows from SendARP, which asks the network when the cache
// has no entry. Nothing for loopback, which has no neighbours.
extern const char* const kSystemArpTable;
std::optional<std::vector<uint8_t>> SystemHardwareAddress(uint32_t ip, const std::string& table);

// The hardware address of the first complete entry for ip (host byte order) in the text
// of an ARP table.
std::optional<std::vector<uint8_t>> FindInArpTable(std::string_view tableText, uint32_t ip);

// Dotted IPv4 text to an address in host byte order.
std::optional<uint32_t> ParseIpv4(std::string_view text);

// "%02X:" for every byte but the last, "%02X" for the last; empty for no bytes.
std::u16string FormatMacText(const std::vector<uint8_t>& bytes);

}  // namespace kestrom
