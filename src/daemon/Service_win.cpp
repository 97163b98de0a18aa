#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "base/Path.h"
#include "base/TextConvert.h"
#include "daemon/DaemonRun.h"
#include "daemon/RotatingLogFile.h"
#include "daemon/Service.h"
#include "daemon/ServiceCommandLine.h"
#include "daemon/StopRequest.h"

namespace kestrom {

namespace {

constexpr std::string_view kLogFileName = "kestromd.log";
// How long --uninstall-service waits for a running service to stop (it saves its settings).
constexpr auto kStopTimeout = std::chrono::seconds(30);
// What the service manager is told to allow for a start or a stop before it gives up.
constexpr DWORD kPendingWaitHintMs = 10000;

const wchar_t* ServiceNameW() {
    return reinterpret_cast<const wchar_t*>(kServiceName.data());
}

std::string ServiceNameUtf8() {
    return ToUtf8(kServiceName);
}

class CServiceHandle {
  public:
    explicit CServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~CServiceHandle() {
        if (handle_) ::CloseServiceHandle(handle_);
    }
    CServiceHandle(const CServiceHandle&) = delete;
    CServiceHandle& operator=(const CServiceHandle&) = delete;
    explicit operator bool() const { return handle_ != nullptr; }
    SC_HANDLE get() const { return handle_; }

  private:
    SC_HANDLE handle_;
};

std::string SystemErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n ? ToUtf8(std::u16string_view(reinterpret_cast<char16_t*>(text), n)) : "";
    ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return (out.empty() ? "error" : out) + " (" + std::to_string(code) + ")";
}

// Prints why `what` ("install", "remove") failed and returns the exit status.
int Failed(const std::string& what, DWORD code) {
    if (code == ERROR_ACCESS_DENIED) {
        std::cerr << "kestromd: to " << what << " the service " << ServiceNameUtf8()
                  << " kestromd needs administrator rights: run it from a command prompt "
                     "opened with \"Run as administrator\"\n";
    } else {
        std::cerr << "kestromd: cannot " << what << " the service " << ServiceNameUtf8() << ": "
                  << SystemErrorText(code) << "\n";
    }
    return 1;
}

std::u16string ProgramPath() {
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return std::u16string(reinterpret_cast<const char16_t*>(path.data()), path.size());
}

// The service's log lives with its settings when --config-dir names a folder; else in the
// machine's %ProgramData%\Kestrom, which outlasts any user's profile and which the
// service's account (LocalSystem) may write. An operator finds it without knowing the
// account's own profile folder.
std::string ServiceLogFolder(const CKestromCommandLineInfo& info) {
    if (info.configDir) return *info.configDir;
    PWSTR programData = nullptr;
    std::string dir = "C:\\ProgramData";
    if (::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData) == S_OK)
        dir = ToUtf8(reinterpret_cast<const char16_t*>(programData));
    ::CoTaskMemFree(programData);
    return dir + "\\Kestrom";
}

// The state the service reports; the service's thread and the control handler's share it.
struct CServiceState {
    const CKestromCommandLineInfo* info = nullptr;
    SERVICE_STATUS_HANDLE handle = nullptr;
    std::mutex statusMutex;
    SERVICE_STATUS status{};
    int exitStatus = 0;
};
CServiceState gService;

void ReportStatus(DWORD state, DWORD waitHintMs = 0) {
    std::lock_guard lock(gService.statusMutex);
    SERVICE_STATUS& s = gService.status;
    s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s.dwCurrentState = state;
    // No stop before the server is up: the start-up path is not built to be cut short.
    s.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    s.dwCheckPoint = pending ? s.dwCheckPoint + 1 : 0;
    s.dwWaitHint = waitHintMs;
    if (state == SERVICE_STOPPED && gService.exitStatus != 0) {
        s.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        s.dwServiceSpecificExitCode = static_cast<DWORD>(gService.exitStatus);
    } else {
        s.dwWin32ExitCode = NO_ERROR;
        s.dwServiceSpecificExitCode = 0;
    }
    ::SetServiceStatus(gService.handle, &s);
}

