#pragma once
// The access control list: client MAC addresses with per-product permissions.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrom {

class CAccessControlItem {
  public:
    // Byte texts are kept and compared as text: the editor lets the operator type anything.
    std::u16string macByte1, macByte2, macByte3, macByte4, macByte5, macByte6;
    std::u16string name;
    int32_t enabled = 0;
    int32_t allowWenlow = 0;
    int32_t allowClerkOrvo = 0;
    int32_t allowFieldOrvo = 0;

    // Rebuilt from the byte texts on every call, never stored.
    std::u16string GetMacText() const;
    bool operator==(const CAccessControlItem&) const = default;
};

// The six byte texts of a MAC text split at every ":"; missing pieces are empty and pieces
// after the sixth are dropped.
void SplitMacText(std::u16string_view macText, CAccessControlItem& item);

// The list lives for the whole run; admission searches it from connection threads for every
// message while the options dialog may replace it. Each change publishes a new immutable
// table with an index by MAC text, so a search is one hash lookup on the table current at
// its start; the table's lock is held, shared, only to take the table, and a change holds
// it alone only to put the new table in place. It also knows
// where it is stored: the bare name KestromMAC.dat, i.e. the working directory, which the
// front ends make the config folder.
class CAccessControlList {
  public:
    CAccessControlList();

    std::vector<CAccessControlItem> Snapshot() const;
    // A copy of the first entry whose MAC text equals macText exactly.
    std::optional<CAccessControlItem> FindByMacText(std::u16string_view macText) const;
    std::optional<size_t> FindIndexByMacText(std::u16string_view macText) const;
    void ReplaceAll(const std::vector<CAccessControlItem>& items);
    void Append(const std::vector<CAccessControlItem>& items);
    size_t Size() const;

    void SetStoragePath(std::u16string path);
    std::u16string StoragePath() const;

    // Held by a save from its snapshot to the rename, so concurrent saves land in order and
    // the last file written holds the latest list.
    std::mutex& SaveMutex() const { return saveMutex_; }

  private:
    struct MacHash {
        using is_transparent = void;
        size_t operator()(std::u16string_view text) const {
            return std::hash<std::u16string_view>{}(text);
        }
    };
    // The entries in list order and, for each MAC text, the index of its first entry.
    struct Table {
        std::vector<CAccessControlItem> items;
        std::unordered_map<std::u16string, size_t, MacHash, std::equal_to<>> firstByMac;
    };
    static std::shared_ptr<const Table> Build(std::vector<CAccessControlItem> items);
    std::shared_ptr<const Table> Current() const;
    void Publish(std::shared_ptr<const Table> table);

    mutable std::shared_mutex tableMutex_;
    std::shared_ptr<const Table> table_;
    // Orders the changes (an append reads the table it extends); searches never take it.
    std::mutex changeMutex_;
    mutable std::mutex pathMutex_;
    mutable std::mutex saveMutex_;
    std::u16string storagePath_ = u"KestromMAC.dat";
};

}  // namespace kestrom
