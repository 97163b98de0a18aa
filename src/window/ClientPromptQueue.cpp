#include "window/ClientPromptQueue.h"

#include <memory>

namespace kestrom {

void CClientPromptQueue::Ask(const CAccessControlItem& proposed, Answer answer) {
    waiting_.push_back({proposed, std::move(answer)});
    ShowNext();
}

void CClientPromptQueue::ShowNext() {
    if (current_ || waiting_.empty()) return;
    Question question = std::move(waiting_.front());
    waiting_.pop_front();
    current_ = std::move(question.answer);
    show_(question.proposed);
}

void CClientPromptQueue::Finish(std::optional<CAccessControlItem> confirmed) {
    if (!current_) return;
    Answer answer = std::move(*current_);
    current_.reset();
    answer(std::move(confirmed));
}

bool CClientPromptQueue::AskAndWait(CWindowThreadCaller& caller, CAccessControlItem& entry) {
    // The answer lives in shared storage, so a dialog still open at shutdown never writes
    // into a caller that has been released.
    auto answer = std::make_shared<std::optional<CAccessControlItem>>();
    const bool asked =
        caller.RunUntilFinished([this, proposed = entry, answer](std::function<void()> finish) {
            Ask(proposed, [answer, finish](std::optional<CAccessControlItem> reply) {
                *answer = std::move(reply);
                finish();
            });
        });
    if (!asked || !answer->has_value()) return false;
    entry = **answer;
    return true;
}

}  // namespace kestrom
