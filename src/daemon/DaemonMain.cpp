// kestromd: the Kestrom server without a window.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "base/TextConvert.h"
#if KESTROM_HAS_CONSOLE
#include "console/ConsoleServer.h"
#endif
#include "daemon/DaemonOperator.h"
#include "daemon/StartUpLine.h"
#include "daemon/StopRequest.h"
#include "security/SecurityNotice.h"
#include "server/ServerHost.h"

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

    PrepareStopRequests();

    // Nothing goes through stdio's standard output from here on: log lines are written
    // straight to its descriptor.
    std::fflush(stdout);
    CDaemonOperator op(StandardOutputDescriptor());
    CKestromServer server(op);
    op.SetSettings(&server.Settings());
    CServerHost host(server, info);
#if KESTROM_HAS_CONSOLE
    // No window asks the operator here: prompts for unknown clients go to the console.
    CConsoleOptions consoleOptions;
    consoleOptions.answersPrompts = true;
    CConsoleServer console(server, consoleOptions);
    host.AddService(console);
#endif
    if (host.PreviousInstanceRunning()) {
        std::cerr << kPreviousInstanceMessage << "\n";
        host.ActivatePreviousInstance();
        return 1;
    }

    const CHostPreparation prepared = host.Prepare();
    if (prepared.configFolderUnusable) {
        std::cerr << "kestromd: cannot use the config folder " << host.ConfigDir() << "\n";
        return 1;
    }
    if (prepared.accessListProblem)
        std::cerr << ToUtf8(prepared.accessListProblem->Detail()) << "\n";
    if (prepared.settingsKeyUnavailable) std::cerr << '\a' << std::flush;

    op.SetLogBacklog(host.Server().Settings().Get().LogBacklogLines);

    if (!host.Register([] {})) {
        // Another start won the race between the check above and now.
        std::cerr << kPreviousInstanceMessage << "\n";
        return 1;
    }

    const bool listening = host.StartListening();
    // Standard error, so that standard output stays the event log alone.
    const CKestromSettings running = host.Server().Settings().Get();
    const int port = listening ? host.Server().ListeningPort() : running.PortNumber;
    std::cerr << StartUpLine(running, port, listening) << "\n";
    if (const std::string warning =
            OpenAccessWarning(running, ReachableFromOtherHosts(InterfaceAddresses()), port);
        listening && !warning.empty())
        std::cerr << "kestromd: " << warning << "\n";
    std::cerr << std::flush;

    WaitForStopRequest();

    host.Shutdown();
    std::fflush(stdout);
    StopCompleted();
    return 0;
}
