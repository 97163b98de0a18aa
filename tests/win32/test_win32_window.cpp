// kestrom.exe driven from outside as an operator and a device would: the window found by its
// title, its controls read through window messages, the server reached over TCP.
#include <winsock2.h>
// winsock2.h before windows.h; commctrl.h after it.
#include <windows.h>
//
#include <commctrl.h>
#include <gtest/gtest.h>
#include <wincodec.h>

#include <chrono>
#include <memory>
#include <string>

#include "app/InstanceChecker.h"
#include "app/SettingsStore.h"
#include "support/sandbox.h"
#include "support/wait.h"
#include "tools/ClientConnection.h"
#include "win32/resource.h"
#include "window/Menus.h"
#include "window/ProductGrid.h"
#include "window/WindowTexts.h"
#include "wire/Records.h"

using namespace kestrom;
using namespace kestrom::client;
using kestrom::testing::CSandbox;
using kestrom::testing::WaitUntil;
using namespace std::chrono_literals;

namespace {

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
std::wstring Wide(const std::string& utf8) {
    return Wide(FromUtf8(utf8));
}

// A loopback port nobody listens on, below the window's limit of 32767 (Wine hands out
// ephemeral ports above it).
int FreeLoopbackPort() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    int found = 0;
    for (unsigned attempt = 0; attempt < 200 && found == 0; ++attempt) {
        const int port =
            20000 + static_cast<int>((GetCurrentProcessId() * 7919u + attempt * 131u) % 12000u);
        const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) break;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(port));
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) found = port;
        closesocket(s);
    }
    WSACleanup();
    return found;
}

std::string WindowsPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string Narrow(std::wstring_view text) {
    return ToUtf8(std::u16string(text.begin(), text.end()));
}

// kestrom.exe lies beside this program in the build folder.
std::wstring ProgramPath() {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"kestrom.exe";
}

