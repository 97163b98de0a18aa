#include <signal.h>
#include <unistd.h>

#include "daemon/StopRequest.h"

namespace kestrom {

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

void PrepareStopRequests() {
    const sigset_t stopSignals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void WaitForStopRequest() {
    const sigset_t stopSignals = StopSignals();
    int signalNumber = 0;
    while (sigwait(&stopSignals, &signalNumber) != 0) {
    }
}

void RequestStop() {
    // Pending until sigwait takes it, whichever thread asks.
    ::kill(::getpid(), SIGTERM);
}

void StopCompleted() {}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

int StandardOutputDescriptor() {
    return STDOUT_FILENO;
}

}  // namespace kestrom
