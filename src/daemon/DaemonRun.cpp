#include "daemon/DaemonRun.h"

#include <string>

#include "base/TextConvert.h"
#if KESTROM_HAS_CONSOLE
#include "console/ConsoleServer.h"
#endif
#include "daemon/StartUpLine.h"
#include "security/SecurityNotice.h"
#include "server/ServerHost.h"

namespace kestrom {

int RunDaemon(const CKestromCommandLineInfo& info, CDaemonOperator& op,
              const CDaemonRunHooks& hooks) {
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
        hooks.note(kPreviousInstanceMessage);
        host.ActivatePreviousInstance();
        return 1;
    }

    const CHostPreparation prepared = host.Prepare();
    if (prepared.configFolderUnusable) {
        hooks.note("kestromd: cannot use the config folder " + host.ConfigDir());
        return 1;
    }
    if (prepared.accessListProblem) hooks.note(ToUtf8(prepared.accessListProblem->Detail()));
    if (prepared.settingsKeyUnavailable && hooks.beep) hooks.beep();

    op.SetLogBacklog(host.Server().Settings().Get().LogBacklogLines);

    if (!host.Register([] {})) {
        // Another start won the race between the check above and now.
        hooks.note(kPreviousInstanceMessage);
        return 1;
    }

    const bool listening = host.StartListening();
    const CKestromSettings running = host.Server().Settings().Get();
    const int port = listening ? host.Server().ListeningPort() : running.PortNumber;
    hooks.note(StartUpLine(running, port, listening));
    if (const std::string warning =
            OpenAccessWarning(running, ReachableFromOtherHosts(InterfaceAddresses()), port);
        listening && !warning.empty())
        hooks.note("kestromd: " + warning);
    if (hooks.running) hooks.running();

    hooks.waitForStop();

    host.Shutdown();
    return 0;
}

}  // namespace kestrom
