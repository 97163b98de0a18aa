#include "base/MemoryBudget.h"

namespace kestrom {

bool CMemoryBudget::FitsLocked(size_t bytes) const {
    return used_ == 0 || (bytes <= limit_ && used_ <= limit_ - bytes);
}

bool CMemoryBudget::TryAcquire(size_t bytes) {
    std::lock_guard lock(mutex_);
    // Unlike Acquire, a lone request larger than the whole budget is refused: what asks
    // without waiting (a growing message) is bounded on its own.
    if (bytes > limit_ || used_ > limit_ - bytes) return false;
    used_ += bytes;
    return true;
}

bool CMemoryBudget::Acquire(size_t bytes, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    if (!freed_.wait_for(lock, wait, [&] { return FitsLocked(bytes); })) return false;
    used_ += bytes;
    return true;
}

void CMemoryBudget::Release(size_t bytes) {
    {
        std::lock_guard lock(mutex_);
        used_ -= bytes < used_ ? bytes : used_;
    }
    freed_.notify_all();
}

size_t CMemoryBudget::Used() const {
    std::lock_guard lock(mutex_);
    return used_;
}

}  // namespace kestrom
