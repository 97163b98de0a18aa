#pragma once
// The Windows main window: a modeless dialog from the resource script, the server's operator.
// Connection threads never send to it: log lines gather in the log courier and other work is
// queued through the window-thread caller, both woken by a posted message.
#include <windows.h>

#include <memory>
#include <string>

#include "core/OperatorInterface.h"
#include "security/ClientAddressLists.h"
#include "server/Server.h"
#include "window/ClientPromptQueue.h"
#include "window/ConnectionFields.h"
#include "window/EventLogState.h"
#include "window/LogCourier.h"
#include "window/Menus.h"
#include "window/WindowThreadCaller.h"

namespace kestrom {

class CServerHost;

class CMainWindow : public COperatorInterface {
  public:
    CMainWindow();
    ~CMainWindow() override;
    CMainWindow(const CMainWindow&) = delete;
    CMainWindow& operator=(const CMainWindow&) = delete;

    // Creates the (still hidden) window; false when Windows refused.
    bool Create(HINSTANCE instance);
    CKestromServer& Server() { return *server_; }
    // Fills the window from the host's settings, registers the instance and starts listening.
    // False when another start registered first.
    bool Initialise(CServerHost& host);
    void Show(bool minimised);
    HWND Handle() const { return hwnd_; }
    // Runs the message loop until the window has closed; the exit status.
    int Run();

    // Operator interface: any thread.
    void AddLogLine(std::u16string_view text, LogLevel level) override;
    void RefreshProductGrid() override;
    void ShowBalloon(std::u16string_view text, std::u16string_view title, BalloonIcon icon,
                     int seconds) override;
    bool PromptAddClient(CAccessControlItem& entry) override;
    void ConnectionOpened() override;
    void ConnectionClosed() override;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(int id);
    void RunCommand(CWindowCommand command);
    void BuildMenus();
    void AddLogBatch(const CLogHandOver::Batch& batch);
    void ShowErrorCount();
    void UpdateGrid();
    void FillControls();
    // Takes the port and folders from their fields; the validation message when the port is bad.
    std::u16string ReadControls();
    void SetConnectionFieldsEnabled(bool enabled);
    void BrowseFolder(std::u16string& folder, std::u16string_view title);
    void ShowMessage(UINT icon, std::u16string_view text);
    void OnAbout();
    // Opens the manual beside the program at `anchor` in the default browser.
    void OpenHelp(std::u16string_view anchor);
    // The notification-area icon: added at start and again when Explorer restarts.
    void AddTrayIcon();
    void RemoveTrayIcon();
    void OnTrayMessage(UINT mouseMessage);
    void ShowTrayMenu();
    void RestoreFromTray();
    void OnClients(CProduct product);
    // The question about an unknown client, in the entry dialog; answered into prompts_.
    void ShowPrompt(const CAccessControlItem& proposed);
    void OnClose();
    void Shutdown();

    HWND hwnd_ = nullptr;
    DWORD threadId_ = 0;
    CWindowThreadCaller caller_;
    CEventLogState log_;
    CLogCourier logLines_;
    CClientPromptQueue prompts_;
    std::unique_ptr<CKestromServer> server_;
    CServerHost* host_ = nullptr;
    CConnectionFields connections_;
    bool hyWire_ = false;
    bool trayIconAdded_ = false;
    UINT taskbarCreated_ = 0;
    bool shutDown_ = false;
    unsigned port_ = 0;
    std::u16string eventFolder_;
    std::u16string resultsFolder_;
};

}  // namespace kestrom
