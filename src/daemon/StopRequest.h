#pragma once
// How kestromd is told to stop: SIGTERM and SIGINT on Linux; on Windows the console control
// events (Ctrl+C, Ctrl+Break, console closed, logoff, shutdown) and a service stop.
#include <string>
#include <vector>

namespace kestrom {

// Before any thread starts: Linux blocks the stop signals (so every thread inherits the mask
// and none is interrupted by them) and ignores SIGPIPE; Windows installs the control handler.
void PrepareStopRequests();
// Returns once a stop has been asked for.
void WaitForStopRequest();
// Asks for the stop from inside the process (the Windows service's control handler).
void RequestStop();
// The settings are saved: a Windows control handler that waited for it may now return, after
// which the system may end the process.
void StopCompleted();

// The command line's arguments after the program name, in UTF-8 (Windows: from the wide
// command line, so that non-ASCII folder names survive).
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// The descriptor of standard output.
int StandardOutputDescriptor();

}  // namespace kestrom
