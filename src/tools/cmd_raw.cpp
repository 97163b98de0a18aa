// raw TEXT: sends TEXT (escapes \xNN, <SOH> <STX> <ETX> <EOT>) and prints one reply record.
#include "tools/ClientCommands.h"

namespace {

using namespace kestrom::client;

int RunRaw(CClientSession& session, const std::vector<std::string>& args) {
    if (args.size() != 1) {
        session.Err() << "usage: kestrom-client raw TEXT\n";
        return 2;
    }
    const auto reply = session.Request(UnescapeRequestText(args[0]));
    if (!reply) return 1;
    session.PrintReply(*reply);
    return 0;
}

}  // namespace

KESTROM_CLIENT_COMMAND(raw, "raw TEXT   (escapes: \\xNN, <SOH> <STX> <ETX> <EOT>)", RunRaw)
