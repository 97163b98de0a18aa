#include "win32/MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/SettingsStore.h"
#include "base/TextConvert.h"
#include "server/ServerHost.h"
#include "win32/ClientsDialog.h"
#include "win32/DialogText.h"
#include "win32/OptionsSheet.h"
#include "win32/SecurityItemDialog.h"
#include "win32/resource.h"
#include "window/PortField.h"
#include "window/ProductGrid.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

// Posted to the window with a heap-held function in lParam, which the window runs and frees.
constexpr UINT kRunWork = WM_APP + 1;
constexpr UINT_PTR kUnlockTimer = 1;
// The notification icon's mouse messages.
constexpr UINT kTrayMessage = WM_APP + 2;
constexpr UINT kTrayIconId = 1;

// The system's folder picker, starting at `start`; empty when cancelled.
std::u16string PickFolder(HWND owner, std::u16string_view title, const std::u16string& start) {
    std::u16string chosen;
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&dialog))))
        return chosen;
    DWORD options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    const std::wstring wideTitle = Wide(title);
    dialog->SetTitle(wideTitle.c_str());
    IShellItem* folder = nullptr;
    if (!start.empty() && SUCCEEDED(SHCreateItemFromParsingName(Wide(start).c_str(), nullptr,
                                                                IID_PPV_ARGS(&folder)))) {
        dialog->SetFolder(folder);
        folder->Release();
    }
    if (SUCCEEDED(dialog->Show(owner))) {
        IShellItem* result = nullptr;
        if (SUCCEEDED(dialog->GetResult(&result))) {
            PWSTR path = nullptr;
            if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
                chosen = FromWide(path);
                CoTaskMemFree(path);
            }
            result->Release();
        }
    }
    dialog->Release();
    return chosen;
}

}  // namespace

CMainWindow::CMainWindow()
    : caller_(
          [this](std::function<void()> work) {
              auto* held = new std::function<void()>(std::move(work));
              if (!hwnd_ || !PostMessageW(hwnd_, kRunWork, 0, reinterpret_cast<LPARAM>(held)))
                  delete held;
          },
          [this] { return GetCurrentThreadId() == threadId_; }),
      logLines_(caller_, [this](const CLogHandOver::Batch& batch) { AddLogBatch(batch); }),
      prompts_([this](const CAccessControlItem& proposed) { ShowPrompt(proposed); }),
      server_(std::make_unique<CKestromServer>(*this)) {}

CMainWindow::~CMainWindow() {
    caller_.Close();
    server_.reset();
}

bool CMainWindow::Create(HINSTANCE instance) {
    threadId_ = GetCurrentThreadId();
    hwnd_ = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, &DialogProc,
                               reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

INT_PTR CALLBACK CMainWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CMainWindow*>(lParam);
        self->hwnd_ = hwnd;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CMainWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    return self->OnMessage(message, wParam, lParam);
}

