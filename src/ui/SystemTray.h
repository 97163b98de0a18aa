#pragma once
// The program's icon in the desktop's notification area, with its pop-up menu and balloons.
// Where the desktop has no notification area the window shows balloons in its own balloon bar
// and is simply minimised instead of hidden, so it always stays reachable.
#include <QFrame>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

class QAction;
class QLabel;
class QMenu;
class QTimer;

namespace kestrom {

// Whether an activation of the icon restores the window: a double click everywhere, and on
// Linux also a plain click, because D-Bus notification areas report every click as Trigger
// and never as DoubleClick.
bool ActivationRestoresWindow(QSystemTrayIcon::ActivationReason reason);

// A balloon drawn inside the window, for desktops without a notification area.
class CBalloonBar : public QFrame {
    Q_OBJECT
  public:
    explicit CBalloonBar(QWidget* parent = nullptr);
    void Show(const QString& text, const QString& title, int seconds);
    QString Text() const;

  private:
    QLabel* title_;
    QLabel* text_;
    QTimer* timer_;
};

class CSystemTray : public QObject {
    Q_OBJECT
  public:
    CSystemTray(QWidget* window, CBalloonBar* fallback);
    ~CSystemTray() override;

    // Adds the icon with its tooltip and menu; `openAction` is the menu's bold default item,
    // also run by a double click. Returns false where the desktop has no notification area.
    bool Create(const QIcon& icon, const QString& tooltip, QMenu* menu, QAction* openAction);
    bool IsShown() const;
    // Shown as a notification balloon, or in the window's balloon bar without a tray.
    void ShowBalloon(const QString& text, const QString& title, int seconds);

    // Hides the minimised window into the notification area (only when there is one).
    void MinimiseToTray();
    void RestoreFromTray();

  private:
    QWidget* window_;
    CBalloonBar* fallback_;
    QPointer<QSystemTrayIcon> icon_;
    QAction* openAction_ = nullptr;
};

}  // namespace kestrom
