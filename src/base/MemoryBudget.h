#pragma once
// A number of bytes shared by many connections: the memory of unfinished messages, or of the
// large replies being sent. A holder takes bytes before it allocates them and gives them back
// when it frees them.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace kestrom {

class CMemoryBudget {
  public:
    explicit CMemoryBudget(size_t limitBytes) : limit_(limitBytes) {}
    CMemoryBudget(const CMemoryBudget&) = delete;
    CMemoryBudget& operator=(const CMemoryBudget&) = delete;

    // Takes the bytes when they fit now.
    bool TryAcquire(size_t bytes);
    // Waits up to `wait` for the bytes to fit. A request larger than the whole budget is
    // granted once nothing else is held, so it is never refused for good.
    bool Acquire(size_t bytes, std::chrono::milliseconds wait);
    void Release(size_t bytes);

    size_t Used() const;
    size_t Limit() const { return limit_; }

  private:
    bool FitsLocked(size_t bytes) const;

    const size_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    size_t used_ = 0;
};

// Bytes held from a budget for as long as the object lives; empty when the budget said no.
class CBudgetHold {
  public:
    CBudgetHold() = default;
    CBudgetHold(CMemoryBudget& budget, size_t bytes) : budget_(&budget), bytes_(bytes) {}
    ~CBudgetHold() { Reset(); }
    CBudgetHold(CBudgetHold&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) {
        other.budget_ = nullptr;
    }
    CBudgetHold& operator=(CBudgetHold&& other) noexcept {
        if (this != &other) {
            Reset();
            budget_ = other.budget_;
            bytes_ = other.bytes_;
            other.budget_ = nullptr;
        }
        return *this;
    }
    CBudgetHold(const CBudgetHold&) = delete;
    CBudgetHold& operator=(const CBudgetHold&) = delete;

    explicit operator bool() const { return budget_ != nullptr; }
    void Reset() {
        if (budget_) budget_->Release(bytes_);
        budget_ = nullptr;
    }

  private:
    CMemoryBudget* budget_ = nullptr;
    size_t bytes_ = 0;
};

}  // namespace kestrom
