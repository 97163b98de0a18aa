#pragma once
// The operator's main window: folders, port, connection count, product grid and event log.
// It is the core's operator interface: calls from connection threads are carried out on the
// window's thread, one at a time, while the calling thread waits; log lines alone are left
// in a bounded hand-over that the window's thread empties in batches, so a flood of lines
// holds neither the requests nor the window.
#include <QIcon>
#include <QMainWindow>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "core/OperatorInterface.h"
#include "security/ClientAddressLists.h"
#include "ui/HelpFile.h"
#include "window/ConnectionFields.h"
#include "window/LogCourier.h"
#include "window/Menus.h"
#include "window/WindowThreadCaller.h"

class QLineEdit;
class QMenu;
class QPushButton;

namespace kestrom {

class CBalloonBar;
class CClientPrompts;
class CEventLog;
class CKestromServer;
class CServerHost;
class CProductGrid;
class CSystemTray;

class CKestromDlg : public QMainWindow, public COperatorInterface {
    Q_OBJECT
  public:
    explicit CKestromDlg(QWidget* parent = nullptr);
    ~CKestromDlg() override;

    CKestromServer& Server() { return *server_; }

    // The window's initialisation, in order: title, menus of the mode, notification icon,
    // the settings the host has prepared, registration with the instance guard, controls,
    // product grid, listener. Call before showing, after host.Prepare(); the host wraps
    // Server() and outlives the window's run. Returns false when the instance guard refused
    // the registration.
    bool Initialise(CServerHost& host);
    // Shows the window, minimised into the notification area when asked to start so.
    void ShowAtStart();

    // Operator interface; any thread.
    void AddLogLine(std::u16string_view text, LogLevel level) override;
    void RefreshProductGrid() override;
    void ShowBalloon(std::u16string_view text, std::u16string_view title, BalloonIcon icon,
                     int seconds) override;
    bool PromptAddClient(CAccessControlItem& entry) override;
    void ConnectionOpened() override;
    void ConnectionClosed() override;

    // Message boxes, the folder picker and the browser go through these, so the window can
    // be driven without a desktop.
    using MessageSink = std::function<void(QMessageBox::Icon, const QString&)>;
    using FolderPicker = std::function<QString(const QString& title, const QString& current)>;
    using UrlOpener = std::function<bool(const QUrl&)>;
    void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
    void SetFolderPicker(FolderPicker picker) { folderPicker_ = std::move(picker); }
    void SetUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }
    void SetHelpCandidates(QStringList candidates) { helpCandidates_ = std::move(candidates); }

    unsigned Port() const { return port_; }
    QString EventFolder() const { return eventFolder_; }
    QString ResultsFolder() const { return resultsFolder_; }
    int CurrentConnections() const { return connections_.Count(); }
    bool HyWireMode() const { return hyWire_; }
    CEventLog* EventLog() const { return log_; }
    CProductGrid* Grid() const { return grid_; }
    CClientPrompts* Prompts() const { return prompts_; }
    // Delay between the last client leaving and the folders and port opening again.
    void SetUnlockDelay(int milliseconds) { unlockTimer_.setInterval(milliseconds); }

  public slots:
    void OnOptions();
    void OnClients(kestrom::CProduct product);
    void OnHelpIndex() { OpenHelp(CHelpSection::Index); }
    void OnHelpContents() { OpenHelp(CHelpSection::Contents); }
    void OnAbout();
    // The console's address and token, for opening it from another computer.
    void OnConsole();
    void OnOpen();
    void OnBrowseEventFolder();
    void OnBrowseResultsFolder();

  signals:
    // The window has closed and shut the server down; the program may end.
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BuildControls();
    void BuildMenus();
    QMenu* BuildTrayMenu();
    void AddItems(QMenu* menu, const std::vector<CMenuItem>& items);
    void RunCommand(CWindowCommand command);
    // Controls into fields, the port validated; on a bad port nothing is taken and the
    // validation message is returned.
    QString ReadControls();
    void FillControls();
    void SetConnectionFieldsEnabled(bool enabled);
    void OnConnectionOpened();
    void OnConnectionClosed();
    void UpdateGrid();
    void BrowseFolder(QString& folder, const QString& title);
    void OpenHelp(CHelpSection section);
    void ShowMessage(QMessageBox::Icon icon, const QString& text);
    void Shutdown();

    CWindowThreadCaller caller_;
    CLogCourier logLines_;
    std::unique_ptr<CKestromServer> server_;
    CServerHost* host_ = nullptr;
    bool hyWire_ = false;
    bool startMinimized_ = false;
    bool shutDown_ = false;

    unsigned port_ = 0;
    QString eventFolder_;
    QString resultsFolder_;
    CConnectionFields connections_;
    QTimer unlockTimer_;

    QIcon icon_;
    QLineEdit* eventFolderEdit_ = nullptr;
    QPushButton* eventBrowse_ = nullptr;
    QLineEdit* resultsFolderEdit_ = nullptr;
    QPushButton* resultsBrowse_ = nullptr;
    QLineEdit* portEdit_ = nullptr;
    QLineEdit* connectionsEdit_ = nullptr;
    CProductGrid* grid_ = nullptr;
    CEventLog* log_ = nullptr;
    CBalloonBar* balloonBar_ = nullptr;
    CSystemTray* tray_ = nullptr;
    CClientPrompts* prompts_ = nullptr;

    MessageSink messageSink_;
    FolderPicker folderPicker_;
    UrlOpener urlOpener_;
    QStringList helpCandidates_;
};

}  // namespace kestrom