void CMainWindow::OnInitDialog() {
    SetWindowTextW(hwnd_, Wide(texts::kProgramName).c_str());
    const std::pair<int, std::u16string_view> labels[] = {
        {IDC_FOLDERS_GROUP, texts::kFoldersGroup},
        {IDC_EVENT_LABEL, texts::kEventFilesLabel},
        {IDC_RESULTS_LABEL, texts::kResultsFilesLabel},
        {IDC_EVENT_BROWSE, texts::kBrowse},
        {IDC_RESULTS_BROWSE, texts::kBrowse},
        {IDC_CONNECTION_GROUP, texts::kConnectionGroup},
        {IDC_PORT_LABEL, texts::kPortLabel},
        {IDC_CONNECTIONS_LABEL, texts::kConnectionsLabel},
        {IDC_PRODUCTS_GROUP, texts::kProductsGroup},
        {IDC_LOGGING_GROUP, texts::kLoggingGroup},
        {IDC_LOG_EVENTS, texts::kLogEvents},
        {IDC_CLEAR_LOG, texts::kClearLog},
        {IDC_ERRORS_LABEL, texts::kErrorCountLabel},
        {IDC_CLEAR_ERRORS, texts::kClearErrors},
    };
    for (const auto& [id, text] : labels) SetItemText(hwnd_, id, text);

    HWND grid = GetDlgItem(hwnd_, IDC_GRID);
    ListView_SetExtendedListViewStyle(grid, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    RECT area{};
    GetClientRect(grid, &area);
    const int width = (area.right - area.left) / kGridColumns;
    const CProductCounts none;
    for (int column = 0; column < kGridColumns; ++column) {
        std::wstring title = Wide(ProductGridCell(0, column, none));
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.cx = column == 0 ? width + width / 2 : width - width / 6;
        col.pszText = title.data();
        col.iSubItem = column;
        SendMessageW(grid, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&col));
    }
    for (int row = 1; row < kGridRows; ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row - 1;
        std::wstring name = Wide(ProductGridCell(row, 0, none));
        item.pszText = name.data();
        SendMessageW(grid, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    // Each column as wide as its title or its widest cell, so no title is cut.
    for (int column = 0; column < kGridColumns; ++column) {
        int widest = 0;
        for (int row = 0; row < kGridRows; ++row) {
            const std::wstring text = Wide(ProductGridCell(row, column, none));
            widest = std::max(widest, ListView_GetStringWidth(grid, text.c_str()));
        }
        // Room for the cell's margins on either side.
        ListView_SetColumnWidth(grid, column, widest + 16);
    }
    ShowErrorCount();
}

INT_PTR CMainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (taskbarCreated_ != 0 && message == taskbarCreated_) {
        // Explorer restarted: its notification area lost every icon.
        trayIconAdded_ = false;
        AddTrayIcon();
        return TRUE;
    }
    switch (message) {
        case kTrayMessage:
            OnTrayMessage(LOWORD(lParam));
            return TRUE;
        case WM_SIZE:
            // Minimising hides the window into the notification icon.
            if (wParam == SIZE_MINIMIZED && trayIconAdded_) ShowWindow(hwnd_, SW_HIDE);
            return FALSE;
        case kRunWork: {
            std::unique_ptr<std::function<void()>> work(
                reinterpret_cast<std::function<void()>*>(lParam));
            (*work)();
            return TRUE;
        }
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return TRUE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_COMMAND_BASE) {
                OnAbout();
                return TRUE;
            }
            // The minimise button hides the window into the notification icon straight
            // away. Minimising first and hiding on WM_SIZE left a restore racing with the
            // minimise's late size message under Wine, which hid the window again.
            if ((wParam & 0xFFF0) == SC_MINIMIZE && trayIconAdded_) {
                ShowWindow(hwnd_, SW_HIDE);
                return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            if (wParam == kUnlockTimer) {
                KillTimer(hwnd_, kUnlockTimer);
                SetConnectionFieldsEnabled(true);
            }
            return TRUE;
        case WM_CLOSE:
            OnClose();
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

void CMainWindow::OnCommand(int id) {
    switch (id) {
        // Enter and Escape arrive as IDOK and IDCANCEL; neither closes the window.
        case IDOK:
        case IDCANCEL:
            return;
        case IDC_EVENT_BROWSE:
            BrowseFolder(eventFolder_, texts::kBrowseEventFolderTitle);
            return;
        case IDC_RESULTS_BROWSE:
            BrowseFolder(resultsFolder_, texts::kBrowseResultsFolderTitle);
            return;
        case IDC_LOG_EVENTS:
            log_.SetLogEvents(IsDlgButtonChecked(hwnd_, IDC_LOG_EVENTS) == BST_CHECKED);
            return;
        case IDC_CLEAR_LOG:
            SendDlgItemMessageW(hwnd_, IDC_LOG, LB_RESETCONTENT, 0, 0);
            return;
        case IDC_CLEAR_ERRORS:
            log_.ClearErrors();
            ShowErrorCount();
            return;
        default:
            if (id > IDM_COMMAND_BASE)
                RunCommand(static_cast<CWindowCommand>(id - IDM_COMMAND_BASE));
    }
}

void CMainWindow::RunCommand(CWindowCommand command) {
    switch (command) {
        case CWindowCommand::kExit:
            OnClose();
            break;
        case CWindowCommand::kAbout:
            OnAbout();
            break;
        case CWindowCommand::kHelpIndex:
            OpenHelp(u"index");
            break;
        case CWindowCommand::kHelpContents:
            OpenHelp(u"contents");
            break;
        case CWindowCommand::kOpen:
            RestoreFromTray();
            break;
        case CWindowCommand::kOptions:
            // The tray's menu still works while a modal dialog has disabled the window; a
            // second sheet would edit a second working copy of the list.
            if (IsWindowEnabled(hwnd_)) COptionsSheet(*server_, hyWire_).Run(hwnd_);
            break;
        case CWindowCommand::kWenlowClients:
            OnClients(CProduct::Wenlow);
            break;
        case CWindowCommand::kFieldOrvoClients:
            OnClients(CProduct::FieldOrvo);
            break;
        case CWindowCommand::kClerkOrvoClients:
            OnClients(CProduct::ClerkOrvo);
            break;
        default:
            // The console has no Windows window yet.
            break;
    }
}

void CMainWindow::BuildMenus() {
    HMENU bar = CreateMenu();
    for (const CMenu& menu : MainMenu(hyWire_)) {
        HMENU popup = CreatePopupMenu();
        for (const CMenuItem& item : menu.items) {
            if (item.IsSeparator()) {
                AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            } else {
                AppendMenuW(popup, MF_STRING,
                            IDM_COMMAND_BASE + static_cast<UINT_PTR>(item.command),
                            Wide(item.text).c_str());
            }
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), Wide(menu.title).c_str());
    }
    HMENU old = GetMenu(hwnd_);
    SetMenu(hwnd_, bar);
    if (old) DestroyMenu(old);
    // The system menu's About; its number keeps the low four bits clear, as Windows wants.
    HMENU system = GetSystemMenu(hwnd_, FALSE);
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING, IDM_COMMAND_BASE, Wide(texts::kAboutKestromItem).c_str());
}

bool CMainWindow::Initialise(CServerHost& host) {
    host_ = &host;
    hyWire_ = host.CommandLine().useHyWire;
    BuildMenus();
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    AddTrayIcon();
    const CKestromSettings settings = server_->Settings().Get();
    port_ = static_cast<unsigned>(settings.PortNumber);
    eventFolder_ = settings.EventDirectory;
    resultsFolder_ = settings.ResultsDirectory;
    log_.SetLogEvents(settings.LogEvents);
    CheckDlgButton(hwnd_, IDC_LOG_EVENTS, settings.LogEvents ? BST_CHECKED : BST_UNCHECKED);
    log_.SetMaxLines(static_cast<std::size_t>(settings.LogListLines));
    logLines_.SetBacklog(static_cast<std::size_t>(settings.LogBacklogLines));
    if (const char* prompt = std::getenv(kPromptForClientsEnvironment);
        prompt && std::string_view(prompt) == "1")
        server_->Prompts().SetEnabled(true);
    const bool registered =
        host.Register([this] { caller_.Post([this] { RunCommand(CWindowCommand::kOpen); }); });
    FillControls();
    UpdateGrid();
    host.StartListening();
    // The title comes last: a window found by its title is filled and listening.
    SetWindowTextW(hwnd_, Wide(MainWindowTitle()).c_str());
    return registered;
}

void CMainWindow::Show(bool minimised) {
    ShowWindow(hwnd_, minimised ? SW_SHOWMINIMIZED : SW_SHOW);
}

int CMainWindow::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (hwnd_ && IsDialogMessageW(hwnd_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

void CMainWindow::AddLogBatch(const CLogHandOver::Batch& batch) {
    const std::vector<std::string> rows = log_.Accept(batch, LocalNow());
    HWND list = GetDlgItem(hwnd_, IDC_LOG);
    if (!rows.empty()) {
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        HDC dc = GetDC(list);
        HGDIOBJ oldFont =
            SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
        int widest = 0;
        // Rows come newest first: the last goes in first, so the newest ends on top.
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            const std::wstring text = Wide(FromUtf8(*row));
            SendMessageW(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            SIZE size{};
            // The whole line is measured, time stamp included, so its end can be scrolled to.
            if (GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size) &&
                size.cx > widest)
                widest = size.cx;
        }
        SelectObject(dc, oldFont);
        ReleaseDC(list, dc);
        const auto kept = static_cast<LRESULT>(log_.MaxLines());
        for (LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0); count > kept; --count)
            SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(count - 1), 0);
        if (log_.GrowExtent(LogExtentFor(widest, GetSystemMetrics(SM_CXVSCROLL))))
            SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(log_.Extent()), 0);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    if (batch.errors > 0) ShowErrorCount();
}

