#pragma once
// The questions "add this unknown client?" put to the operator one at a time, in the order
// they came, each in its own dialog shown from the window's event loop rather than from a
// nested one, so a later question never buries an earlier one.
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <optional>

#include "security/AccessControlList.h"

class QWidget;

namespace kestrom {

class CAddUpdateSecurityItemDlg;

class CClientPrompts : public QObject {
    Q_OBJECT
  public:
    // Called on the window's thread with the entry as confirmed, or nothing when declined.
    using Answer = std::function<void(std::optional<CAccessControlItem>)>;

    explicit CClientPrompts(QWidget* window);

    // Window's thread. Shown at once when no other question is open, else after those before.
    void Ask(const CAccessControlItem& proposed, Answer answer);
    // The question on screen, if any.
    CAddUpdateSecurityItemDlg* Current() const { return current_; }
    std::size_t Waiting() const { return waiting_.size(); }

  private:
    struct Question {
        CAccessControlItem proposed;
        Answer answer;
    };
    void ShowNext();

    QWidget* window_;
    std::deque<Question> waiting_;
    QPointer<CAddUpdateSecurityItemDlg> current_;
};

}  // namespace kestrom
