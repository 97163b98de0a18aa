// kestrom.exe: the desktop program on Windows.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/InstanceChecker.h"
#include "base/TextConvert.h"
#include "server/ServerHost.h"
#include "win32/MainWindow.h"
#include "window/WindowTexts.h"

using namespace kestrom;

namespace {

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(ToUtf8(std::u16string(arg.begin(), arg.end())));
    }
    LocalFree(argv);
    return args;
}

void ShowBox(UINT icon, std::string_view text) {
    const std::u16string wide = FromUtf8(text);
    const std::wstring shown(wide.begin(), wide.end());
    const std::u16string title(texts::kMessageBoxTitle);
    MessageBoxW(nullptr, shown.c_str(), std::wstring(title.begin(), title.end()).c_str(),
                MB_OK | icon);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const CKestromCommandLineInfo commandLine = ParseCommandLine(Arguments());
    // A program without a console answers --help and its errors in a box.
    if (!commandLine.error.empty()) {
        ShowBox(MB_ICONERROR, commandLine.error + "\n" + UsageText("kestrom"));
        return 2;
    }
    if (commandLine.help || commandLine.version) {
        ShowBox(MB_ICONINFORMATION,
                commandLine.help ? UsageText("kestrom") : VersionText("kestrom"));
        return 0;
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES |
                                                                          ICC_STANDARD_CLASSES |
                                                                          ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    CMainWindow window;
    CServerHost host(window.Server(), commandLine);
    if (host.PreviousInstanceRunning()) {
        ShowBox(MB_ICONINFORMATION, kPreviousInstanceMessage);
        host.ActivatePreviousInstance();
        return 1;
    }
    const CHostPreparation prepared = host.Prepare();
    if (prepared.accessListProblem)
        ShowBox(MB_ICONWARNING, ToUtf8(prepared.accessListProblem->Detail()));
    if (prepared.settingsKeyUnavailable) MessageBeep(MB_ICONWARNING);

    if (!window.Create(instance)) return 1;
    if (!window.Initialise(host) && host.PreviousInstanceRunning()) {
        // Another start won the race between the check above and the registration.
        ShowBox(MB_ICONINFORMATION, kPreviousInstanceMessage);
        host.ActivatePreviousInstance();
        return 1;
    }
    window.Show(commandLine.startMinimized);
    const int status = window.Run();
    CoUninitialize();
    return status;
}