void CMainWindow::ShowErrorCount() {
    SetItemText(hwnd_, IDC_ERRORS, U16(std::to_string(log_.ErrorCount())));
}

void CMainWindow::UpdateGrid() {
    const CProductCounts counts = ProductCountsOf(server_->ClientAddresses());
    HWND grid = GetDlgItem(hwnd_, IDC_GRID);
    for (int row = 1; row < kGridRows; ++row) {
        for (int column = 1; column < kGridColumns; ++column) {
            std::wstring text = Wide(ProductGridCell(row, column, counts));
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text.data();
            SendMessageW(grid, LVM_SETITEMTEXTW, static_cast<WPARAM>(row - 1),
                         reinterpret_cast<LPARAM>(&item));
        }
    }
}

void CMainWindow::FillControls() {
    SetItemText(hwnd_, IDC_EVENT_DIR, eventFolder_);
    SetItemText(hwnd_, IDC_RESULTS_DIR, resultsFolder_);
    SetItemText(hwnd_, IDC_PORT, U16(std::to_string(port_)));
    SetItemText(hwnd_, IDC_CONNECTIONS, U16(std::to_string(connections_.Count())));
}

std::u16string CMainWindow::ReadControls() {
    const CPortCheck check = CheckPortText(ItemText(hwnd_, IDC_PORT));
    if (!check.ok) return check.error;
    port_ = check.port;
    eventFolder_ = ItemText(hwnd_, IDC_EVENT_DIR);
    resultsFolder_ = ItemText(hwnd_, IDC_RESULTS_DIR);
    return {};
}

