#pragma once
// The command line the Windows service manager starts kestromd with: the program, the switch
// that puts it under the service control dispatcher, and the server options given to
// --install-service, each quoted so that Windows splits the line back into the same
// arguments.
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"

namespace kestrom {

// The name the service manager knows kestromd by.
inline constexpr std::u16string_view kServiceName = u"Kestrom";

// "--run-as-service" and the server options of `info`, in UTF-8, with its (already absolute)
// folders; the service starts in the system folder, so relative ones would point there.
// Install, uninstall, help, version and --new-console-token are left out: the first three
// would not run the server, and a new token on every start would lock out every browser.
std::vector<std::string> ServiceArguments(const CKestromCommandLineInfo& info);

// One argument as Windows' command-line splitter (CommandLineToArgvW, the C runtime) reads
// it back: bare when it has no blank, tab or quote and is not empty, else in quotes with
// the backslashes before a quote, or before the closing quote, doubled.
std::u16string QuoteWindowsArgument(std::u16string_view arg);

// The whole line: the program path in quotes (a program name takes no escapes, and an
// unquoted path with blanks would let Windows try "C:\Program" first), then the arguments.
std::u16string ServiceCommandLine(std::u16string_view program,
                                  const std::vector<std::string>& arguments);

}  // namespace kestrom
