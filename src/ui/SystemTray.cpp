#include "ui/SystemTray.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <algorithm>

#include "ui/QtBridge.h"
#include "window/ConnectionFields.h"

namespace kestrom {

bool ActivationRestoresWindow(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::DoubleClick:
            return true;
        case QSystemTrayIcon::Trigger:
#ifdef Q_OS_WIN
            // The Windows notification area reports double clicks; a single click stays idle.
            return false;
#else
            return true;
#endif
        default:
            return false;
    }
}

CBalloonBar::CBalloonBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("balloonBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qc(kBalloonColour));
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
    title_ = new QLabel(this);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    text_ = new QLabel(this);
    text_->setWordWrap(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(title_);
    layout->addWidget(text_, 1);
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &QWidget::hide);
    hide();
}

void CBalloonBar::Show(const QString& text, const QString& title, int seconds) {
    title_->setText(title);
    text_->setText(text);
    show();
    timer_->start(std::max(1, seconds) * 1000);
}

QString CBalloonBar::Text() const {
    return text_->text();
}

CSystemTray::CSystemTray(QWidget* window, CBalloonBar* fallback)
    : QObject(window), window_(window), fallback_(fallback) {}

CSystemTray::~CSystemTray() {
    if (icon_) icon_->hide();
}

bool CSystemTray::Create(const QIcon& icon, const QString& tooltip, QMenu* menu,
                         QAction* openAction) {
    openAction_ = openAction;
    menu->setDefaultAction(openAction);
    QFont bold = openAction->font();
    bold.setBold(true);
    openAction->setFont(bold);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    icon_ = new QSystemTrayIcon(icon, this);
    icon_->setToolTip(tooltip.left(kTooltipChars));
    icon_->setContextMenu(menu);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (ActivationRestoresWindow(reason) && openAction_) openAction_->trigger();
            });
    icon_->show();
    return true;
}

bool CSystemTray::IsShown() const {
    return icon_ && icon_->isVisible();
}

void CSystemTray::ShowBalloon(const QString& text, const QString& title, int seconds) {
    if (IsShown() && QSystemTrayIcon::supportsMessages()) {
        icon_->showMessage(title.left(kBalloonTitleChars), text.left(kBalloonTextChars),
                           QSystemTrayIcon::Information, seconds * 1000);
        return;
    }
    fallback_->Show(text.left(kBalloonTextChars), title.left(kBalloonTitleChars), seconds);
}

void CSystemTray::MinimiseToTray() {
    if (IsShown()) window_->hide();
}

void CSystemTray::RestoreFromTray() {
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

}  // namespace kestrom
