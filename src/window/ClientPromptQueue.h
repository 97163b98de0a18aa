#pragma once
// The questions "add this unknown client?" put to the operator one at a time, in the order
// they came. The window shows each in its own dialog from its event loop rather than from a
// nested one, so a later question never buries an earlier one; the asking connection thread
// waits for its answer.
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>

#include "security/AccessControlList.h"
#include "window/WindowThreadCaller.h"

namespace kestrom {

class CClientPromptQueue {
  public:
    // Called on the window's thread with the entry as confirmed, or nothing when declined.
    using Answer = std::function<void(std::optional<CAccessControlItem>)>;
    // Puts the question for `proposed` on screen; the window calls Finish when it is answered.
    using Show = std::function<void(const CAccessControlItem& proposed)>;

    explicit CClientPromptQueue(Show show) : show_(std::move(show)) {}

    // Window's thread. Shown at once when no other question is open, else after those before.
    void Ask(const CAccessControlItem& proposed, Answer answer);
    // Window's thread: the question on screen was answered. The next is shown by ShowNext,
    // which the window calls from its event loop, not from inside this answer's handling.
    void Finish(std::optional<CAccessControlItem> confirmed);
    void ShowNext();

    bool Showing() const { return current_.has_value(); }
    std::size_t Waiting() const { return waiting_.size(); }

    // A connection thread's question: asked on the window's thread, waited for here. False
    // when declined, or when the window closed before the answer.
    bool AskAndWait(CWindowThreadCaller& caller, CAccessControlItem& entry);

  private:
    struct Question {
        CAccessControlItem proposed;
        Answer answer;
    };

    Show show_;
    std::deque<Question> waiting_;
    std::optional<Answer> current_;
};

}  // namespace kestrom
