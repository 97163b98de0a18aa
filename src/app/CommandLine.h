#pragma once
// The program's command line: the switches of the original program and the GNU-style
// options of the Linux front ends.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Settings.h"

namespace kestrom {

struct CKestromCommandLineInfo {
    bool startMinimized = false;
    bool useHyWire = false;
    std::optional<std::u16string> initStartListDirectory;
    std::optional<std::u16string> initResultsDirectory;

    // GNU-style overrides for this run (saved at shutdown like edits in the window).
    std::optional<std::string> configDir;  // absolute after parsing
    std::optional<int> port;
    std::optional<std::u16string> eventDir;
    std::optional<std::u16string> resultsDir;
    std::optional<int> charMode;
    std::optional<int> maxConnections;
    std::optional<int> maxConnectionsPerAddress;
    std::optional<int> consolePort;  // 0 turns the console off
    std::optional<std::u16string> consoleAddress;
    bool newConsoleToken = false;
    // Windows: register kestromd as the service "Kestrom" with the other options, or remove
    // it; the service manager starts it with runAsService, under its control dispatcher.
    bool installService = false;
    bool uninstallService = false;
    bool runAsService = false;
    bool help = false;
    bool version = false;
    std::string error;  // non-empty when an option was malformed
};

// Parses argv[1..]. Paths given to the GNU-style options, and non-empty first-run folders,
// are made absolute here, before the program changes into its config folder. Unknown
// arguments are ignored; the first malformed option value stops parsing and sets `error`.
CKestromCommandLineInfo ParseCommandLine(const std::vector<std::string>& args);

// Applies --port, --event-dir, --results-dir and --char-mode to the loaded settings.
void ApplyOverrides(CKestromSettings& settings, const CKestromCommandLineInfo& info);

// The --help text of both front ends, ending in a line break.
std::string UsageText(std::string_view programName);
// The --version line of both front ends, ending in a line break.
std::string VersionText(std::string_view programName);

// The largest port the operator can choose in the main window; --port keeps to it too.
inline constexpr int kMaxPortNumber = 32767;

}  // namespace kestrom
