#pragma once
// Whether admission puts an unknown client to the operator. The front end sets it: it turns
// prompting on or off, and while it cannot show a prompt it holds prompts back with the log
// line that tells the operator why. Read by connection threads, set on the front end's.
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kestrom {

// Environment variable that turns prompting on at start when it is "1" (tests of the window,
// which otherwise would need the options dialog to turn it on).
inline constexpr const char* kPromptForClientsEnvironment = "KESTROM_PROMPT_FOR_CLIENTS";

class CPromptPolicy {
  public:
    // Off at every start.
    void SetEnabled(bool on) { enabled_.store(on); }
    bool Enabled() const { return enabled_.load(); }

    // `reason` is logged for each unknown client while prompts are held back.
    void HoldBack(std::u16string_view reason) {
        std::lock_guard lock(mutex_);
        heldBack_ = std::u16string(reason);
    }
    void Release() {
        std::lock_guard lock(mutex_);
        heldBack_.reset();
    }
    // The reason prompts are held back for, or none when a prompt can be shown.
    std::optional<std::u16string> HeldBack() const {
        std::lock_guard lock(mutex_);
        return heldBack_;
    }

  private:
    std::atomic<bool> enabled_{false};
    mutable std::mutex mutex_;
    std::optional<std::u16string> heldBack_;
};

}  // namespace kestrom
