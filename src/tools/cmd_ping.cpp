// ping [fieldorvo|clerkorvo|wenlow|hywire]: the version reply of a product's ping.
#include "tools/ClientCommands.h"

namespace {

using namespace kestrom;
using namespace kestrom::client;

int RunPing(CClientSession& session, const std::vector<std::string>& args) {
    const std::string product = args.empty() ? "fieldorvo" : args[0];
    std::u16string code;
    if (product == "fieldorvo")
        code = u"HFL";
    else if (product == "clerkorvo")
        code = u"HCL";
    else if (product == "wenlow")
        code = u"HAL";
    else if (product == "hywire")
        code = u"HHW";
    else {
        session.Err() << "kestrom-client: unknown product " << product << "\n";
        return 2;
    }
    const auto reply = session.Request(BuildRequest(code));
    if (!reply) return 1;
    // The version text of a single-byte FieldOrvo/ClerkOrvo ping arrives scrambled (+71).
    const std::u16string version = session.Options().Mode() == WireMode::kSingleByte
                                       ? Unscramble(reply->payload)
                                       : reply->payload;
    session.Out() << EscapeForDisplay(reply->code) << " " << reply->size;
    if (!version.empty()) session.Out() << " " << EscapeForDisplay(version);
    session.Out() << "\n";
    return reply->code == u"HMM" ? 0 : 1;
}

}  // namespace

KESTROM_CLIENT_COMMAND(ping, "ping [fieldorvo|clerkorvo|wenlow|hywire]", RunPing)
