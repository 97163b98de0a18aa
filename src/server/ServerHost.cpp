#include "server/ServerHost.h"

#include <filesystem>

#include "base/TextConvert.h"

namespace kestrom {

namespace {
constexpr std::string_view kAccessListFileName = "KestromMAC.dat";
}

CServerHost::CServerHost(CKestromServer& server, CKestromCommandLineInfo commandLine)
    : commandLine_(std::move(commandLine)),
      configDir_(commandLine_.configDir.value_or(DefaultConfigDir())),
      guard_(std::string(kKestromInstanceName)),
      server_(server) {}

CServerHost::CServerHost(CKestromServer& server, CKestromCommandLineInfo commandLine,
                         std::string runtimeDir)
    : commandLine_(std::move(commandLine)),
      configDir_(commandLine_.configDir.value_or(DefaultConfigDir())),
      guard_(std::string(kKestromInstanceName), std::move(runtimeDir)),
      server_(server) {}

bool CServerHost::PreviousInstanceRunning() {
    return guard_.PreviousInstanceRunning();
}

bool CServerHost::ActivatePreviousInstance() {
    return guard_.ActivatePreviousInstance();
}

std::string CServerHost::SettingsPath() const {
    return configDir_ + "/" + std::string(kSettingsFileName);
}

std::string CServerHost::AccessListPath() const {
    return configDir_ + "/" + std::string(kAccessListFileName);
}

CHostPreparation CServerHost::Prepare() {
    CHostPreparation found;
    std::error_code ec;
    std::filesystem::create_directories(configDir_, ec);
    found.configFolderUnusable = !std::filesystem::is_directory(configDir_, ec);

    // The access list comes before the settings, as it always has.
    server_.AccessList().SetStoragePath(FromUtf8(AccessListPath()));
    if (CStatus accessList = LoadAccessList(server_.AccessList()); !accessList)
        found.accessListProblem = std::move(accessList);

    CSettingsStore store(SettingsPath());
    CKestromSettings settings = server_.Settings().Get();
    store.Load(settings, commandLine_.initStartListDirectory, commandLine_.initResultsDirectory);
    found.settingsKeyUnavailable = store.KeyUnavailable();
    settingsLoaded_ = !store.KeyUnavailable();
    ApplyOverrides(settings, commandLine_);
    server_.Settings().Set(settings);
    return found;
}

bool CServerHost::Register(std::function<void()> activate) {
    return guard_.TrackFirstInstance(std::move(activate));
}

bool CServerHost::StartListening() {
    return server_.StartListening();
}

void CServerHost::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (settingsLoaded_) CSettingsStore(SettingsPath()).Save(server_.Settings().Get());
    server_.StopListening();
}

}  // namespace kestrom
