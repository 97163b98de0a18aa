// send-start-list FILE: sends a start list as a ClerkOrvo device would ("SLS") and prints the
// reply ("ROK" with the event file's new date stamp, or "NLS").
#include "tools/ClientCommands.h"
#include "tools/UploadFileText.h"

namespace {

using namespace kestrom;
using namespace kestrom::client;

int RunSendStartList(CClientSession& session, const std::vector<std::string>& args) {
    if (args.size() != 1) {
        session.Err() << "usage: kestrom-client send-start-list FILE\n";
        return 2;
    }
    const auto text = ReadUploadFileText(FromUtf8(args[0]), session.Err());
    if (!text) return 1;
    const auto reply = session.Request(BuildRequest(u"SLS", *text));
    if (!reply) return 1;
    session.PrintReply(*reply);
    return reply->code == u"ROK" ? 0 : 1;
}

const bool registered =
    RegisterClientCommand({"send-start-list", "send-start-list FILE", RunSendStartList});

}  // namespace
