#include "security/ClientAddressLists.h"

#include <algorithm>

namespace kestrom {

CClientAddressLists::List& CClientAddressLists::Of(CProduct product) const {
    return lists_[static_cast<int>(product)];
}

bool CClientAddressLists::Record(CProduct product, std::u16string_view ipText) {
    List& list = Of(product);
    std::lock_guard lock(list.mutex);
    if (std::find(list.addresses.begin(), list.addresses.end(), ipText) != list.addresses.end())
        return false;
    list.addresses.emplace_back(ipText);
    return true;
}

std::vector<std::u16string> CClientAddressLists::Addresses(CProduct product) const {
    List& list = Of(product);
    std::lock_guard lock(list.mutex);
    return list.addresses;
}

int CClientAddressLists::Count(CProduct product) const {
    List& list = Of(product);
    std::lock_guard lock(list.mutex);
    return static_cast<int>(list.addresses.size());
}

}  // namespace kestrom
