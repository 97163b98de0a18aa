#include "server/OperatorTee.h"

#include <mutex>

namespace kestrom {

void COperatorTee::SetWatcher(COperatorWatcher* watcher, bool answersPrompts) {
    std::unique_lock lock(mutex_);
    watcher_ = watcher;
    watcherAnswersPrompts_ = watcher && answersPrompts;
}

void COperatorTee::AddLogLine(std::u16string_view text, LogLevel level) {
    frontEnd_.AddLogLine(text, level);
    if (level == LogLevel::kNever) return;
    std::shared_lock lock(mutex_);
    if (watcher_) watcher_->OnLogLine(text, level);
}

bool COperatorTee::PromptAddClient(CAccessControlItem& entry) {
    {
        // A prompt may wait for minutes: the shared lock keeps the watcher alive meanwhile,
        // and its Stop ends the wait (the answer is then "no").
        std::shared_lock lock(mutex_);
        if (watcher_ && watcherAnswersPrompts_) return watcher_->AnswerPrompt(entry);
    }
    return frontEnd_.PromptAddClient(entry);
}

void COperatorTee::ConnectionOpened() {
    frontEnd_.ConnectionOpened();
    std::shared_lock lock(mutex_);
    if (watcher_) watcher_->OnConnectionOpened();
}

void COperatorTee::ConnectionClosed() {
    frontEnd_.ConnectionClosed();
    std::shared_lock lock(mutex_);
    if (watcher_) watcher_->OnConnectionClosed();
}

}  // namespace kestrom
