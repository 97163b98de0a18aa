// kestrom-client: diagnostics and load client for a Kestrom server.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/ClientCommands.h"

namespace {

using kestrom::client::ClientCommands;

void PrintUsage(std::ostream& out) {
    out << "Usage: kestrom-client [--host H] [--port N] [--char-mode M] [--timeout MS] "
           "[--local-address A] COMMAND [ARGS...]\n\nCommands:\n";
    for (const auto& command : ClientCommands()) out << "  " << command.usage << "\n";
}

bool ParseInt(const std::string& text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    kestrom::client::CClientOptions options;
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            PrintUsage(std::cout);
            return 0;
        }
        if (a.rfind("--", 0) != 0) break;
        if (i + 1 >= args.size()) {
            std::cerr << "kestrom-client: " << a << " needs a value\n";
            return 2;
        }
        const std::string& v = args[++i];
        int n = 0;
        if (a == "--host") {
            options.host = v;
        } else if (a == "--port" && ParseInt(v, n) && n > 0 && n < 65536) {
            options.port = n;
        } else if (a == "--char-mode" && ParseInt(v, n)) {
            options.charMode = n;
        } else if (a == "--local-address") {
            options.localAddress = v;
        } else if (a == "--timeout" && ParseInt(v, n) && n > 0) {
            options.timeout = std::chrono::milliseconds(n);
        } else {
            std::cerr << "kestrom-client: bad option " << a << " " << v << "\n";
            return 2;
        }
    }
    if (i >= args.size()) {
        PrintUsage(std::cerr);
        return 2;
    }
    const std::string name = args[i];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    for (const auto& command : ClientCommands()) {
        if (name == command.name) {
            kestrom::client::CClientSession session(options, std::cout, std::cerr);
            return command.run(session, rest);
        }
    }
    std::cerr << "kestrom-client: unknown command " << name << "\n";
    PrintUsage(std::cerr);
    return 2;
}
