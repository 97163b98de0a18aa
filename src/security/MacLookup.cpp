#include "security/MacLookup.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fileio/TextConvert.h"

namespace kestrom {

namespace {

// ATF_COM: the kernel has the hardware address; incomplete entries carry zeros.
constexpr unsigned long kArpComplete = 0x2;
constexpr size_t kMaxAddressBytes = 6;

std::optional<std::vector<uint8_t>> ParseHardwareAddress(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    std::string piece;
    while (std::getline(in, piece, ':')) {
        if (piece.empty() || piece.size() > 2) return std::nullopt;
        char* end = nullptr;
        unsigned long v = std::strtoul(piece.c_str(), &end, 16);
        if (*end != '\0') return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(v));
    }
    // The query offers room for six bytes, as the platform call does.
    if (bytes.empty() || bytes.size() > kMaxAddressBytes) return std::nullopt;
    return bytes;
}

}  // namespace

CMacLookup CMacLookup::FromEnvironment() {
    const char* table = std::getenv(kArpTableEnvironment);
    if (table && *table) return CMacLookup(table);
    return CMacLookup("/proc/net/arp", true);
}

std::optional<std::vector<uint8_t>> CMacLookup::HardwareAddress(std::u16string_view ipText) const {
    auto ip = ParseIpv4(ToUtf8(ipText));
    if (!ip) return std::nullopt;
    // Loopback has no neighbours: the kernel's table has no entry for 127.x.x.x, so the
    // answer is known without reading it (a local client asks on every request).
    if (kernelTable_ && (*ip >> 24) == 127) return std::nullopt;
    std::ifstream file(table_, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return FindInArpTable(text.str(), *ip);
}

std::optional<std::vector<uint8_t>> FindInArpTable(std::string_view tableText, uint32_t ip) {
    std::istringstream in{std::string(tableText)};
    std::string line;
    std::getline(in, line);  // column titles
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string address, type, flags, hardware;
        if (!(fields >> address >> type >> flags >> hardware)) continue;
        auto entryIp = ParseIpv4(address);
        if (!entryIp || *entryIp != ip) continue;
        unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
        if (!(flagBits & kArpComplete)) continue;
        if (auto bytes = ParseHardwareAddress(hardware)) return bytes;
    }
    return std::nullopt;
}

std::optional<uint32_t> ParseIpv4(std::string_view text) {
    std::string s(text);
    in_addr addr{};
    if (inet_pton(AF_INET, s.c_str(), &addr) != 1) return std::nullopt;
    return ntohl(addr.s_addr);
}

std::u16string FormatMacText(const std::vector<uint8_t>& bytes) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += u':';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0xF];
    }
    return text;
}

}  // namespace kestrom
