#pragma once
// The program's command line: the switches of the original program and the GNU-style
// options of the Linux front ends.
#include <optional>
#include <string>
#include <vector>

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
    bool help = false;
    bool version = false;
    std::string error;  // non-empty when an option was malformed
};

// Parses argv[1..]. Paths given to the GNU-style options are made absolute here, before the
// program changes into its config folder.
CKestromCommandLineInfo ParseCommandLine(const std::vector<std::string>& args);

}  // namespace kestrom
