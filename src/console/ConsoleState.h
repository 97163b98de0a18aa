#pragma once
// What the browser console shows, gathered as the server runs: the event log (a bounded
// ring, numbered so a browser can ask for what it has not seen), the device board, the
// uploads, the error and connection counts, and the prompts for unknown clients waiting for
// an answer. Fed on connection threads; read on the console's.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "protocol/RequestObserver.h"
#include "security/AccessControlList.h"
#include "server/OperatorTee.h"

namespace kestrom {

// A line as it was logged; stamped and cut only when a page takes it, so that a busy log
// costs the connection threads no more than a copy.
struct CConsoleLogEntry {
    std::uint64_t seq = 0;
    std::time_t when = 0;
    std::u16string text;
    LogLevel level = LogLevel::kInfo;
};

// The window's lines of `entries`: time stamp, three blanks, the first 128 characters, UTF-8,
// line breaks inside a message made blanks.
std::vector<std::string> FormatLogEntries(const std::vector<CConsoleLogEntry>& entries);

struct CDeviceRow {
    std::u16string ip;
    std::u16string mac;
    std::set<std::u16string, std::less<>> products;
    std::time_t first = 0;
    std::time_t last = 0;
    std::uint64_t requests = 0;
    std::uint64_t uploads = 0;
    std::uint64_t refusals = 0;
};

struct CPendingPrompt {
    std::uint64_t id = 0;
    CAccessControlItem entry;
    std::time_t asked = 0;
};

// "FieldOrvo", "ClerkOrvo", "Wenlow", "HY-WIRE", "Image" or "Other".
std::u16string_view ProductNameOfKind(RequestKind kind);

class CConsoleState : public COperatorWatcher, public CRequestObserver {
  public:
    // `settings` decides, by LogEvents, which lines are shown, as in the window.
    explicit CConsoleState(const CSharedSettings* settings = nullptr, size_t logLines = 2000,
                           size_t uploads = 5000);
    ~CConsoleState() override;
    CConsoleState(const CConsoleState&) = delete;
    CConsoleState& operator=(const CConsoleState&) = delete;

    // COperatorWatcher
    void OnLogLine(std::u16string_view text, LogLevel level) override;
    void OnConnectionOpened() override;
    void OnConnectionClosed() override;
    // Waits until the operator answers in the browser, the prompt's time runs out or the
    // console stops; `entry` leaves as the operator edited it.
    bool AnswerPrompt(CAccessControlItem& entry) override;

    // CRequestObserver
    void OnMessage(std::u16string_view ip, std::u16string_view mac, RequestKind kind,
                   bool refused) override;
    void OnUpload(const CUploadRecord& record) override;

    // Lines after `seq`, oldest first.
    std::vector<CConsoleLogEntry> LogAfter(std::uint64_t seq) const;
    // Waits up to `wait` for a line after `seq`, or Stop; true when there is one.
    bool WaitForLine(std::uint64_t seq, std::chrono::milliseconds wait) const;
    std::uint64_t LastSeq() const;

    std::vector<CDeviceRow> Devices() const;
    // Newest first.
    std::vector<CUploadRecord> Uploads() const;
    int Errors() const;
    void ClearErrors();
    int Connections() const;

    void SetPromptSeconds(int seconds);
    std::vector<CPendingPrompt> Prompts() const;
    // The operator's answer to prompt `id`; false when it is no longer waiting.
    bool Answer(std::uint64_t id, bool add, const CAccessControlItem& edited);

    // Refuses every waiting prompt and wakes every waiter; later prompts are refused at once.
    void Stop();
    bool Stopped() const;

  private:
    struct Waiting {
        CPendingPrompt prompt;
        bool answered = false;
        bool add = false;
    };

    const CSharedSettings* settings_;
    const size_t logLimit_;
    const size_t uploadLimit_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    // Connection threads log several lines per request: each goes onto a lock-free stack,
    // and whoever reads the log (or a logger, once many wait) moves them into the ring under
    // the log's lock, so a busy log makes no connection thread wait for another.
    struct PendingLine {
        CConsoleLogEntry entry;
        PendingLine* next = nullptr;
    };
    // Called with logMutex_ held.
    void DrainPending() const;

    mutable std::atomic<PendingLine*> pending_{nullptr};
    mutable std::atomic<size_t> pendingCount_{0};
    mutable std::mutex logMutex_;
    mutable std::condition_variable logChanged_;
    mutable std::deque<CConsoleLogEntry> log_;
    mutable std::uint64_t nextSeq_ = 1;
    // Every message of every connection counts on the board: a known device is counted
    // under the shared lock with atomics, and only a new device takes the lock alone.
    struct DeviceCounters {
        std::u16string ip;
        std::time_t first = 0;
        std::atomic<std::time_t> last{0};
        std::atomic<std::uint64_t> requests{0};
        std::atomic<std::uint64_t> uploads{0};
        std::atomic<std::uint64_t> refusals{0};
        // One bit per name of ProductNameOfKind.
        std::atomic<unsigned> products{0};
        // Taken only by the connections of this device.
        std::mutex macMutex;
        std::u16string mac;
    };
    DeviceCounters& Device(std::u16string_view ip);

    mutable std::shared_mutex devicesMutex_;
    std::map<std::u16string, std::unique_ptr<DeviceCounters>, std::less<>> devices_;
    // Streams blocked in WaitForLine: a line wakes them only then, so a busy log costs the
    // connection threads no system call per line.
    mutable std::atomic<int> lineWaiters_{0};
    std::deque<CUploadRecord> uploads_;
    std::atomic<int> errors_{0};
    int connections_ = 0;
    int promptSeconds_ = 60;
    std::uint64_t nextPrompt_ = 1;
    std::map<std::uint64_t, Waiting*> prompts_;
    std::atomic<bool> stopped_{false};
};

}  // namespace kestrom
