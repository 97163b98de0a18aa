#include "security/AccessControlList.h"

namespace kestrom {

std::u16string CAccessControlItem::GetMacText() const {
    return macByte1 + u":" + macByte2 + u":" + macByte3 + u":" + macByte4 + u":" + macByte5 + u":" +
           macByte6;
}

void SplitMacText(std::u16string_view macText, CAccessControlItem& item) {
    std::u16string* bytes[] = {&item.macByte1, &item.macByte2, &item.macByte3,
                               &item.macByte4, &item.macByte5, &item.macByte6};
    size_t start = 0;
    for (std::u16string* byte : bytes) {
        if (start > macText.size()) {
            byte->clear();
            continue;
        }
        size_t colon = macText.find(u':', start);
        size_t end = colon == std::u16string_view::npos ? macText.size() : colon;
        byte->assign(macText.substr(start, end - start));
        start = end + 1;
    }
}

CAccessControlList::CAccessControlList() : table_(Build({})) {}

std::shared_ptr<const CAccessControlList::Table> CAccessControlList::Build(
    std::vector<CAccessControlItem> items) {
    auto table = std::make_shared<Table>();
    table->items = std::move(items);
    table->firstByMac.reserve(table->items.size());
    // emplace keeps the first index of a MAC text that several entries share.
    for (size_t i = 0; i < table->items.size(); ++i)
        table->firstByMac.emplace(table->items[i].GetMacText(), i);
    return table;
}

std::shared_ptr<const CAccessControlList::Table> CAccessControlList::Current() const {
    std::shared_lock lock(tableMutex_);
    return table_;
}

void CAccessControlList::Publish(std::shared_ptr<const Table> table) {
    {
        std::unique_lock lock(tableMutex_);
        table_.swap(table);
    }
    // The old table is released here, outside the lock (searches may still hold it).
}

std::vector<CAccessControlItem> CAccessControlList::Snapshot() const {
    return Current()->items;
}

std::optional<CAccessControlItem> CAccessControlList::FindByMacText(
    std::u16string_view macText) const {
    const auto table = Current();
    const auto found = table->firstByMac.find(macText);
    if (found == table->firstByMac.end()) return std::nullopt;
    return table->items[found->second];
}

std::optional<size_t> CAccessControlList::FindIndexByMacText(std::u16string_view macText) const {
    const auto table = Current();
    const auto found = table->firstByMac.find(macText);
    if (found == table->firstByMac.end()) return std::nullopt;
    return found->second;
}

void CAccessControlList::ReplaceAll(const std::vector<CAccessControlItem>& items) {
    std::lock_guard lock(changeMutex_);
    Publish(Build(items));
}

void CAccessControlList::Append(const std::vector<CAccessControlItem>& items) {
    std::lock_guard lock(changeMutex_);
    std::vector<CAccessControlItem> all = Current()->items;
    all.insert(all.end(), items.begin(), items.end());
    Publish(Build(std::move(all)));
}

size_t CAccessControlList::Size() const {
    return Current()->items.size();
}

void CAccessControlList::SetStoragePath(std::u16string path) {
    std::lock_guard lock(pathMutex_);
    storagePath_ = std::move(path);
}

std::u16string CAccessControlList::StoragePath() const {
    std::lock_guard lock(pathMutex_);
    return storagePath_;
}

}  // namespace kestrom
