#pragma once
// Single-instance guard: a lock file in the runtime folder named by the instance name, and a
// local socket through which a second start asks the first to show its window.
#include <functional>
#include <string>
#include <string_view>

namespace kestrom {

inline constexpr std::string_view kKestromInstanceName = "{1A60EA23-F9FA-4D93-9E64-3D687C8D97BF}";

// Shown (or printed) by a second start before it asks the first to come forward.
inline constexpr std::string_view kPreviousInstanceMessage =
    "A running version of Kestrom has been detected.\n\nAn attempt will be made to restore it, "
    "however if that fails, right click on the Kestrom icon in the system tray and click Open "
    "to restore it.";

class CInstanceChecker {
  public:
    // The runtime folder is $XDG_RUNTIME_DIR, else a private folder /tmp/kestrom-<uid>.
    explicit CInstanceChecker(std::string instanceName);
    // An explicit runtime folder (tests, or a front end with its own).
    CInstanceChecker(std::string instanceName, std::string runtimeDir);
    ~CInstanceChecker();
    CInstanceChecker(const CInstanceChecker&) = delete;
    CInstanceChecker& operator=(const CInstanceChecker&) = delete;

    // True while another process (or another guard) holds the instance lock. The lock dies
    // with its holder, however that ends.
    bool PreviousInstanceRunning();
    // Registers this process as the first instance; `activate` runs (on a background
    // thread) whenever a later start asks for the window. False when another holds the lock
    // or the lock or socket cannot be set up. Calling it again only replaces `activate`.
    bool TrackFirstInstance(std::function<void()> activate);
    // Asks the first instance to show its window; true once it has run its callback.
    bool ActivatePreviousInstance();

    std::string LockPath() const;
    std::string SocketPath() const;

  private:
    struct Impl;
    Impl* impl_;
};

}  // namespace kestrom
