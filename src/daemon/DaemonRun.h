#pragma once
// One run of the server as kestromd does it, from the console or under the Windows service
// manager: the same host, the same start-up and the same shutdown.
#include <functional>
#include <string_view>

#include "app/CommandLine.h"
#include "daemon/DaemonOperator.h"

namespace kestrom {

struct CDaemonRunHooks {
    // kestromd's own lines (the start-up line, warnings, problems): standard error from a
    // console, the log file under the service manager.
    std::function<void(std::string_view)> note;
    // The settings could not be stored: a console beeps.
    std::function<void()> beep;
    // The server listens (or failed to, which is an event-log line) and serves.
    std::function<void()> running;
    // Returns once the run is to end.
    std::function<void()> waitForStop;
};

// Runs the server until hooks.waitForStop returns, then saves the settings and stops it.
// Returns the exit status: 0 after a stop, 1 when it could not start (another instance runs,
// the config folder is unusable).
int RunDaemon(const CKestromCommandLineInfo& info, CDaemonOperator& op,
              const CDaemonRunHooks& hooks);

}  // namespace kestrom
