#pragma once
// The settings record of the application object, and the guard that lets connection
// threads read it while the operator's thread changes it.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace kestrom {

// Far above any real results file, and above the 4 MB that the benchmarks upload.
inline constexpr int kDefaultMaxResultsUploadBytes = 8 * 1024 * 1024;
inline constexpr int kDefaultResultsFreeSpaceReserveMB = 64;
// What keeps one device, or a busy meet, from exhausting the server. Not part of the original
// record: each is read from its own value when present and positive, else it keeps the
// default here, which serves a championship (hundreds of devices, uploads of real size).
struct CNetLimits {
    // Connections in all, and from one peer address (loopback is exempt). The total is also
    // kept below the descriptor limit less FileDescriptorReserve.
    int MaxConnections = 1500;
    int MaxConnectionsPerAddress = 32;
    // Descriptors never taken by connections, so requests can still open their files.
    int FileDescriptorReserve = 256;
    // Idle time before TCP keepalive probes start; a vanished device is dropped about two
    // minutes after that.
    int KeepAliveSeconds = 60;
    // Wire bytes of one unfinished message: requests, and uploads (results, start lists)
    // together with results-changed lists, which name every file a device holds.
    int RequestSizeLimit = 64 * 1024;
    int UploadSizeLimit = 16 * 1024 * 1024;
    // Memory of all unfinished messages together.
    int ReceiveMemoryBudget = 64 * 1024 * 1024;
    // An unfinished message that gets no byte for this long is discarded.
    int MessageStallSeconds = 30;
    // A reply that makes no progress for this long closes its connection.
    int SendTimeoutSeconds = 30;
    // Memory of the large replies (event files, pictures) being sent at once.
    int LargeReplyMemoryBudget = 64 * 1024 * 1024;
};

// Initial values are the application object's, before any load; the defaults used when a
// stored value is absent or unusable are applied by the settings store.
struct CKestromSettings {
    bool LogEvents = false;
    int PortNumber = 0;
    std::u16string EventDirectory;
    std::u16string ResultsDirectory;
    int CharMode = 0;
    bool SecurityEnabled = false;
    bool WenlowSecurityEnabled = false;
    bool ClerkOrvoSecurityEnabled = false;
    bool FieldOrvoSecurityEnabled = false;
    int TCPSendBufferSize = -1;
    int TCPReceiveBufferSize = -1;
    int TCPInitSendBufferSize = -1;
    int TCPInitReceiveBufferSize = -1;
    // Not in the original record; read from the settings file, never written back.
    // Results uploads: the largest file accepted (0: no bound), and the free space on the
    // results folder's disk that uploads must leave (0: none).
    int MaxResultsUploadBytes = kDefaultMaxResultsUploadBytes;
    int ResultsFreeSpaceReserveMB = kDefaultResultsFreeSpaceReserveMB;
    // With security on, HY-WIRE and image requests are checked too.
    bool AllRequestsSecurityEnabled = false;
    CNetLimits Limits;
    // Log lines a slow sink (standard output, the window) may fall behind by before further
    // lines are dropped and counted.
    int LogBacklogLines = 10000;
    // Lines the window's event log keeps; the oldest go first.
    int LogListLines = 10000;
    // The browser console: its port (0: none), the address it listens on (loopback unless
    // the operator opens it to the meet network) and the secret that any other address must
    // show; generated at the first start.
    int ConsolePort = 1951;
    std::u16string ConsoleAddress = u"127.0.0.1";
    std::u16string ConsoleToken;
    // Not written back. A device that sent nothing for this long is marked stale; a prompt
    // put to the console waits this long before the client is refused.
    int ConsoleStaleSeconds = 300;
    int ConsolePromptSeconds = 60;
    // Earlier versions kept of each replaced results file and event file.
    int HistoryVersions = 20;
    int HistoryMegabytesPerFile = 64;
};

// Connection threads take one snapshot per message and pass it down; the front end changes
// fields through Update. Nothing else touches the record.
class CSharedSettings {
  public:
    CKestromSettings Get() const { return *Snapshot(); }
    // The record as it stands, shared rather than copied: a change replaces the record and
    // leaves the snapshots already taken as they were.
    std::shared_ptr<const CKestromSettings> Snapshot() const {
        std::lock_guard lock(mutex_);
        return current_;
    }
    // LogEvents without a copy of the record: every log line asks it.
    bool LogEvents() const { return logEvents_.load(std::memory_order_relaxed); }
    template <typename F>
    void Update(F&& change) {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<CKestromSettings>(*current_);
        change(*next);
        Publish(std::move(next));
    }
    void Set(const CKestromSettings& s) {
        std::lock_guard lock(mutex_);
        Publish(std::make_shared<CKestromSettings>(s));
    }

  private:
    // Called with mutex_ held.
    void Publish(std::shared_ptr<const CKestromSettings> next) {
        current_ = std::move(next);
        logEvents_.store(current_->LogEvents, std::memory_order_relaxed);
    }

    mutable std::mutex mutex_;
    std::shared_ptr<const CKestromSettings> current_ = std::make_shared<CKestromSettings>();
    // Mirrors current_->LogEvents; written only under mutex_.
    std::atomic<bool> logEvents_{CKestromSettings{}.LogEvents};
};

}  // namespace kestrom
