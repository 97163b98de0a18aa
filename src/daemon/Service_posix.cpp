#include <iostream>

#include "daemon/Service.h"

namespace kestrom {

namespace {

int WindowsOnly(const char* option) {
    std::cerr << "kestromd: " << option
              << " is for Windows; on Linux the systemd unit of the package runs kestromd as "
                 "a service\n";
    return 2;
}

}  // namespace

int InstallService(const CKestromCommandLineInfo&) {
    return WindowsOnly("--install-service");
}

int UninstallService() {
    return WindowsOnly("--uninstall-service");
}

int RunAsService(const CKestromCommandLineInfo&) {
    return WindowsOnly("--run-as-service");
}

}  // namespace kestrom
