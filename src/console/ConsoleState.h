#pragma once
// What the browser console shows, gathered as the server runs: the event log (a bounded
// ring, numbered so a browser can ask for what it has not seen), the device board, the
// uploads, the error and connection counts, and the prompts for unknown clients waiting for
// an answer. Fed on connection threads; read on the console's.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "protocol/RequestObserver.h"
#include "security/AccessControlList.h"
#include "server/OperatorTee.h"

namespace kestrom {

struct CConsoleLogEntry {
    std::uint64_t seq = 0;
    // The window's line: time stamp, three blanks, the first 128 characters; UTF-8.
    std::string line;
    LogLevel level = LogLevel::kInfo;
};

struct CDeviceRow {
    std::u16string ip;
    std::u16string mac;
    std::set<std::u16string> products;
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
    std::deque<CConsoleLogEntry> log_;
    std::uint64_t nextSeq_ = 1;
    std::map<std::u16string, CDeviceRow> devices_;
    std::deque<CUploadRecord> uploads_;
    int errors_ = 0;
    int connections_ = 0;
    int promptSeconds_ = 60;
    std::uint64_t nextPrompt_ = 1;
    std::map<std::uint64_t, Waiting*> prompts_;
    bool stopped_ = false;
};

}  // namespace kestrom
