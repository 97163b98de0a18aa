#include "console/ConsoleState.h"

#include "base/LocalTime.h"
#include "core/LogLine.h"
#include "security/Admission.h"

namespace kestrom {

std::u16string_view ProductNameOfKind(RequestKind kind) {
    if (const auto product = GuardedProductOfKind(kind)) {
        switch (*product) {
            case CProduct::FieldOrvo:
                return u"FieldOrvo";
            case CProduct::ClerkOrvo:
                return u"ClerkOrvo";
            case CProduct::Wenlow:
                return u"Wenlow";
        }
    }
    switch (kind) {
        case RequestKind::kHyWirePing:
        case RequestKind::kHyWireResultsChanged:
        case RequestKind::kHyWireEventFile:
        case RequestKind::kHyWireResultsRequest:
            return u"HY-WIRE";
        case RequestKind::kImageRequest:
            return u"Image";
        default:
            return u"Other";
    }
}

CConsoleState::CConsoleState(const CSharedSettings* settings, size_t logLines, size_t uploads)
    : settings_(settings), logLimit_(logLines), uploadLimit_(uploads) {}

void CConsoleState::OnLogLine(std::u16string_view text, LogLevel level) {
    if (level == LogLevel::kNever) return;
    const bool shown = !settings_ || settings_->LogEvents();
    std::string line;
    if (shown) {
        line = FormatLogLine(LocalNow(), text);
        for (char& c : line)
            if (c == '\n' || c == '\r') c = ' ';
    }
    {
        std::lock_guard lock(mutex_);
        if (level == LogLevel::kError) ++errors_;
        if (!shown) return;
        log_.push_back({nextSeq_++, std::move(line), level});
        if (log_.size() > logLimit_) log_.pop_front();
    }
    changed_.notify_all();
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

void CConsoleState::OnMessage(std::u16string_view ip, std::u16string_view mac, RequestKind kind,
                              bool refused) {
    const std::time_t now = std::time(nullptr);
    std::lock_guard lock(mutex_);
    CDeviceRow& row = devices_[std::u16string(ip)];
    if (row.requests == 0 && row.refusals == 0) {
        row.ip = ip;
        row.first = now;
    }
    if (!mac.empty()) row.mac = mac;
    row.products.insert(std::u16string(ProductNameOfKind(kind)));
    row.last = now;
    ++row.requests;
    if (refused) ++row.refusals;
}

void CConsoleState::OnUpload(const CUploadRecord& record) {
    std::lock_guard lock(mutex_);
    uploads_.push_front(record);
    if (uploads_.size() > uploadLimit_) uploads_.pop_back();
    if (auto it = devices_.find(record.ip); it != devices_.end()) ++it->second.uploads;
}

std::vector<CConsoleLogEntry> CConsoleState::LogAfter(std::uint64_t seq) const {
    std::lock_guard lock(mutex_);
    std::vector<CConsoleLogEntry> out;
    for (const auto& entry : log_)
        if (entry.seq > seq) out.push_back(entry);
    return out;
}

bool CConsoleState::WaitForLine(std::uint64_t seq, std::chrono::milliseconds wait) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, wait, [&] { return stopped_ || nextSeq_ - 1 > seq; }) &&
           nextSeq_ - 1 > seq;
}

std::uint64_t CConsoleState::LastSeq() const {
    std::lock_guard lock(mutex_);
    return nextSeq_ - 1;
}

std::vector<CDeviceRow> CConsoleState::Devices() const {
    std::lock_guard lock(mutex_);
    std::vector<CDeviceRow> out;
    for (const auto& [ip, row] : devices_) out.push_back(row);
    return out;
}

std::vector<CUploadRecord> CConsoleState::Uploads() const {
    std::lock_guard lock(mutex_);
    return {uploads_.begin(), uploads_.end()};
}

int CConsoleState::Errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

void CConsoleState::ClearErrors() {
    std::lock_guard lock(mutex_);
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
        stopped_ = true;
    }
    changed_.notify_all();
}

bool CConsoleState::Stopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

}  // namespace kestrom
