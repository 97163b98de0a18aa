#include "ui/ClientPrompts.h"

#include <QTimer>
#include <QWidget>

#include "ui/AddUpdateSecurityItemDlg.h"

namespace kestrom {

CClientPrompts::CClientPrompts(QWidget* window)
    : QObject(window),
      window_(window),
      queue_([this](const CAccessControlItem& proposed) { Show(proposed); }) {}

void CClientPrompts::Show(const CAccessControlItem& proposed) {
    auto* dialog = new CAddUpdateSecurityItemDlg({proposed}, {0}, {}, true, window_);
    current_ = dialog;
    connect(dialog, &QDialog::finished, this, [this, dialog](int rc) {
        std::optional<CAccessControlItem> confirmed;
        if (rc == QDialog::Accepted) confirmed = dialog->List().front();
        current_ = nullptr;
        dialog->deleteLater();
        queue_.Finish(std::move(confirmed));
        // The next question comes from the event loop, not from inside this one's signal.
        QTimer::singleShot(0, this, [this] { queue_.ShowNext(); });
    });
    // Modal like the other questions of the window, but shown rather than run in a loop of
    // its own: the window keeps serving its events and the next question waits its turn.
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

}  // namespace kestrom