DWORD WINAPI OnServiceControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            // The stop itself runs on the service's thread, as after Ctrl+C in a console.
            ReportStatus(SERVICE_STOP_PENDING, kPendingWaitHintMs);
            RequestStop();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    gService.handle = ::RegisterServiceCtrlHandlerExW(ServiceNameW(), OnServiceControl, nullptr);
    if (!gService.handle) return;
    ReportStatus(SERVICE_START_PENDING, kPendingWaitHintMs);

    const std::string folder = ServiceLogFolder(*gService.info);
    std::error_code ec;
    std::filesystem::create_directories(FsPath(folder), ec);
    CRotatingLogFile log(folder + "\\" + std::string(kLogFileName));
    {
        // Declared after the file: its writer thread has stopped before the file closes.
        CDaemonOperator op(log);
        CDaemonRunHooks hooks;
        hooks.note = [&op](std::string_view line) { op.AddNote(line); };
        hooks.running = [] { ReportStatus(SERVICE_RUNNING); };
        hooks.waitForStop = WaitForStopRequest;
        gService.exitStatus = RunDaemon(*gService.info, op, hooks);
        if (gService.exitStatus == 0) op.AddNote("kestromd: stopped by the service manager");
        op.FlushLog();
    }
    ReportStatus(SERVICE_STOPPED);
}

}  // namespace

int InstallService(const CKestromCommandLineInfo& info) {
    CServiceHandle manager(
        ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) return Failed("install", ::GetLastError());
    const std::u16string line = ServiceCommandLine(ProgramPath(), ServiceArguments(info));
    // Started with Windows: a meet's server must be back after a power cut or an update's
    // restart without anyone logging on, which is why it runs as a service at all.
    CServiceHandle service(::CreateServiceW(
        manager.get(), ServiceNameW(), ServiceNameW(), SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
        reinterpret_cast<const wchar_t*>(line.c_str()), nullptr, nullptr, nullptr, nullptr,
        nullptr));
    if (!service) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_SERVICE_EXISTS && code != ERROR_DUPLICATE_SERVICE_NAME)
            return Failed("install", code);
        std::cerr << "kestromd: the service " << ServiceNameUtf8()
                  << " is already installed; remove it first with kestromd --uninstall-service\n";
        return 1;
    }
    wchar_t description[] =
        L"Serves the files of an athletics meet to field-event, clerk-of-course and results "
        L"devices over TCP.";
    SERVICE_DESCRIPTIONW about{description};
    ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &about);
    // A crash in the middle of a meet: Windows starts the server again after five seconds,
    // twice a day at most (it repeats the last action for ever), so a fault at start-up does
    // not loop.
    SC_ACTION restart[3] = {
        {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = 3;
    failure.lpsaActions = restart;
    ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
    std::cout << "kestromd: installed the service " << ServiceNameUtf8()
              << ", started with Windows, as: " << ToUtf8(line) << "\n"
              << "kestromd: its log is " << ServiceLogFolder(info) << "\\" << kLogFileName
              << "; start it now with: sc start " << ServiceNameUtf8() << "\n";
    return 0;
}

int UninstallService() {
    CServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return Failed("remove", ::GetLastError());
    CServiceHandle service(::OpenServiceW(manager.get(), ServiceNameW(),
                                          SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_SERVICE_DOES_NOT_EXIST) return Failed("remove", code);
        std::cerr << "kestromd: the service " << ServiceNameUtf8() << " is not installed\n";
        return 1;
    }
    SERVICE_STATUS status{};
    if (::QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        std::cout << "kestromd: stopping the service " << ServiceNameUtf8() << "\n" << std::flush;
        if (status.dwCurrentState != SERVICE_STOP_PENDING)
            ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        while (::QueryServiceStatus(service.get(), &status) &&
               status.dwCurrentState != SERVICE_STOPPED &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (status.dwCurrentState != SERVICE_STOPPED)
            std::cerr << "kestromd: the service did not stop; Windows removes it once it does\n";
    }
    if (!::DeleteService(service.get()) && ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return Failed("remove", ::GetLastError());
    std::cout << "kestromd: removed the service " << ServiceNameUtf8() << "\n";
    return 0;
}

int RunAsService(const CKestromCommandLineInfo& info) {
    gService.info = &info;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(ServiceNameW()), ServiceMain},
                                    {nullptr, nullptr}};
    // Returns once the service has reported itself stopped.
    if (!::StartServiceCtrlDispatcherW(table)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            std::cerr << "kestromd: --run-as-service is for the service manager alone; start "
                         "the service with: sc start "
                      << ServiceNameUtf8() << "\n";
            return 2;
        }
        std::cerr << "kestromd: cannot run as a service: " << SystemErrorText(code) << "\n";
        return 1;
    }
    return gService.exitStatus;
}

}  // namespace kestrom
