// kestromd: the Kestrom server without a window.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/InstanceChecker.h"
#include "app/SettingsStore.h"
#include "base/TextConvert.h"
#include "daemon/DaemonOperator.h"
#include "daemon/StartUpLine.h"
#include "security/AccessListStorage.h"
#include "security/SecurityNotice.h"
#include "server/Server.h"

using namespace kestrom;

namespace {

// SIGTERM and SIGINT are taken by sigwait in main; blocked before any thread starts so that
// every thread inherits the mask and none is interrupted by them.
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

int main(int argc, char** argv) {
    const CKestromCommandLineInfo info =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
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

    const sigset_t stopSignals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    CInstanceChecker guard{std::string(kKestromInstanceName)};
    if (guard.PreviousInstanceRunning()) {
        std::cerr << kPreviousInstanceMessage << "\n";
        guard.ActivatePreviousInstance();
        return 1;
    }

    // Command-line paths are already absolute; from here on the config folder is the
    // working directory, where the settings and the access list's storage file live.
    const std::string configDir = info.configDir.value_or(DefaultConfigDir());
    std::error_code ec;
    std::filesystem::create_directories(configDir, ec);
    if (::chdir(configDir.c_str()) != 0) {
        std::cerr << "kestromd: cannot use the config folder " << configDir << "\n";
        return 1;
    }

    // Nothing goes through stdio's standard output from here on: log lines are written
    // straight to its descriptor.
    std::fflush(stdout);
    CDaemonOperator op(STDOUT_FILENO);
    CKestromServer server(op);
    op.SetSettings(&server.Settings());

    // ---- Access control list: loaded here, before the settings (start-up step 5). ----
    const CStorageOutcome accessList = LoadAccessList(server.AccessList());
    if (accessList != CStorageOutcome::Ok)
        std::cerr << ToUtf8(StorageOutcomeText(accessList)) << "\n";

    CSettingsStore store{std::string(kSettingsFileName)};
    CKestromSettings settings = server.Settings().Get();
    store.Load(settings, info.initStartListDirectory, info.initResultsDirectory);
    if (store.KeyUnavailable()) std::cerr << '\a' << std::flush;
    ApplyOverrides(settings, info);
    server.Settings().Set(settings);
    op.SetLogBacklog(settings.LogBacklogLines);

    if (!guard.TrackFirstInstance([] {})) {
        // Another start won the race between the check above and now.
        std::cerr << kPreviousInstanceMessage << "\n";
        return 1;
    }

    const bool listening = server.StartListening();
    // Standard error, so that standard output stays the event log alone.
    const CKestromSettings running = server.Settings().Get();
    const int port = listening ? server.ListeningPort() : running.PortNumber;
    std::cerr << StartUpLine(running, port, listening) << "\n";
    if (const std::string warning =
            OpenAccessWarning(running, ReachableFromOtherHosts(InterfaceAddresses()), port);
        listening && !warning.empty())
        std::cerr << "kestromd: " << warning << "\n";
    std::cerr << std::flush;

    int signalNumber = 0;
    while (sigwait(&stopSignals, &signalNumber) != 0) {
    }

    store.Save(server.Settings().Get());
    server.StopListening();
    std::fflush(stdout);
    return 0;
}
