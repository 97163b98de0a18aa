#include "base/ShareModeTable.h"

namespace kestrom {

namespace {

bool Conflicts(unsigned heldAccess, unsigned heldShare, unsigned access, unsigned share) {
    constexpr unsigned kWriters = kFileWrite | kFileReplace;
    if ((heldAccess | access) & kFileReplace)
        return ((heldAccess & kFileReplace) && (access & kWriters)) ||
               ((access & kFileReplace) && (heldAccess & kWriters));
    return (access & ~heldShare) != 0 || (heldAccess & ~share) != 0;
}

}  // namespace

CShareModeTable& CShareModeTable::Process() {
    static CShareModeTable table;
    return table;
}

std::uint64_t CShareModeTable::TryAcquire(FileIdentity id, unsigned access, unsigned share) {
    std::lock_guard lock(mutex_);
    std::vector<Entry>& opens = opens_[id];
    for (const Entry& e : opens) {
        if (Conflicts(e.access, e.share, access, share)) return 0;
    }
    std::uint64_t ticket = nextTicket_++;
    opens.push_back({ticket, access, share});
    return ticket;
}

void CShareModeTable::Release(FileIdentity id, std::uint64_t ticket) {
    std::lock_guard lock(mutex_);
    auto it = opens_.find(id);
    if (it == opens_.end()) return;
    std::erase_if(it->second, [ticket](const Entry& e) { return e.ticket == ticket; });
    if (it->second.empty()) opens_.erase(it);
}

std::size_t CShareModeTable::OpenCount(FileIdentity id) const {
    std::lock_guard lock(mutex_);
    auto it = opens_.find(id);
    return it == opens_.end() ? 0 : it->second.size();
}

}  // namespace kestrom
