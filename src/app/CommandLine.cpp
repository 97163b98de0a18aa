#include "app/CommandLine.h"

#include <filesystem>
#include <system_error>

#include "base/Path.h"
#include "base/TextConvert.h"
#include "core/Version.h"

namespace kestrom {

namespace {

// "name=value" where the first name.size() characters equal the name (any case) and the next
// one is '='. Returns the value, possibly empty.
std::optional<std::string_view> DirectorySwitchValue(std::string_view sw, std::string_view name) {
    if (sw.size() <= name.size() || sw[name.size()] != '=') return std::nullopt;
    if (!EqualsNoCaseAscii(sw.substr(0, name.size()), name)) return std::nullopt;
    return sw.substr(name.size() + 1);
}

// Relative paths are taken against the current folder, which the program leaves for its
// config folder right after parsing.
std::string AbsolutePath(std::string_view path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(FsPath(path), ec);
    if (ec) return std::string(path);
    const std::u8string normal = p.lexically_normal().u8string();
    std::string out(normal.begin(), normal.end());
    while (out.size() > 1 && IsPathSeparator(static_cast<char16_t>(out.back()))) out.pop_back();
    return out;
}

void ParseSwitch(std::string_view sw, CKestromCommandLineInfo& info) {
    if (EqualsNoCaseAscii(sw, "startMinimized")) {
        info.startMinimized = true;
    } else if (EqualsNoCaseAscii(sw, "useHyWire")) {
        info.useHyWire = true;
    } else if (auto v = DirectorySwitchValue(sw, "initStartListDirectory")) {
        info.initStartListDirectory = FromUtf8(v->empty() ? *v : AbsolutePath(*v));
    } else if (auto v2 = DirectorySwitchValue(sw, "initResultsDirectory")) {
        info.initResultsDirectory = FromUtf8(v2->empty() ? *v2 : AbsolutePath(*v2));
    }
    // Anything else has no effect.
}

std::optional<int> StrictNumber(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

enum class Gnu {
    kNone,
    kConfigDir,
    kPort,
    kEventDir,
    kResultsDir,
    kCharMode,
    kMaxConnections,
    kMaxConnectionsPerAddress,
    kConsolePort,
    kConsoleAddress,
    kNewConsoleToken,
    kInstallService,
    kUninstallService,
    kRunAsService,
    kHelp,
    kVersion
};

Gnu GnuOption(std::string_view name) {
    if (name == "config-dir") return Gnu::kConfigDir;
    if (name == "port") return Gnu::kPort;
    if (name == "event-dir") return Gnu::kEventDir;
    if (name == "results-dir") return Gnu::kResultsDir;
    if (name == "char-mode") return Gnu::kCharMode;
    if (name == "max-connections") return Gnu::kMaxConnections;
    if (name == "max-connections-per-address") return Gnu::kMaxConnectionsPerAddress;
    if (name == "console-port") return Gnu::kConsolePort;
    if (name == "console-address") return Gnu::kConsoleAddress;
    if (name == "new-console-token") return Gnu::kNewConsoleToken;
    if (name == "install-service") return Gnu::kInstallService;
    if (name == "uninstall-service") return Gnu::kUninstallService;
    if (name == "run-as-service") return Gnu::kRunAsService;
    if (name == "help") return Gnu::kHelp;
    if (name == "version") return Gnu::kVersion;
    return Gnu::kNone;
}

// The field an option without a value sets, or null when the option takes one.
bool* FlagOption(Gnu option, CKestromCommandLineInfo& info) {
    switch (option) {
        case Gnu::kHelp:
            return &info.help;
        case Gnu::kVersion:
            return &info.version;
        case Gnu::kNewConsoleToken:
            return &info.newConsoleToken;
        case Gnu::kInstallService:
            return &info.installService;
        case Gnu::kUninstallService:
            return &info.uninstallService;
        case Gnu::kRunAsService:
            return &info.runAsService;
        default:
            return nullptr;
    }
}

// Applies one option with its value; returns the error text, empty when fine.
std::string ApplyGnuValue(Gnu option, std::string_view name, std::string_view value,
                          CKestromCommandLineInfo& info) {
    const std::string opt = "--" + std::string(name);
    switch (option) {
        case Gnu::kConfigDir:
        case Gnu::kEventDir:
        case Gnu::kResultsDir: {
            if (value.empty()) return "option '" + opt + "' needs a folder";
            std::string path = AbsolutePath(value);
            if (option == Gnu::kConfigDir) {
                info.configDir = path;
            } else if (option == Gnu::kEventDir) {
                info.eventDir = FromUtf8(path);
            } else {
                info.resultsDir = FromUtf8(path);
            }
            return {};
        }
        case Gnu::kPort: {
            auto port = StrictNumber(value);
            if (!port || *port < 1 || *port > kMaxPortNumber) {
                return "option '" + opt + "' needs a port number from 1 to " +
                       std::to_string(kMaxPortNumber) + ", not '" + std::string(value) + "'";
            }
            info.port = *port;
            return {};
        }
        case Gnu::kCharMode:
            if (value != "0" && value != "1") {
                return "option '" + opt + "' needs 0 or 1, not '" + std::string(value) + "'";
            }
            info.charMode = value == "1" ? 1 : 0;
            return {};
        case Gnu::kMaxConnections:
        case Gnu::kMaxConnectionsPerAddress: {
            auto n = StrictNumber(value);
            if (!n || *n < 1)
                return "option '" + opt + "' needs a number of 1 or more, not '" +
                       std::string(value) + "'";
            (option == Gnu::kMaxConnections ? info.maxConnections : info.maxConnectionsPerAddress) =
                *n;
            return {};
        }
        case Gnu::kConsolePort: {
            auto port = StrictNumber(value);
            if (!port || *port > 65535)
                return "option '" + opt + "' needs a port number from 0 (off) to 65535, not '" +
                       std::string(value) + "'";
            info.consolePort = *port;
            return {};
        }
        case Gnu::kConsoleAddress:
            if (value.empty()) return "option '" + opt + "' needs an address";
            info.consoleAddress = FromUtf8(value);
            return {};
        default:
            return {};
    }
}

}  // namespace

CKestromCommandLineInfo ParseCommandLine(const std::vector<std::string>& args) {
    CKestromCommandLineInfo info;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg.size() > 2 && arg.substr(0, 2) == "--") {
            std::string_view body = arg.substr(2);
            size_t eq = body.find('=');
            std::string_view name = body.substr(0, eq);
            Gnu option = GnuOption(name);
            if (option == Gnu::kNone) continue;  // unknown arguments have no effect
            if (bool* flag = FlagOption(option, info)) {
                if (eq != std::string_view::npos) {
                    info.error = "option '--" + std::string(name) + "' takes no value";
                    return info;
                }
                *flag = true;
                continue;
            }
            std::string_view value;
            if (eq != std::string_view::npos) {
                value = body.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                info.error = "option '--" + std::string(name) + "' needs a value";
                return info;
            }
            info.error = ApplyGnuValue(option, name, value, info);
            if (!info.error.empty()) return info;
            continue;
        }
        if (!arg.empty() && (arg[0] == '/' || arg[0] == '-')) ParseSwitch(arg.substr(1), info);
    }
    return info;
}