std::wstring ItemText(HWND window, int id) {
    wchar_t text[1024] = {};
    SendDlgItemMessageW(window, id, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring LogRow(HWND window, int row) {
    HWND list = GetDlgItem(window, IDC_LOG);
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
    if (length == LB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// A list view's cell, read through a buffer in the window's own process: the list view takes
// the item's address in its own address space.
std::wstring GridCell(HWND window, DWORD processId, int row, int column) {
    HWND grid = GetDlgItem(window, IDC_GRID);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return L"<no access>";
    constexpr std::size_t kChars = 256;
    auto* remote = static_cast<char*>(VirtualAllocEx(
        process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    std::wstring result;
    if (remote) {
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = kChars;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
        const LRESULT n = SendMessageW(grid, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                       reinterpret_cast<LPARAM>(remote));
        std::wstring text(kChars, L'\0');
        ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(), kChars * sizeof(wchar_t),
                          nullptr);
        text.resize(static_cast<std::size_t>(n));
        result = text;
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return result;
}

// A later start with the same command line, which finds the first running.
// With KESTROM_SCREENSHOT_DIR set, the window as it is on screen goes to `name` there as a
// PNG (for the manual); nothing otherwise.
void SaveScreenshot(HWND window, const char* name) {
    const char* dir = std::getenv("KESTROM_SCREENSHOT_DIR");
    if (!dir || !*dir) return;
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    IWICImagingFactory* factory = nullptr;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&factory)))) {
        IWICBitmap* image = nullptr;
        IWICStream* stream = nullptr;
        IWICBitmapEncoder* encoder = nullptr;
        IWICBitmapFrameEncode* frame = nullptr;
        const std::wstring path = Wide(std::string(dir) + "/" + name);
        if (SUCCEEDED(
                factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &image)) &&
            SUCCEEDED(factory->CreateStream(&stream)) &&
            SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
            SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
            SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
            SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
            SUCCEEDED(frame->Initialize(nullptr))) {
            frame->WriteSource(image, nullptr);
            frame->Commit();
            encoder->Commit();
        }
        for (IUnknown* p : std::initializer_list<IUnknown*>{frame, encoder, stream, image})
            if (p) p->Release();
        factory->Release();
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

class CSecondStart {
  public:
    explicit CSecondStart(std::wstring command) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process_);
    }
    ~CSecondStart() {
        if (!process_.hProcess) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    CSecondStart(const CSecondStart&) = delete;
    CSecondStart& operator=(const CSecondStart&) = delete;
    long ExitStatus() {
        if (!process_.hProcess || WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0)
            return -1;
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        return static_cast<long>(status);
    }

  private:
    PROCESS_INFORMATION process_{};
};

class CRunningWindow {
  public:
    // `program` empty: the kestrom.exe of this build.
    explicit CRunningWindow(const CSandbox& sandbox, std::wstring program = {})
        : port_(FreeLoopbackPort()) {
        if (program.empty()) program = ProgramPath();
        // The server keeps folders in Windows' own form, with backslashes.
        eventDir_ = WindowsPath(sandbox.MakeMeet());
        resultsDir_ = eventDir_ + "\\results";
        configDir_ = sandbox.File("config");
        std::wstring command = L"\"" + program + L"\" --config-dir \"" + Wide(configDir_) +
                               L"\" --port " + std::to_wstring(port_) + L" --event-dir \"" +
                               Wide(eventDir_) + L"\" --results-dir \"" + Wide(resultsDir_) + L"\"";
        command_ = command;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process_))
            return;
        const std::wstring title = Wide(MainWindowTitle());
        // Wine takes a few seconds over a program's first start.
        WaitUntil([&] { return (window_ = FindWindowW(nullptr, title.c_str())) != nullptr; }, 30s);
    }
    ~CRunningWindow() {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    CRunningWindow(const CRunningWindow&) = delete;
    CRunningWindow& operator=(const CRunningWindow&) = delete;

    HWND Window() const { return window_; }
    DWORD ProcessId() const { return process_.dwProcessId; }
    int Port() const { return port_; }
    const std::wstring& CommandLine() const { return command_; }
    const std::string& EventDir() const { return eventDir_; }
    const std::string& ResultsDir() const { return resultsDir_; }
    std::string SettingsFile() const { return configDir_ + "/settings.reg"; }

    // Closes the window as the operator does; the exit status, or -1 when it did not end.
    long Close() {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        return WaitForExit();
    }
    long WaitForExit() {
        if (WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) return -1;
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        return static_cast<long>(status);
    }

  private:
    int port_;
    std::string eventDir_, resultsDir_, configDir_;
    std::wstring command_;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

const std::string kVersionReply = "\x01HMM,PSZ=3\x02\x03\x04";

}  // namespace

TEST(Win32Window, ShowsItsSettingsServesAndLogsAndSavesOnClose) {
    CSandbox sandbox;
    CRunningWindow program(sandbox);
    ASSERT_GT(program.Port(), 0);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr) << "no window titled " << ToUtf8(MainWindowTitle());

    // The start: port and folders from the command line, no connections, the grid's rows.
    EXPECT_EQ(ItemText(window, IDC_PORT), std::to_wstring(program.Port()));
    EXPECT_EQ(ItemText(window, IDC_EVENT_DIR), Wide(program.EventDir()));
    EXPECT_EQ(ItemText(window, IDC_RESULTS_DIR), Wide(program.ResultsDir()));
    EXPECT_EQ(ItemText(window, IDC_CONNECTIONS), L"0");
    EXPECT_EQ(ItemText(window, IDC_ERRORS), L"0");
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_LOG_EVENTS, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_GRID, LVM_GETITEMCOUNT, 0, 0), kGridRows - 1);
    const CProductCounts none;
    for (int row = 1; row < kGridRows; ++row)
        for (int column = 0; column < kGridColumns; ++column)
            EXPECT_EQ(GridCell(window, program.ProcessId(), row - 1, column),
                      Wide(ProductGridCell(row, column, none)))
                << "row " << row << " column " << column;

    // A device's ping: the reply, and its line on top of the log within a second.
    auto client = CClientConnection::Connect("127.0.0.1", program.Port(), WireMode::kSingleByte);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->SendText(BuildRequest(u"HAL")));
    const auto reply = client->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, kVersionReply);
    EXPECT_TRUE(
        WaitUntil([&] { return LogRow(window, 0).find(L"Wenlow Ping") != std::wstring::npos; }, 1s))
        << "top row: " << Narrow(LogRow(window, 0));
    EXPECT_TRUE(WaitUntil([&] { return ItemText(window, IDC_CONNECTIONS) == L"1"; }, 1s));
    SaveScreenshot(window, "windows-main-window.png");
    // Loopback has no MAC address: that error line is counted, and Clear Errors clears it.
    EXPECT_TRUE(WaitUntil([&] { return ItemText(window, IDC_ERRORS) == L"1"; }, 1s))
        << Narrow(ItemText(window, IDC_ERRORS));
    SendDlgItemMessageW(window, IDC_CLEAR_ERRORS, BM_CLICK, 0, 0);
    EXPECT_EQ(ItemText(window, IDC_ERRORS), L"0");
    // The admitted Wenlow client is counted in the grid.
    CProductCounts one;
    one.wenlow = 1;
    for (int row = 1; row < kGridRows; ++row)
        for (int column = 1; column < kGridColumns; ++column)
            EXPECT_EQ(GridCell(window, program.ProcessId(), row - 1, column),
                      Wide(ProductGridCell(row, column, one)))
                << "row " << row << " column " << column;
    // The folders and the port lock while a client is connected.
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_PORT)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_EVENT_BROWSE)));
    client.reset();
    EXPECT_TRUE(WaitUntil([&] { return ItemText(window, IDC_CONNECTIONS) == L"0"; }, 2s));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(window, IDC_PORT)) != 0; }, 3s));

    // Enter and Escape reach the window as IDOK and IDCANCEL; neither closes it.
    SendMessageW(window, WM_COMMAND, IDOK, 0);
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(window));

    // Minimising hides the window into the notification icon; a double click on the icon
    // brings it back.
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 2s));
    PostMessageW(window, WM_APP + 2, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) && !IsIconic(window); }, 2s));

    // A second start says another instance runs, brings the first forward and ends with 1.
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 2s));
    {
        CSecondStart second(program.CommandLine());
        HWND box = nullptr;
        const std::wstring boxTitle = Wide(texts::kMessageBoxTitle);
        EXPECT_TRUE(WaitUntil(
            [&] {
                box = FindWindowW(L"#32770", boxTitle.c_str());
                return box != nullptr;
            },
            20s));
        if (box) {
            wchar_t text[512] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 512);
            EXPECT_EQ(Narrow(text), std::string(kPreviousInstanceMessage));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        // The first window comes forward once the message has been read.
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != 0; }, 5s));
        EXPECT_EQ(second.ExitStatus(), 1);
    }

    // An edited port is taken on close and saved with the settings; the exit status is 0.
    const int newPort = program.Port() + 1;
    SetDlgItemTextW(window, IDC_PORT, std::to_wstring(newPort).c_str());
    EXPECT_EQ(program.Close(), 0);
    CKestromSettings saved;
    CSettingsStore(program.SettingsFile()).Load(saved, std::nullopt, std::nullopt);
    EXPECT_EQ(saved.PortNumber, newPort);
    EXPECT_EQ(saved.EventDirectory, FromUtf8(program.EventDir()));
}

