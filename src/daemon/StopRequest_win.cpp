#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "base/TextConvert.h"
#include "daemon/StopRequest.h"

namespace kestrom {

namespace {

// Manual-reset: once asked, a stop stays asked.
HANDLE gStop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
HANDLE gCompleted = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

// Runs on a thread of its own. Windows ends the process as soon as the handler returns from
// a close, logoff or shutdown event, so it returns only once the settings are saved (the
// system gives it about five seconds).
BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            ::SetEvent(gStop);
            ::WaitForSingleObject(gCompleted, 10000);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void PrepareStopRequests() {
    ::SetConsoleCtrlHandler(OnControl, TRUE);
}

void WaitForStopRequest() {
    ::WaitForSingleObject(gStop, INFINITE);
}

void RequestStop() {
    ::SetEvent(gStop);
}

void StopCompleted() {
    ::SetEvent(gCompleted);
}

std::vector<std::string> CommandLineArguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 1; i < count; ++i)
        args.push_back(ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    ::LocalFree(wide);
    return args;
}

int StandardOutputDescriptor() {
    return 1;
}

}  // namespace kestrom
