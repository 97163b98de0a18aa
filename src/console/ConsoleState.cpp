#include "console/ConsoleState.h"

#include <utility>

#include "base/LocalTime.h"
#include "core/LogLine.h"
#include "security/Admission.h"

namespace kestrom {

namespace {

constexpr std::u16string_view kProductNames[] = {u"FieldOrvo", u"ClerkOrvo", u"Wenlow",
                                                 u"HY-WIRE",   u"Image",     u"Other"};

unsigned ProductIndexOfKind(RequestKind kind) {
    if (const auto product = GuardedProductOfKind(kind)) {
        switch (*product) {
            case CProduct::FieldOrvo:
                return 0;
            case CProduct::ClerkOrvo:
                return 1;
            case CProduct::Wenlow:
                return 2;
        }
    }
    switch (kind) {
        case RequestKind::kHyWirePing:
        case RequestKind::kHyWireResultsChanged:
        case RequestKind::kHyWireEventFile:
        case RequestKind::kHyWireResultsRequest:
            return 3;
        case RequestKind::kImageRequest:
            return 4;
        default:
            return 5;
    }
}

}  // namespace

std::u16string_view ProductNameOfKind(RequestKind kind) {
    return kProductNames[ProductIndexOfKind(kind)];
}

CConsoleState::CConsoleState(const CSharedSettings* settings, size_t logLines, size_t uploads)
    : settings_(settings), logLimit_(logLines), uploadLimit_(uploads) {}

namespace {
// Lines that may wait on the stack before a logger moves them itself.
constexpr size_t kDrainAt = 512;
}  // namespace

CConsoleState::~CConsoleState() {
    PendingLine* line = pending_.exchange(nullptr);
    while (line) delete std::exchange(line, line->next);
}

void CConsoleState::OnLogLine(std::u16string_view text, LogLevel level) {
    if (level == LogLevel::kNever) return;
    if (level == LogLevel::kError) ++errors_;
    if (settings_ && !settings_->LogEvents()) return;
    auto* line = new PendingLine{
        {0, std::time(nullptr), std::u16string(text.substr(0, kLogMessageChars + 1)), level},
        pending_.load(std::memory_order_relaxed)};
    while (!pending_.compare_exchange_weak(line->next, line, std::memory_order_release,
                                           std::memory_order_relaxed)) {
    }
    if (pendingCount_.fetch_add(1, std::memory_order_relaxed) + 1 >= kDrainAt) {
        std::unique_lock lock(logMutex_, std::try_to_lock);
        if (lock) DrainPending();
    }
    if (lineWaiters_.load(std::memory_order_relaxed) > 0) logChanged_.notify_all();
}

void CConsoleState::DrainPending() const {
    PendingLine* head = pending_.exchange(nullptr, std::memory_order_acquire);
    // The stack holds the newest first.
    PendingLine* ordered = nullptr;
    size_t n = 0;
    while (head) {
        PendingLine* next = head->next;
        head->next = ordered;
        ordered = head;
        head = next;
        ++n;
    }
    pendingCount_.fetch_sub(n, std::memory_order_relaxed);
    while (ordered) {
        PendingLine* next = ordered->next;
        ordered->entry.seq = nextSeq_++;
        log_.push_back(std::move(ordered->entry));
        if (log_.size() > logLimit_) log_.pop_front();
        delete ordered;
        ordered = next;
    }
}

std::vector<std::string> FormatLogEntries(const std::vector<CConsoleLogEntry>& entries) {
    std::vector<std::string> lines;
    lines.reserve(entries.size());
    // Lines come in bursts within one second: the local time is worked out once for each.
    std::time_t stamped = -1;
    LocalDateTime local;
    for (const auto& entry : entries) {
        if (entry.when != stamped) {
            stamped = entry.when;
            local = ToLocalDateTime(entry.when).value_or(LocalDateTime{});
        }
        std::string line = FormatLogLine(local, entry.text);
        for (char& c : line)
            if (c == '\n' || c == '\r') c = ' ';
        lines.push_back(std::move(line));
    }
    return lines;
}

void CConsoleState::OnConnectionOpened() {
    std::lock_guard lock(mutex_);
    ++connections_;
}

void CConsoleState::OnConnectionClosed() {
    std::lock_guard lock(mutex_);
    --connections_;
}

bool CConsoleState::AnswerPrompt(CAccessControlItem& entry) {
    std::unique_lock lock(mutex_);
    if (stopped_) return false;
    Waiting waiting;
    waiting.prompt.id = nextPrompt_++;
    waiting.prompt.entry = entry;
    waiting.prompt.asked = std::time(nullptr);
    prompts_[waiting.prompt.id] = &waiting;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(promptSeconds_);
    changed_.wait_until(lock, deadline, [&] { return waiting.answered || stopped_; });
    prompts_.erase(waiting.prompt.id);
    if (!waiting.answered || !waiting.add) return false;
    entry = waiting.prompt.entry;
    return true;
}

CConsoleState::DeviceCounters& CConsoleState::Device(std::u16string_view ip) {
    {
        std::shared_lock lock(devicesMutex_);
        if (auto it = devices_.find(ip); it != devices_.end()) return *it->second;
    }
    std::unique_lock lock(devicesMutex_);
    auto& slot = devices_[std::u16string(ip)];
    if (!slot) {
        slot = std::make_unique<DeviceCounters>();
        slot->ip = ip;
        slot->first = std::time(nullptr);
    }
    return *slot;
}

void CConsoleState::OnMessage(std::u16string_view ip, std::u16string_view mac, RequestKind kind,
                              bool refused) {
    DeviceCounters& row = Device(ip);
    row.last.store(std::time(nullptr), std::memory_order_relaxed);
    row.requests.fetch_add(1, std::memory_order_relaxed);
    if (refused) row.refusals.fetch_add(1, std::memory_order_relaxed);
    const unsigned bit = 1u << ProductIndexOfKind(kind);
    if ((row.products.load(std::memory_order_relaxed) & bit) == 0) row.products.fetch_or(bit);
    if (!mac.empty()) {
        std::lock_guard lock(row.macMutex);
        if (row.mac != mac) row.mac = mac;
    }
}

void CConsoleState::OnUpload(const CUploadRecord& record) {
    Device(record.ip).uploads.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(mutex_);
    uploads_.push_front(record);
    if (uploads_.size() > uploadLimit_) uploads_.pop_back();
}

std::vector<CConsoleLogEntry> CConsoleState::LogAfter(std::uint64_t seq) const {
    std::lock_guard lock(logMutex_);
    DrainPending();
    std::vector<CConsoleLogEntry> out;
    // Numbered without gaps: the lines after seq are the last ones.
    const std::uint64_t first = log_.empty() ? 0 : log_.front().seq;
    const size_t skip = seq < first ? 0 : static_cast<size_t>(seq - first + 1);
    for (size_t i = skip; i < log_.size(); ++i) out.push_back(log_[i]);
    return out;
}

bool CConsoleState::WaitForLine(std::uint64_t seq, std::chrono::milliseconds wait) const {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::unique_lock lock(logMutex_);
    ++lineWaiters_;
    for (;;) {
        DrainPending();
        if (stopped_ || nextSeq_ - 1 > seq || std::chrono::steady_clock::now() >= deadline) break;
        // Loggers wake this without the lock, so a wake-up can come just before the wait:
        // short waits bound what that costs.
        logChanged_.wait_for(lock, std::chrono::milliseconds(50));
    }
    --lineWaiters_;
    return nextSeq_ - 1 > seq;
}

std::uint64_t CConsoleState::LastSeq() const {
    std::lock_guard lock(logMutex_);
    DrainPending();
    return nextSeq_ - 1;
}

std::vector<CDeviceRow> CConsoleState::Devices() const {
    std::shared_lock lock(devicesMutex_);
    std::vector<CDeviceRow> out;
    for (const auto& [ip, counters] : devices_) {
        CDeviceRow row;
        row.ip = counters->ip;
        row.first = counters->first;
        row.last = counters->last.load();
        row.requests = counters->requests.load();
        row.uploads = counters->uploads.load();
        row.refusals = counters->refusals.load();
        const unsigned bits = counters->products.load();
        for (unsigned i = 0; i < std::size(kProductNames); ++i)
            if (bits & (1u << i)) row.products.emplace(kProductNames[i]);
        {
            std::lock_guard macLock(counters->macMutex);
            row.mac = counters->mac;
        }
        out.push_back(std::move(row));
    }
    return out;
}

std::vector<CUploadRecord> CConsoleState::Uploads() const {
    std::lock_guard lock(mutex_);
    return {uploads_.begin(), uploads_.end()};
}

int CConsoleState::Errors() const {
    return errors_.load();
}

void CConsoleState::ClearErrors() {
    errors_ = 0;
}

int CConsoleState::Connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

void CConsoleState::SetPromptSeconds(int seconds) {
    std::lock_guard lock(mutex_);
    promptSeconds_ = seconds > 0 ? seconds : 1;
}

std::vector<CPendingPrompt> CConsoleState::Prompts() const {
    std::lock_guard lock(mutex_);
    std::vector<CPendingPrompt> out;
    for (const auto& [id, waiting] : prompts_) out.push_back(waiting->prompt);
    return out;
}

bool CConsoleState::Answer(std::uint64_t id, bool add, const CAccessControlItem& edited) {
    {
        std::lock_guard lock(mutex_);
        auto it = prompts_.find(id);
        if (it == prompts_.end() || it->second->answered) return false;
        it->second->answered = true;
        it->second->add = add;
        if (add) it->second->prompt.entry = edited;
    }
    changed_.notify_all();
    return true;
}

void CConsoleState::Stop() {
    {
        std::lock_guard lock(mutex_);
        std::lock_guard logLock(logMutex_);
        stopped_ = true;
    }
    changed_.notify_all();
    logChanged_.notify_all();
}

bool CConsoleState::Stopped() const {
    return stopped_.load();
}

}  // namespace kestrom
