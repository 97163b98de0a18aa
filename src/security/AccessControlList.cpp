#include "security/AccessControlList.h"

namespace kestrom {

std::u16string CAccessControlItem::GetMacText() const {
    return macByte1 + u":" + macByte2 + u":" + macByte3 + u":" + macByte4 + u":" + macByte5 +
           u":" + macByte6;
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

}  // namespace kestrom
