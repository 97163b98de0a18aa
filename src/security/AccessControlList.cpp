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

std::vector<CAccessControlItem> CAccessControlList::Snapshot() const {
    std::lock_guard lock(mutex_);
    return items_;
}

std::optional<CAccessControlItem> CAccessControlList::FindByMacText(
    std::u16string_view macText) const {
    std::lock_guard lock(mutex_);
    for (const auto& item : items_) {
        if (item.GetMacText() == macText) return item;
    }
    return std::nullopt;
}

std::optional<size_t> CAccessControlList::FindIndexByMacText(std::u16string_view macText) const {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].GetMacText() == macText) return i;
    }
    return std::nullopt;
}

void CAccessControlList::ReplaceAll(const std::vector<CAccessControlItem>& items) {
    std::lock_guard lock(mutex_);
    items_ = items;
}

void CAccessControlList::Append(const std::vector<CAccessControlItem>& items) {
    std::lock_guard lock(mutex_);
    items_.insert(items_.end(), items.begin(), items.end());
}

size_t CAccessControlList::Size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

void CAccessControlList::SetStoragePath(std::u16string path) {
    std::lock_guard lock(mutex_);
    storagePath_ = std::move(path);
}

std::u16string CAccessControlList::StoragePath() const {
    std::lock_guard lock(mutex_);
    return storagePath_;
}

}  // namespace kestrom
