#include "security/MacLookup.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <algorithm>
#include <cstdlib>

#include "base/NumberText.h"
#include "base/TextConvert.h"
#include "base/WholeFile.h"

namespace kestrom {

namespace {

// ATF_COM: the kernel has the hardware address; incomplete entries carry zeros.
constexpr unsigned long kArpComplete = 0x2;
constexpr size_t kMaxAddressBytes = 6;

// The next run of characters other than blanks and tabs, taken from the front of text.
std::string_view NextField(std::string_view& text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const size_t end = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(end);
    return field;
}

// "0x2" and the like; nothing for text that is not hexadecimal.
std::optional<unsigned long> ParseHexFlags(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 8) return std::nullopt;
    unsigned long value = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned long>(d);
    }
    return value;
}

// One or two hex digits a byte, separated by colons.
std::optional<std::vector<uint8_t>> ParseHardwareAddress(std::string_view text) {
    std::vector<uint8_t> bytes;
    for (;;) {
        const size_t colon = std::min(text.find(':'), text.size());
        const std::string_view piece = text.substr(0, colon);
        if (piece.empty() || piece.size() > 2) return std::nullopt;
        int value = 0;
        for (char c : piece) {
            const int d = HexDigitValue(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + d;
        }
        bytes.push_back(static_cast<uint8_t>(value));
        // The query offers room for six bytes, as the Windows call (SendARP) does.
        if (bytes.size() > kMaxAddressBytes) return std::nullopt;
        if (colon == text.size()) return bytes;
        text.remove_prefix(colon + 1);
    }
}

}  // namespace

CMacLookup CMacLookup::FromEnvironment() {
    const char* table = std::getenv(kArpTableEnvironment);
    if (table && *table) return CMacLookup(table);
    return CMacLookup(kSystemArpTable, true);
}

std::optional<std::vector<uint8_t>> CMacLookup::HardwareAddress(std::u16string_view ipText) const {
    auto ip = ParseIpv4(ToUtf8(ipText));
    if (!ip) return std::nullopt;
    if (kernelTable_) return SystemHardwareAddress(*ip, table_);
    const auto text = ReadWholeFile(table_);
    if (!text) return std::nullopt;
    return FindInArpTable(*text, *ip);
}

std::optional<std::vector<uint8_t>> FindInArpTable(std::string_view tableText, uint32_t ip) {
    bool titles = true;
    while (!tableText.empty()) {
        const size_t end = std::min(tableText.find('\n'), tableText.size());
        std::string_view line = tableText.substr(0, end);
        tableText.remove_prefix(std::min(end + 1, tableText.size()));
        if (titles) {  // the first line names the columns
            titles = false;
            continue;
        }
        const std::string_view address = NextField(line);
        NextField(line);  // hardware type
        const std::string_view flags = NextField(line);
        const std::string_view hardware = NextField(line);
        if (hardware.empty()) continue;
        const auto entryIp = ParseIpv4(address);
        if (!entryIp || *entryIp != ip) continue;
        const auto flagBits = ParseHexFlags(flags);
        if (!flagBits || !(*flagBits & kArpComplete)) continue;
        if (auto bytes = ParseHardwareAddress(hardware)) return bytes;
    }
    return std::nullopt;
}

std::optional<uint32_t> ParseIpv4(std::string_view text) {
    char s[INET_ADDRSTRLEN];
    if (text.size() >= sizeof s) return std::nullopt;
    text.copy(s, text.size());
    s[text.size()] = '\0';
    in_addr addr{};
    if (inet_pton(AF_INET, s, &addr) != 1) return std::nullopt;
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
