#include "daemon/ServiceCommandLine.h"

#include "base/TextConvert.h"

namespace kestrom {

std::vector<std::string> ServiceArguments(const CKestromCommandLineInfo& info) {
    std::vector<std::string> args{"--run-as-service"};
    const auto add = [&](const char* option, const std::string& value) {
        args.emplace_back(option);
        args.push_back(value);
    };
    if (info.configDir) add("--config-dir", *info.configDir);
    if (info.port) add("--port", std::to_string(*info.port));
    if (info.eventDir) add("--event-dir", ToUtf8(*info.eventDir));
    if (info.resultsDir) add("--results-dir", ToUtf8(*info.resultsDir));
    if (info.charMode) add("--char-mode", std::to_string(*info.charMode));
    if (info.maxConnections) add("--max-connections", std::to_string(*info.maxConnections));
    if (info.maxConnectionsPerAddress)
        add("--max-connections-per-address", std::to_string(*info.maxConnectionsPerAddress));
    if (info.consolePort) add("--console-port", std::to_string(*info.consolePort));
    if (info.consoleAddress) add("--console-address", ToUtf8(*info.consoleAddress));
    // The switches keep their own form: one argument, the folder after the "=".
    if (info.initStartListDirectory)
        args.push_back("/initStartListDirectory=" + ToUtf8(*info.initStartListDirectory));
    if (info.initResultsDirectory)
        args.push_back("/initResultsDirectory=" + ToUtf8(*info.initResultsDirectory));
    if (info.useHyWire) args.emplace_back("/useHyWire");
    return args;
}

std::u16string QuoteWindowsArgument(std::u16string_view arg) {
    if (!arg.empty() && arg.find_first_of(u" \t\n\v\"") == std::u16string_view::npos)
        return std::u16string(arg);
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them: then each counts double and
        // one more escapes the quote.
        out.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, u'\\');  // before the closing quote
    out += u'"';
    return out;
}

std::u16string ServiceCommandLine(std::u16string_view program,
                                  const std::vector<std::string>& arguments) {
    std::u16string line = u"\"" + std::u16string(program) + u"\"";
    for (const std::string& arg : arguments) line += u" " + QuoteWindowsArgument(FromUtf8(arg));
    return line;
}

}  // namespace kestrom
