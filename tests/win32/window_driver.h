#pragma once
// Driving kestrom.exe from another process as an operator and a device would: the window found
// by its title, its controls read through window messages (list views through a buffer in the
// window's process), the server reached over TCP.
#include <winsock2.h>
// winsock2.h before windows.h; commctrl.h after it.
#include <windows.h>
//
#include <commctrl.h>
#include <wincodec.h>

#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>

#include "base/TextConvert.h"
#include "support/sandbox.h"
#include "support/wait.h"
#include "win32/resource.h"
#include "window/WindowTexts.h"

namespace kestrom::testing::win32 {

using namespace std::chrono_literals;
using kestrom::testing::CSandbox;
using kestrom::testing::WaitUntil;

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
inline std::wstring Wide(const std::string& utf8) {
    return Wide(FromUtf8(utf8));
}

// A loopback port nobody listens on, below the window's limit of 32767 (Wine hands out
// ephemeral ports above it).
inline int FreeLoopbackPort() {
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

inline std::string WindowsPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

inline std::string Narrow(std::wstring_view text) {
    return ToUtf8(std::u16string(text.begin(), text.end()));
}

// kestrom.exe lies beside this program in the build folder.
inline std::wstring ProgramPath() {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"kestrom.exe";
}

inline std::wstring ItemText(HWND window, int id) {
    wchar_t text[1024] = {};
    SendDlgItemMessageW(window, id, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

inline std::wstring LogRow(HWND window, int row) {
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
std::wstring ListViewCell(HWND list, DWORD processId, int row, int column);
inline std::wstring GridCell(HWND window, DWORD processId, int row, int column) {
    return ListViewCell(GetDlgItem(window, IDC_GRID), processId, row, column);
}

// A later start with the same command line, which finds the first running.
// With KESTROM_SCREENSHOT_DIR set, the window as it is on screen goes to `name` there as a
// PNG (for the manual); nothing otherwise.
inline void SaveScreenshot(HWND window, const char* name) {
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

// The reply to a Wenlow ping in single-byte mode.
inline const std::string kVersionReply = "\x01HMM,PSZ=3\x02\x03\x04";

// A buffer in another process for the messages whose structures a control takes in its own
// address space (list views, tab controls).
class CRemoteBuffer {
  public:
    CRemoteBuffer(DWORD processId, std::size_t size)
        : process_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                               processId)) {
        if (process_)
            memory_ = static_cast<char*>(
                VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    }
    ~CRemoteBuffer() {
        if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    CRemoteBuffer(const CRemoteBuffer&) = delete;
    CRemoteBuffer& operator=(const CRemoteBuffer&) = delete;

    bool Ok() const { return memory_ != nullptr; }
    char* At(std::size_t offset) const { return memory_ + offset; }
    LPARAM Address(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(At(offset)); }
    void Write(std::size_t offset, const void* data, std::size_t size) const {
        WriteProcessMemory(process_, At(offset), data, size, nullptr);
    }
    void Read(std::size_t offset, void* data, std::size_t size) const {
        ReadProcessMemory(process_, At(offset), data, size, nullptr);
    }

  private:
    HANDLE process_;
    char* memory_ = nullptr;
};

inline std::wstring ListViewColumnTitle(HWND list, DWORD processId, int column) {
    constexpr std::size_t kChars = 256;
    CRemoteBuffer remote(processId, sizeof(LVCOLUMNW) + kChars * sizeof(wchar_t));
    if (!remote.Ok()) return L"<no access>";
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.cchTextMax = kChars;
    col.pszText = reinterpret_cast<wchar_t*>(remote.At(sizeof(LVCOLUMNW)));
    remote.Write(0, &col, sizeof(col));
    if (!SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), remote.Address()))
        return {};
    wchar_t text[kChars] = {};
    remote.Read(sizeof(LVCOLUMNW), text, sizeof(text));
    return text;
}

// Selects a list view's row, as a click with Ctrl held would, or clears its selection.
inline void SelectListViewRow(HWND list, DWORD processId, int row, bool selected = true) {
    CRemoteBuffer remote(processId, sizeof(LVITEMW));
    if (!remote.Ok()) return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    remote.Write(0, &item, sizeof(item));
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), remote.Address());
}

// A list view cell's rectangle on the screen.
inline RECT ListViewCellOnScreen(HWND list, DWORD processId, int row, int column) {
    RECT r{};
    CRemoteBuffer remote(processId, sizeof(RECT));
    if (!remote.Ok()) return r;
    r.top = column;
    r.left = LVIR_BOUNDS;
    remote.Write(0, &r, sizeof(r));
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), remote.Address());
    remote.Read(0, &r, sizeof(r));
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The colour on the screen at a point, as red, green and blue.
inline COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

inline std::wstring TabTitle(HWND tab, DWORD processId, int index) {
    constexpr std::size_t kChars = 256;
    CRemoteBuffer remote(processId, sizeof(TCITEMW) + kChars * sizeof(wchar_t));
    if (!remote.Ok()) return L"<no access>";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(remote.At(sizeof(TCITEMW)));
    remote.Write(0, &item, sizeof(item));
    if (!SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), remote.Address())) return {};
    wchar_t text[kChars] = {};
    remote.Read(sizeof(TCITEMW), text, sizeof(text));
    return text;
}

// A message box's text. The box can be found before its text is in place, so this waits a
// moment for a text to appear.
inline std::wstring MessageBoxText(HWND box) {
    wchar_t text[1024] = {};
    WaitUntil(
        [&] {
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            return text[0] != L'\0';
        },
        5s);
    return text;
}

// A cell of any list view of the program (GridCell reads the main window's grid).
inline std::wstring ListViewCell(HWND list, DWORD processId, int row, int column) {
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
        const LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
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

// A dialog of the program's process by its title, and by its owner when one is given.
inline HWND FindProgramDialog(DWORD processId, const std::wstring& title, HWND owner = nullptr) {
    struct Search {
        DWORD processId;
        const std::wstring* title;
        HWND owner;
        HWND found;
    } search{processId, &title, owner, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            wchar_t className[16] = {}, text[256] = {};
            GetClassNameW(hwnd, className, 16);
            GetWindowTextW(hwnd, text, 256);
            if (pid != s->processId || std::wstring(className) != L"#32770" || *s->title != text ||
                !IsWindowVisible(hwnd))
                return TRUE;
            if (s->owner && GetWindow(hwnd, GW_OWNER) != s->owner) return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND WaitForProgramDialog(DWORD processId, const std::wstring& title, HWND owner = nullptr) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProgramDialog(processId, title, owner)) != nullptr; }, 20s);
    return found;
}

// Typing as the operator does: the edit's text selected, then each character posted, so the
// program handles them in its own time (its checks may open message boxes meanwhile).
inline void TypeInto(HWND edit, std::wstring_view characters) {
    PostMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : characters) PostMessageW(edit, WM_CHAR, c, 1);
}

// The control with the input focus on `window`'s thread.
inline HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

}  // namespace kestrom::testing::win32
