#pragma once
// The registry export text (".reg") that stands in for the registry: a header line, then
// "[key path]" sections of value lines. Values are kept as their raw type and bytes, so the
// rules a reader applies to them are exactly those it would apply to registry data. Lines the
// program does not own (other keys, other values, comments) pass through a rewrite verbatim.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrom {

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

namespace reg_type {
constexpr uint32_t kSz = 1;
constexpr uint32_t kExpandSz = 2;
constexpr uint32_t kBinary = 3;
constexpr uint32_t kDword = 4;
}  // namespace reg_type

struct CRegValue {
    uint32_t type = reg_type::kSz;
    std::vector<uint8_t> data;

    // A string value as the registry stores it: UTF-16LE with its terminating NUL counted.
    static CRegValue String(std::u16string_view text);
    bool operator==(const CRegValue&) const = default;
};

// One value line: `"Name"="text"` for a string that survives the quoted form unchanged,
// `"Name"=dword:xxxxxxxx` for a 4-byte DWORD, `"Name"=hex:..` for binary and
// `"Name"=hex(T):..` (T in hex) for everything else.
std::string FormatRegValueLine(std::string_view name, const CRegValue& value);

// Parses one logical value line (continuation lines already joined). Returns the name and
// value, or nothing for a line that is not a well-formed value line (including deletions
// `"Name"=-` and the default value `@=`).
std::optional<std::pair<std::string, CRegValue>> ParseRegValueLine(std::string_view line);

class CRegFile {
  public:
    // Accepts UTF-8 (with or without BOM) and UTF-16LE with BOM; any line ending.
    static CRegFile Parse(std::string_view bytes);
    // UTF-8, LF line ends, a final line end.
    std::string Serialize() const;

    // Key paths compare case-insensitively (ASCII), as registry key names do.
    bool HasKey(std::string_view keyPath) const;
    // Appends an empty section for the key unless it exists. An empty document gets the
    // header first.
    void AddKey(std::string_view keyPath);
    // The value of that name in the key (names compare case-insensitively); nothing when the
    // key or value is missing or its line is not well-formed.
    std::optional<CRegValue> Get(std::string_view keyPath, std::string_view name) const;
    // Replaces the value in place, or appends it after the key's last value line. Does
    // nothing when the key is missing.
    void Set(std::string_view keyPath, std::string_view name, const CRegValue& value);

  private:
    struct Entry {
        std::string raw;   // physical lines, joined by '\n' when continued
        std::string name;  // value name for value lines, empty otherwise
        bool isValue = false;
    };
    struct Section {
        std::string header;
        std::string keyPath;
        std::vector<Entry> entries;
    };
    Section* FindSection(std::string_view keyPath);
    const Section* FindSection(std::string_view keyPath) const;

    std::vector<std::string> preamble_;
    std::vector<Section> sections_;
};

}  // namespace kestrom