TEST(Win32Window, ABadPortOnCloseIsShownAndTheSavedPortKept) {
    CSandbox sandbox;
    CRunningWindow program(sandbox);
    ASSERT_GT(program.Port(), 0);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);

    SetDlgItemTextW(window, IDC_PORT, L"40000");
    PostMessageW(window, WM_CLOSE, 0, 0);
    // The port's range message, in a box of the window's own process.
    HWND box = nullptr;
    const std::wstring boxTitle = Wide(texts::kMessageBoxTitle);
    ASSERT_TRUE(WaitUntil(
        [&] {
            box = FindWindowW(L"#32770", boxTitle.c_str());
            DWORD owner = 0;
            if (box) GetWindowThreadProcessId(box, &owner);
            return box != nullptr && owner == program.ProcessId();
        },
        5s));
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    EXPECT_EQ(Narrow(text), ToUtf8(PortRangeText()));
    PostMessageW(box, WM_COMMAND, IDOK, 0);

    EXPECT_EQ(program.WaitForExit(), 0);
    CKestromSettings saved;
    CSettingsStore(program.SettingsFile()).Load(saved, std::nullopt, std::nullopt);
    EXPECT_EQ(saved.PortNumber, program.Port());
}

TEST(Win32Window, HelpWithoutTheManualSaysWhereItLookedAndAboutNamesTheVersion) {
    CSandbox sandbox;
    // A copy of the program in a folder of its own, without the manual beside it.
    const std::string copy = WindowsPath(sandbox.File("kestrom.exe"));
    ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), Wide(copy).c_str(), FALSE));
    CRunningWindow program(sandbox, Wide(copy));
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);

    PostMessageW(window, WM_COMMAND,
                 IDM_COMMAND_BASE + static_cast<int>(CWindowCommand::kHelpContents), 0);
    HWND box = nullptr;
    const std::wstring boxTitle = Wide(texts::kMessageBoxTitle);
    ASSERT_TRUE(WaitUntil(
        [&] {
            box = FindWindowW(L"#32770", boxTitle.c_str());
            return box != nullptr;
        },
        5s));
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    const std::string expected = WindowsPath(sandbox.File("manual/index.html"));
    EXPECT_EQ(Narrow(text), ToUtf8(MissingHelpFileText(FromUtf8(expected))));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5s));

    // The system menu's About names the version.
    PostMessageW(window, WM_SYSCOMMAND, IDM_COMMAND_BASE, 0);
    HWND about = nullptr;
    const std::wstring aboutTitle = Wide(texts::kAboutTitle);
    ASSERT_TRUE(WaitUntil(
        [&] {
            about = FindWindowW(L"#32770", aboutTitle.c_str());
            return about != nullptr;
        },
        5s));
    GetDlgItemTextW(about, 0xFFFF, text, 1024);
    EXPECT_NE(Narrow(text).find(ToUtf8(AboutVersionText())), std::string::npos) << Narrow(text);
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.Close(), 0);
}
