#pragma once
// Start-up and shutdown as every front end does them: the instance guard, the config folder
// with the settings and the access list's storage file, the command line's overrides, the
// listener; at the end the settings saved and every connection ended. Problems come back as
// values; each front end shows them its own way (standard error, a message box).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/InstanceChecker.h"
#include "app/SettingsStore.h"
#include "security/AccessListStorage.h"
#include "server/Server.h"

namespace kestrom {

// Something more that runs beside the listener for the whole run, whatever the front end:
// the browser console. Started after the listener, stopped before it.
class CHostService {
  public:
    virtual ~CHostService() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
};

// A new secret for the console: 32 hexadecimal digits from the system's random source.
std::u16string NewConsoleToken();

// What Prepare found; the run goes on whatever it holds.
struct CHostPreparation {
    // The config folder could be neither found nor created: nothing will be saved.
    bool configFolderUnusable = false;
    // The access list's storage file could not be read (the list holds what was read).
    std::optional<CStatus> accessListProblem;
    // The settings key could be neither opened nor created: defaults are used, nothing is
    // saved at shutdown, and the front end beeps.
    bool settingsKeyUnavailable = false;
};

class CServerHost {
  public:
    // The front end owns the server (it is the server's operator); the command line was
    // parsed by the front end, which has answered --help, --version and errors already.
    CServerHost(CKestromServer& server, CKestromCommandLineInfo commandLine);
    // An explicit runtime folder for the instance guard (tests).
    CServerHost(CKestromServer& server, CKestromCommandLineInfo commandLine,
                std::string runtimeDir);
    // Ends the listener without saving: a start that stops early saves nothing.
    ~CServerHost() = default;
    CServerHost(const CServerHost&) = delete;
    CServerHost& operator=(const CServerHost&) = delete;

    // True while another instance runs; the front end shows kPreviousInstanceMessage and
    // calls ActivatePreviousInstance.
    bool PreviousInstanceRunning();
    bool ActivatePreviousInstance();

    // Creates the config folder, loads the access list from it, then the settings, and
    // applies the command line's overrides.
    CHostPreparation Prepare();

    // Registers this process as the running instance; `activate` runs on a background
    // thread whenever a later start asks for this one. False when another start won the race
    // since PreviousInstanceRunning.
    bool Register(std::function<void()> activate);

    // Runs `service` from StartListening to Shutdown; it must outlive the host's run.
    void AddService(CHostService& service) { services_.push_back(&service); }

    // Starts the listener (a failure is an error line in the event log; see CKestromServer),
    // then the services.
    bool StartListening();

    // Saves the settings (unless the key was unavailable) and ends the listener and every
    // connection. Runs once; later calls do nothing.
    void Shutdown();

    CKestromServer& Server() { return server_; }
    const CKestromCommandLineInfo& CommandLine() const { return commandLine_; }
    const std::string& ConfigDir() const { return configDir_; }
    std::string SettingsPath() const;
    std::string AccessListPath() const;

  private:
    CKestromCommandLineInfo commandLine_;
    std::string configDir_;
    CInstanceChecker guard_;
    CKestromServer& server_;
    std::vector<CHostService*> services_;
    bool servicesStarted_ = false;
    bool settingsLoaded_ = false;
    bool shutDown_ = false;
};

}  // namespace kestrom
