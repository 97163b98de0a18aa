#pragma once
// The main window's count of open connections and the lock it puts on the folders and the
// port: the fields lock when the first client connects (after the edits not yet taken are
// read) and open again a second after the last one leaves, unless a client comes back within
// that second. Limits of the notification icon's texts belong here too, as both shells cut
// them the same way.
#include <cstddef>

namespace kestrom {

inline constexpr int kUnlockDelayMs = 1000;
inline constexpr std::size_t kTooltipChars = 127;
inline constexpr std::size_t kBalloonTextChars = 255;
inline constexpr std::size_t kBalloonTitleChars = 63;

class CConnectionFields {
  public:
    // True when the fields are to be read and locked now, and a pending unlock stopped: the
    // first connection.
    bool Opened() { return count_++ == 0; }
    // True when the unlock delay is to start: no connection is left.
    bool Closed() {
        if (count_ > 0) --count_;
        return count_ == 0;
    }
    int Count() const { return count_; }

  private:
    int count_ = 0;
};

}  // namespace kestrom
