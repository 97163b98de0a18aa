#pragma once
// The questions "add this unknown client?" drawn by Qt: the queue of window/ decides which
// comes next; each is shown in its own dialog from the window's event loop rather than from
// a nested one, so a later question never buries an earlier one.
#include <QObject>
#include <QPointer>
#include <cstddef>

#include "window/ClientPromptQueue.h"

class QWidget;

namespace kestrom {

class CAddUpdateSecurityItemDlg;

class CClientPrompts : public QObject {
    Q_OBJECT
  public:
    explicit CClientPrompts(QWidget* window);

    CClientPromptQueue& Queue() { return queue_; }
    // The question on screen, if any.
    CAddUpdateSecurityItemDlg* Current() const { return current_; }
    std::size_t Waiting() const { return queue_.Waiting(); }

  private:
    void Show(const CAccessControlItem& proposed);

    QWidget* window_;
    CClientPromptQueue queue_;
    QPointer<CAddUpdateSecurityItemDlg> current_;
};

}  // namespace kestrom
