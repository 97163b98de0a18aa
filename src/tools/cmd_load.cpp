// load [-c N] [-t THREADS] [-d SECONDS] [-n COUNT] [--hold SECONDS] REQUEST...: N connections each
// sending the mix of requests one after another; prints requests per second, p50/p99 latency and
// errors, and a RESULT line for scripts. THREADS client threads (default 2) share the
// connections. With --hold the connections are opened, serve one
// request each and then stay idle for the time given (for memory measurements).
#include <cstdlib>
#include <iostream>

#include "base/TextConvert.h"
#include "tools/ClientCommands.h"
#include "tools/LoadRunner.h"

namespace {

using namespace kestrom::client;

constexpr int kMaxConnections = 5000;
constexpr double kMaxSeconds = 600;

constexpr const char* kUsage =
    "load [-c CONNECTIONS] [-t THREADS] [-d SECONDS] [-n COUNT] [--hold SECONDS] REQUEST...\n"
    "      REQUEST: [W*]ping[:PRODUCT] | rfq:E,R,H[,+] | rrq:E,R,H | rhq:E,R,H |\n"
    "               irq:E,R,H[,STAMP] | drq:PAYLOAD | dhq:PAYLOAD | sls:@FILE | srq:E,R,H[,+]\n"
    "               rff:@FILE | req:CODE[:PAYLOAD]";

bool ParseNumber(const std::string& text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

int RunLoad(CClientSession& session, const std::vector<std::string>& args) {
    CLoadOptions options;
    options.host = session.Options().host;
    options.port = session.Options().port;
    options.charMode = session.Options().charMode;
    options.timeout = session.Options().timeout;
    bool holdMode = false;
    std::vector<CLoadRequest> mix;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        double v = 0;
        if ((a == "-c" || a == "--connections") && hasValue &&
            ParseNumber(args[i + 1], 1, kMaxConnections, v)) {
            options.connections = static_cast<int>(v);
            ++i;
        } else if ((a == "-t" || a == "--threads") && hasValue &&
                   ParseNumber(args[i + 1], 1, 64, v)) {
            options.threads = static_cast<int>(v);
            ++i;
        } else if ((a == "-d" || a == "--duration") && hasValue &&
                   ParseNumber(args[i + 1], 0.1, kMaxSeconds, v)) {
            options.duration = std::chrono::milliseconds(static_cast<long>(v * 1000));
            ++i;
        } else if ((a == "-n" || a == "--count") && hasValue &&
                   ParseNumber(args[i + 1], 1, 1e12, v)) {
            options.count = static_cast<std::uint64_t>(v);
            ++i;
        } else if (a == "--hold" && hasValue && ParseNumber(args[i + 1], 0, kMaxSeconds, v)) {
            options.hold = std::chrono::milliseconds(static_cast<long>(v * 1000));
            holdMode = true;
            ++i;
        } else if (!a.empty() && a[0] == '-') {
            session.Err() << "kestrom-client: bad load option " << a << "\nusage: " << kUsage
                          << "\n";
            return 2;
        } else {
            auto request = ParseLoadRequest(a, options.charMode);
            if (!request) {
                session.Err() << "kestrom-client: " << kestrom::ToUtf8(request.Status().Detail())
                              << "\n";
                return 2;
            }
            mix.push_back(std::move(*request));
        }
    }
    if (mix.empty() && !holdMode) {
        session.Err() << "usage: kestrom-client " << kUsage << "\n";
        return 2;
    }
    CLoadRunner runner(options, std::move(mix));
    CLoadReport report;
    if (holdMode) {
        report = runner.Hold([&](int open) {
            // Scripts wait for this line before they measure.
            session.Out() << "HOLDING connections=" << open << std::endl;
        });
    } else {
        report = runner.Run();
    }
    PrintLoadReport(session.Out(), report, options);
    return report.errors == 0 && report.connections == options.connections ? 0 : 1;
}

}  // namespace

KESTROM_CLIENT_COMMAND(load, kUsage, RunLoad)
