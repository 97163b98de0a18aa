#pragma once
// Shared pieces of the options and access list editor tests: message boxes answered by the
// test, entries built from MAC texts, and answering a modal dialog the code under test opens.
#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "security/AccessControlList.h"
#include "support/access_entry.h"
#include "ui/AddUpdateSecurityItemDlg.h"

namespace kestrom::testing {

// Records every message box and answers with `answer`.
struct CMessageRecorder {
    QStringList texts;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    CMessageBoxFn Fn() {
        return
            [this](QWidget*, QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
                texts << text;
                return answer;
            };
    }
};

// Calls `answer` with the first modal dialog of type T once it shows (the caller is inside
// that dialog's exec() by then); a dialog still open afterwards is cancelled.
template <typename T>
void WhenModalShows(std::function<void(T&)> answer) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, answer] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        answer(*dialog);
        // A failed check inside `answer` must not leave the test waiting on the dialog.
        if (dialog->isVisible()) dialog->reject();
    });
    timer->start();
}

}  // namespace kestrom::testing
