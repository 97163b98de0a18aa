// status [--console-port N] [--token T]: the console's device board, one tab-separated line
// per device under a header, for scripts. Read from the console's JSON over HTTP.
#include <httplib.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/ClientCommands.h"

namespace {

using namespace kestrom::client;

using Fields = std::map<std::string, std::string>;

// The objects of the "devices" array, each as its fields' texts. The console writes flat
// objects of strings, numbers and booleans, which is all this reads.
std::optional<std::vector<Fields>> ParseDevices(const std::string& json) {
    const size_t start = json.find("\"devices\":[");
    if (start == std::string::npos) return std::nullopt;
    std::vector<Fields> devices;
    size_t i = start + 11;
    auto readString = [&](std::string& out) {
        if (i >= json.size() || json[i] != '"') return false;
        for (++i; i < json.size() && json[i] != '"'; ++i) {
            if (json[i] != '\\') {
                out += json[i];
                continue;
            }
            if (++i >= json.size()) return false;
            if (json[i] == 'u' && i + 4 < json.size()) {
                out += static_cast<char>(std::stoi(json.substr(i + 1, 4), nullptr, 16));
                i += 4;
            } else {
                out += json[i];
            }
        }
        return i++ < json.size();
    };
    while (i < json.size() && json[i] == '{') {
        Fields fields;
        ++i;
        while (i < json.size() && json[i] != '}') {
            std::string key, value;
            if (!readString(key) || i >= json.size() || json[i++] != ':') return std::nullopt;
            if (i < json.size() && json[i] == '"') {
                if (!readString(value)) return std::nullopt;
            } else {
                while (i < json.size() && json[i] != ',' && json[i] != '}') value += json[i++];
            }
            fields[key] = value;
            if (i < json.size() && json[i] == ',') ++i;
        }
        devices.push_back(std::move(fields));
        if (++i < json.size() && json[i] == ',') ++i;
    }
    return devices;
}

int RunStatus(CClientSession& session, const std::vector<std::string>& args) {
    int port = 1951;
    std::string token;
    for (size_t a = 0; a < args.size(); ++a) {
        if (args[a] == "--console-port" && a + 1 < args.size())
            port = std::atoi(args[++a].c_str());
        else if (args[a] == "--token" && a + 1 < args.size())
            token = args[++a];
        else {
            session.Err() << "kestrom-client: status [--console-port N] [--token T]\n";
            return 2;
        }
    }
    httplib::Client http(session.Options().host, port);
    const auto ms = session.Options().timeout.count();
    http.set_connection_timeout(ms / 1000, (ms % 1000) * 1000);
    http.set_read_timeout(ms / 1000, (ms % 1000) * 1000);
    httplib::Headers headers;
    if (!token.empty()) headers.emplace("Cookie", "kestrom_console=" + token);
    const auto res = http.Get("/api/devices", headers);
    if (!res) {
        session.Err() << "kestrom-client: no console at " << session.Options().host << ":" << port
                      << "\n";
        return 1;
    }
    if (res->status != 200) {
        session.Err() << "kestrom-client: the console answered " << res->status
                      << (res->status == 403 ? " (give its token with --token)" : "") << "\n";
        return 1;
    }
    const auto devices = ParseDevices(res->body);
    if (!devices) {
        session.Err() << "kestrom-client: the console's answer is not a device board\n";
        return 1;
    }
    const char* columns[] = {"product",  "ip",      "mac",      "first", "last",
                             "requests", "uploads", "refusals", "stale"};
    for (size_t c = 0; c < std::size(columns); ++c) session.Out() << (c ? "\t" : "") << columns[c];
    session.Out() << "\n";
    for (const Fields& device : *devices) {
        for (size_t c = 0; c < std::size(columns); ++c) {
            const auto it = device.find(columns[c]);
            session.Out() << (c ? "\t" : "") << (it == device.end() ? "" : it->second);
        }
        session.Out() << "\n";
    }
    return 0;
}

}  // namespace

KESTROM_CLIENT_COMMAND(status, "status [--console-port N] [--token T]", RunStatus)
