#pragma once
// The settings record of the application object, and the guard that lets connection
// threads read it while the operator's thread changes it.
#include <atomic>
#include <mutex>
#include <string>

namespace kestrom {

// Initial values are the application object's, before any load; the defaults used when a
// stored value is absent or unusable are applied by the settings store.
struct CKestromSettings {
    bool LogEvents = false;
    int PortNumber = 0;
    std::u16string EventDirectory;
    std::u16string ResultsDirectory;
    int CharMode = 0;
    int SecurityEnabled = 0;
    int WenlowSecurityEnabled = 0;
    int ClerkOrvoSecurityEnabled = 0;
    int FieldOrvoSecurityEnabled = 0;
    int TCPSendBufferSize = -1;
    int TCPReceiveBufferSize = -1;
    int TCPInitSendBufferSize = -1;
    int TCPInitReceiveBufferSize = -1;
};

// Connection threads take one snapshot per message and pass it down; the front end changes
// fields through Update. Nothing else touches the record.
class CSharedSettings {
  public:
    CKestromSettings Get() const {
        std::lock_guard lock(mutex_);
        return settings_;
    }
    // LogEvents without a copy of the record: every log line asks it.
    bool LogEvents() const { return logEvents_.load(std::memory_order_relaxed); }
    template <typename F>
    void Update(F&& change) {
        std::lock_guard lock(mutex_);
        change(settings_);
        logEvents_.store(settings_.LogEvents, std::memory_order_relaxed);
    }
    void Set(const CKestromSettings& s) {
        std::lock_guard lock(mutex_);
        settings_ = s;
        logEvents_.store(settings_.LogEvents, std::memory_order_relaxed);
    }

  private:
    mutable std::mutex mutex_;
    CKestromSettings settings_;
    // Mirrors settings_.LogEvents; written only under mutex_.
    std::atomic<bool> logEvents_{CKestromSettings{}.LogEvents};
};

}  // namespace kestrom