void ApplyOverrides(CKestromSettings& settings, const CKestromCommandLineInfo& info) {
    if (info.port) settings.PortNumber = *info.port;
    if (info.eventDir) settings.EventDirectory = *info.eventDir;
    if (info.resultsDir) settings.ResultsDirectory = *info.resultsDir;
    if (info.charMode) settings.CharMode = *info.charMode;
    if (info.maxConnections) settings.Limits.MaxConnections = *info.maxConnections;
    if (info.maxConnectionsPerAddress)
        settings.Limits.MaxConnectionsPerAddress = *info.maxConnectionsPerAddress;
    if (info.consolePort) settings.ConsolePort = *info.consolePort;
    if (info.consoleAddress) settings.ConsoleAddress = *info.consoleAddress;
}

std::string UsageText(std::string_view programName) {
    std::string p(programName);
    return "Usage: " + p +
           " [OPTION]...\n"
           "Serves the files of an athletics meet to field-event, clerk-of-course and results\n"
           "devices over TCP, and stores the results and start lists they send back.\n"
           "\n"
           "Options override the stored settings for this run and are saved at shutdown.\n"
           "  --config-dir DIR    folder of settings.reg and KestromMAC.dat\n"
           "                      (default $XDG_CONFIG_HOME/kestrom, else ~/.config/kestrom)\n"
           "  --port N            TCP port to listen on, 1 to " +
           std::to_string(kMaxPortNumber) +
           " (default 1950)\n"
           "  --event-dir DIR     folder of orvo.evt, hywire.evt and orvo.ppl\n"
           "  --results-dir DIR   folder of the results files and finish pictures\n"
           "  --char-mode 0|1     0: one byte per character on the wire, 8-bit files;\n"
           "                      1: two bytes per character, UTF-16 files\n"
           "  --max-connections N connections served at once (default 1500; fewer when\n"
           "                      the descriptor limit is lower)\n"
           "  --max-connections-per-address N\n"
           "                      connections from one device address (default 32;\n"
           "                      loopback is exempt)\n"
           "  --console-port N    port of the browser console (default 1951; 0: none)\n"
           "  --console-address ADDR\n"
           "                      address the console listens on (default 127.0.0.1;\n"
           "                      0.0.0.0 opens it to the meet network, with its token)\n"
           "  --new-console-token replace the console's secret token\n" +
           // Only the headless server runs as the service.
           (p == "kestromd"
                ? "  --install-service   Windows: register kestromd with the other options given\n"
                  "                      as the service Kestrom, started with Windows (run it\n"
                  "                      elevated); its log is kestromd.log in the --config-dir\n"
                  "                      folder, else in %ProgramData%\\Kestrom\n"
                  "  --uninstall-service Windows: stop the service Kestrom and remove it\n"
                : "") +
           "  /initStartListDirectory=DIR  event folder for the very first start\n"
           "  /initResultsDirectory=DIR    results folder for the very first start\n"
           "  /useHyWire          reduced operator menus\n"
           "  /startMinimized     start minimised\n"
           "  --help              show this text and exit\n"
           "  --version           show the version and exit\n"
           "\n"
           "Switches starting with / may also start with -, in any case.\n";
}

std::string VersionText(std::string_view programName) {
    return std::string(programName) + " (Kestrom) " + std::string(kKestromVersion) + "\n";
}

}  // namespace kestrom