void CMainWindow::SetConnectionFieldsEnabled(bool enabled) {
    for (int id : {IDC_EVENT_DIR, IDC_EVENT_BROWSE, IDC_RESULTS_DIR, IDC_RESULTS_BROWSE, IDC_PORT,
                   IDC_CONNECTIONS})
        EnableWindow(GetDlgItem(hwnd_, id), enabled);
}

void CMainWindow::BrowseFolder(std::u16string& folder, std::u16string_view title) {
    const std::u16string error = ReadControls();
    if (!error.empty()) ShowMessage(MB_ICONWARNING, error);
    const std::u16string chosen = PickFolder(hwnd_, title, folder);
    if (chosen.empty()) return;
    folder = chosen;
    FillControls();
}

void CMainWindow::ShowMessage(UINT icon, std::u16string_view text) {
    MessageBoxW(IsWindowVisible(hwnd_) ? hwnd_ : nullptr, Wide(text).c_str(),
                Wide(texts::kMessageBoxTitle).c_str(), MB_OK | icon);
}

void CMainWindow::OnAbout() {
    const std::u16string text = std::u16string(texts::kAboutDescription) + u"\n\n" +
                                AboutVersionText() + u"\n" + AboutReleasedText();
    MessageBoxW(hwnd_, Wide(text).c_str(), Wide(texts::kAboutTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

void CMainWindow::OpenHelp(std::u16string_view anchor) {
    wchar_t self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"manual\\index.html";
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ShowMessage(MB_ICONWARNING, MissingHelpFileText(FromWide(path)));
        return;
    }
    std::wstring url = L"file:///" + path + L"#" + Wide(anchor);
    for (wchar_t& c : url)
        if (c == L'\\') c = L'/';
    ShellExecuteW(hwnd_, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CMainWindow::AddTrayIcon() {
    if (trayIconAdded_) return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    const std::wstring tip = Wide(texts::kTrayTooltip).substr(0, kTooltipChars);
    wcsncpy(data.szTip, tip.c_str(), ARRAYSIZE(data.szTip) - 1);
    // Without a notification area the window stays on the taskbar when minimised.
    trayIconAdded_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void CMainWindow::RemoveTrayIcon() {
    if (!trayIconAdded_) return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_DELETE, &data);
    trayIconAdded_ = false;
}

void CMainWindow::OnTrayMessage(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_LBUTTONDBLCLK:
            // A double click runs the menu's default item, Open.
            RestoreFromTray();
            break;
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            ShowTrayMenu();
            break;
        default:
            break;
    }
}

void CMainWindow::ShowTrayMenu() {
    HMENU menu = CreatePopupMenu();
    bool first = true;
    for (const CMenuItem& item : TrayMenu(hyWire_)) {
        if (item.IsSeparator()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const UINT id = IDM_COMMAND_BASE + static_cast<UINT>(item.command);
        AppendMenuW(menu, MF_STRING, id, Wide(item.text).c_str());
        if (first) SetMenuDefaultItem(menu, id, FALSE);
        first = false;
    }
    POINT at{};
    GetCursorPos(&at);
    // Windows closes the menu on a click elsewhere only when its owner is in front.
    SetForegroundWindow(hwnd_);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, hwnd_, nullptr));
    PostMessageW(hwnd_, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen > IDM_COMMAND_BASE)
        RunCommand(static_cast<CWindowCommand>(chosen - IDM_COMMAND_BASE));
}

void CMainWindow::RestoreFromTray() {
    // A window minimised by other means (started minimised) is iconic as well as hidden.
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void CMainWindow::OnClients(CProduct product) {
    RunClientsDialog(hwnd_, product, server_->ClientAddresses().Addresses(product));
}

void CMainWindow::ShowPrompt(const CAccessControlItem& proposed) {
    CSecurityItemEditor editor({proposed}, {0}, {}, true);
    std::optional<CAccessControlItem> confirmed;
    if (RunSecurityItemDialog(hwnd_, editor)) confirmed = editor.List().front();
    prompts_.Finish(std::move(confirmed));
    // The next question comes from the event loop, not from inside this one's answer.
    caller_.Post([this] { prompts_.ShowNext(); });
}

void CMainWindow::OnClose() {
    if (!shutDown_) Shutdown();
    DestroyWindow(hwnd_);
}

void CMainWindow::Shutdown() {
    shutDown_ = true;
    // A bad port keeps the previous port and folders; the close goes on.
    const std::u16string error = ReadControls();
    if (!error.empty()) ShowMessage(MB_ICONWARNING, error);
    const bool logEvents = log_.LogEvents();
    server_->Settings().Update([&](CKestromSettings& s) {
        s.PortNumber = static_cast<int>(port_);
        s.EventDirectory = eventFolder_;
        s.ResultsDirectory = resultsFolder_;
        s.LogEvents = logEvents;
    });
    RemoveTrayIcon();
    caller_.Close();
    if (host_) {
        host_->Shutdown();
    } else {
        server_->StopListening();
    }
}

// Operator interface ------------------------------------------------------------------------

void CMainWindow::AddLogLine(std::u16string_view text, LogLevel level) {
    logLines_.Add(text, level, log_.LogEvents());
}

void CMainWindow::RefreshProductGrid() {
    caller_.Run([this] { UpdateGrid(); });
}

void CMainWindow::ShowBalloon(std::u16string_view text, std::u16string_view title, BalloonIcon icon,
                              int seconds) {
    caller_.Run([&, this] {
        // Without a notification icon there is nowhere to show a balloon.
        if (!trayIconAdded_) return;
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof(data);
        data.hWnd = hwnd_;
        data.uID = kTrayIconId;
        data.uFlags = NIF_INFO;
        const std::wstring wideText = Wide(text.substr(0, kBalloonTextChars));
        const std::wstring wideTitle = Wide(title.substr(0, kBalloonTitleChars));
        wcsncpy(data.szInfo, wideText.c_str(), ARRAYSIZE(data.szInfo) - 1);
        wcsncpy(data.szInfoTitle, wideTitle.c_str(), ARRAYSIZE(data.szInfoTitle) - 1);
        switch (icon) {
            case BalloonIcon::kInfo:
                data.dwInfoFlags = NIIF_INFO;
                break;
            case BalloonIcon::kWarning:
                data.dwInfoFlags = NIIF_WARNING;
                break;
            case BalloonIcon::kError:
                data.dwInfoFlags = NIIF_ERROR;
                break;
            default:
                data.dwInfoFlags = NIIF_NONE;
                break;
        }
        data.uTimeout = static_cast<UINT>(seconds) * 1000;
        Shell_NotifyIconW(NIM_MODIFY, &data);
    });
}

bool CMainWindow::PromptAddClient(CAccessControlItem& entry) {
    // Questions wait in line on the window's thread while their connections wait here.
    return prompts_.AskAndWait(caller_, entry);
}

void CMainWindow::ConnectionOpened() {
    caller_.Post([this] {
        std::u16string error;
        if (connections_.Opened()) {
            KillTimer(hwnd_, kUnlockTimer);
            error = ReadControls();
            SetConnectionFieldsEnabled(false);
        }
        SetItemText(hwnd_, IDC_CONNECTIONS, U16(std::to_string(connections_.Count())));
        UpdateGrid();
        if (!error.empty()) ShowMessage(MB_ICONWARNING, error);
    });
}

void CMainWindow::ConnectionClosed() {
    caller_.Post([this] {
        const bool last = connections_.Closed();
        SetItemText(hwnd_, IDC_CONNECTIONS, U16(std::to_string(connections_.Count())));
        // The fields open a second after the last client leaves; a client arriving in that
        // second keeps them locked.
        if (last) SetTimer(hwnd_, kUnlockTimer, kUnlockDelayMs, nullptr);
    });
}

}  // namespace kestrom
