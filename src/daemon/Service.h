#pragma once
// kestromd as the Windows service "Kestrom". Each call writes its own messages (standard
// output and error for install and uninstall, the log file under the service manager) and
// returns the process's exit status. On Linux the .deb's systemd unit runs kestromd as a
// service instead, and these say so.
#include "app/CommandLine.h"

namespace kestrom {

// Registers the service with the server options of `info`: 0 when done; 1 when not
// elevated, already installed or refused otherwise.
int InstallService(const CKestromCommandLineInfo& info);
// Stops the service if it runs and removes it: 0 when done, 1 when not installed or refused.
int UninstallService();
// Runs the server under the service control dispatcher until the service manager stops it.
int RunAsService(const CKestromCommandLineInfo& info);

}  // namespace kestrom
