// kestromd: the Kestrom server without a window.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "daemon/DaemonOperator.h"
#include "daemon/DaemonRun.h"
#include "daemon/Service.h"
#include "daemon/StopRequest.h"

using namespace kestrom;

int main(int argc, char** argv) {
    const CKestromCommandLineInfo info = ParseCommandLine(CommandLineArguments(argc, argv));
    if (!info.error.empty()) {
        std::cerr << "kestromd: " << info.error << "\n" << UsageText("kestromd");
        return 2;
    }
    if (info.help) {
        std::cout << UsageText("kestromd");
        return 0;
    }
    if (info.version) {
        std::cout << VersionText("kestromd");
        return 0;
    }
    if (info.installService && info.uninstallService) {
        std::cerr << "kestromd: --install-service and --uninstall-service exclude each other\n";
        return 2;
    }
    if (info.installService) return InstallService(info);
    if (info.uninstallService) return UninstallService();
    if (info.runAsService) return RunAsService(info);

    PrepareStopRequests();

    // Nothing goes through stdio's standard output from here on: log lines are written
    // straight to its descriptor.
    std::fflush(stdout);
    CDaemonOperator op(StandardOutputDescriptor());
    CDaemonRunHooks hooks;
    // Standard error, so that standard output stays the event log alone.
    hooks.note = [](std::string_view line) { std::cerr << line << "\n" << std::flush; };
    hooks.beep = [] { std::cerr << '\a' << std::flush; };
    hooks.waitForStop = WaitForStopRequest;
    const int status = RunDaemon(info, op, hooks);
    op.FlushLog();
    if (status == 0) StopCompleted();
    return status;
}
