#pragma once
// The byte layout of the access list's storage file: a count, then one record per entry
// (marker 0x80000001, six byte texts, the name, four 32-bit integers), little-endian, texts
// with the FF FE FF mark of 16-bit text and a variable-length length.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "security/AccessControlList.h"

namespace kestrom {

inline constexpr uint32_t kAccessRecordMarker = 0x80000001u;

// The whole file for the list, texts always in the 16-bit form.
std::string SerializeAccessList(const std::vector<CAccessControlItem>& items);

struct CAccessListParse {
    std::vector<CAccessControlItem> items;
    // The count could not be read, or names more entries than could ever be held; nothing
    // was read then.
    bool countMalformed = false;
};

// Reads the count and every record. A record that ends early (end of data, impossible
// length) keeps the fields read before the failure; the records after it are read on from
// where it stopped, so a file cut short gives empty entries for the rest. A record whose
// marker is wrong stays empty and the next one starts at the very next byte.
CAccessListParse ParseAccessList(std::string_view bytes);

// 8-bit texts in the file come from Windows' western code page.
std::u16string WidenWindows1252(std::string_view bytes);

}  // namespace kestrom
