#include "server/ServerHost.h"

#include <filesystem>
#include <random>

#include "base/Path.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {
constexpr std::string_view kAccessListFileName = "KestromMAC.dat";
}

std::u16string NewConsoleToken() {
    // std::random_device reads the system's source: getrandom on Linux, the CNG RNG on
    // Windows.
    std::random_device source;
    constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string token;
    for (int i = 0; i < 4; ++i) {
        std::uint64_t word = (static_cast<std::uint64_t>(source()) << 32) | source();
        for (int d = 0; d < 8; ++d, word >>= 4) token += kDigits[word & 15];
    }
    return token;
}

CServerHost::CServerHost(CKestromServer& server, CKestromCommandLineInfo commandLine)
    : commandLine_(std::move(commandLine)),
      configDir_(commandLine_.configDir.value_or(DefaultConfigDir())),
#ifdef _WIN32
      // Windows: one instance per user session, and one per folder given with --config-dir.
      guard_(std::string(kKestromInstanceName), commandLine_.configDir.value_or(std::string())),
#else
      guard_(std::string(kKestromInstanceName)),
#endif
      server_(server) {
}

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
#ifdef _WIN32
    // Windows keeps the settings in the registry; --config-dir selects the portable file.
    if (!commandLine_.configDir) return {};
#endif
    return configDir_ + "/" + std::string(kSettingsFileName);
}

std::string CServerHost::AccessListPath() const {
    return configDir_ + "/" + std::string(kAccessListFileName);
}

CHostPreparation CServerHost::Prepare() {
    CHostPreparation found;
    std::error_code ec;
    std::filesystem::create_directories(FsPath(configDir_), ec);
    found.configFolderUnusable = !std::filesystem::is_directory(FsPath(configDir_), ec);

    // The access list comes before the settings, as it always has.
    server_.AccessList().SetStoragePath(FromUtf8(AccessListPath()));
    if (CStatus accessList = LoadAccessList(server_.AccessList()); !accessList)
        found.accessListProblem = std::move(accessList);

    CSettingsStore store(SettingsPath());
    CKestromSettings settings = server_.Settings().Get();
    store.Load(settings, commandLine_.initStartListDirectory, commandLine_.initResultsDirectory);
    found.settingsKeyUnavailable = store.KeyUnavailable();
    settingsLoaded_ = !store.KeyUnavailable();
    if (settings.ConsoleToken.empty() || commandLine_.newConsoleToken) {
        settings.ConsoleToken = NewConsoleToken();
        // The token alone is stored at once (the overrides wait for the shutdown): a browser
        // given it keeps it across a crash of this run.
        if (settingsLoaded_) store.Save(settings);
    }
    ApplyOverrides(settings, commandLine_);
    server_.Settings().Set(settings);
    return found;
}

bool CServerHost::Register(std::function<void()> activate) {
    return guard_.TrackFirstInstance(std::move(activate));
}

bool CServerHost::StartListening() {
    const bool listening = server_.StartListening();
    if (!servicesStarted_) {
        servicesStarted_ = true;
        for (CHostService* service : services_) service->Start();
    }
    return listening;
}

void CServerHost::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (servicesStarted_)
        for (auto it = services_.rbegin(); it != services_.rend(); ++it) (*it)->Stop();
    if (settingsLoaded_) CSettingsStore(SettingsPath()).Save(server_.Settings().Get());
    server_.StopListening();
}

}  // namespace kestrom
