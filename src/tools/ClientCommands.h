#pragma once
// The commands of kestrom-client. Each command lives in its own cmd_<name>.cpp and registers
// itself with one line at namespace scope:
//
//     KESTROM_CLIENT_COMMAND(ping, "ping [fieldorvo|clerkorvo|wenlow|hywire]", RunPing);
//
// where RunPing is `int RunPing(kestrom::client::CClientSession&, const std::vector<std::string>&
// args)` returning the program's exit status. The session carries the connection options and
// the output helpers, so commands stay a few lines each.
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/ClientConnection.h"

namespace kestrom::client {

struct CClientOptions {
    std::string host = "127.0.0.1";
    int port = 1950;
    // As given with --char-mode, like the server's setting: any value but 0 is Unicode on
    // the wire, and an upload's checksum counts high bytes for 1 alone.
    int charMode = 0;
    std::chrono::milliseconds timeout = 5s;
    // The client's own end (dotted IPv4), to appear as another host, e.g. 127.0.0.2.
    std::string localAddress;

    WireMode Mode() const { return WireModeOf(charMode); }
};

class CClientSession {
  public:
    CClientSession(CClientOptions options, std::ostream& out, std::ostream& err)
        : options_(std::move(options)), out_(out), err_(err) {}

    const CClientOptions& Options() const { return options_; }
    std::ostream& Out() { return out_; }
    std::ostream& Err() { return err_; }

    // A new connection with the session's options; reports the failure on Err().
    std::unique_ptr<CClientConnection> Connect();
    // Connects, sends, reads one reply; reports failures on Err().
    std::optional<CReply> Request(std::u16string_view request);
    // Prints a reply as "CODE size" and the decoded payload (control characters escaped).
    void PrintReply(const CReply& reply);

  private:
    CClientOptions options_;
    std::ostream& out_;
    std::ostream& err_;
};

using ClientCommandFn = int (*)(CClientSession&, const std::vector<std::string>& args);

struct CClientCommand {
    const char* name;
    const char* usage;
    ClientCommandFn run;
};

// Registration happens during static initialisation; the table is read only afterwards.
bool RegisterClientCommand(const CClientCommand& command);
const std::vector<CClientCommand>& ClientCommands();

// Text with C-like escapes (\x01, \n, \\) and the names <SOH> <STX> <ETX> <EOT> into
// characters; used by the raw command and available to others.
std::u16string UnescapeRequestText(std::string_view text);
// Control characters and non-ASCII shown as <SOH>... and \uXXXX, for printing.
std::string EscapeForDisplay(std::u16string_view text);

}  // namespace kestrom::client

#define KESTROM_CLIENT_COMMAND(name, usage, fn)                                                  \
    namespace {                                                                                  \
    const bool registered_##name = ::kestrom::client::RegisterClientCommand({#name, usage, fn}); \
    }
