#pragma once
// Per-product lists of the client addresses served while their security switch was on.
#include <mutex>
#include <string>
#include <vector>

namespace kestrom {

enum class CProduct { Wenlow, FieldOrvo, ClerkOrvo };

class CClientAddressLists {
  public:
    // Appends the address unless it is already listed; true when it was added.
    bool Record(CProduct product, std::u16string_view ipText);
    std::vector<std::u16string> Addresses(CProduct product) const;
    int Count(CProduct product) const;

  private:
    struct List {
        mutable std::mutex mutex;
        std::vector<std::u16string> addresses;
    };
    List& Of(CProduct product) const;
    mutable List lists_[3];
};

}  // namespace kestrom
