#pragma once
// The access control list: client MAC addresses with per-product permissions.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kestrom {

class CAccessControlItem {
public:
    std::u16string macByte1, macByte2, macByte3, macByte4, macByte5, macByte6;
    std::u16string name;
    int32_t enabled = 0;
    int32_t allowWenlow = 0;
    int32_t allowClerkOrvo = 0;
    int32_t allowFieldOrvo = 0;

    std::u16string GetMacText() const;
    bool operator==(const CAccessControlItem&) const = default;
};

// The list lives for the whole run; admission searches it from connection threads while the
// options dialog may replace it, so every access goes through its one lock.
class CAccessControlList {
public:
    std::vector<CAccessControlItem> Snapshot() const;
    std::optional<CAccessControlItem> FindByMacText(std::u16string_view macText) const;
    void ReplaceAll(const std::vector<CAccessControlItem>& items);
    void Append(const std::vector<CAccessControlItem>& items);
    size_t Size() const;

private:
    mutable std::mutex mutex_;
    std::vector<CAccessControlItem> items_;
};

}  // namespace kestrom
