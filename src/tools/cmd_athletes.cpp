// athletes [STAMP] [SELECTION]: the athlete list of a ClerkOrvo device ("PRQ"). STAMP is the
// date stamp of the copy the device holds (HHMMSSDDMMYYYY; the default asks for any file);
// SELECTION picks the athletes whose number list holds it (default: everyone).
#include <ostream>

#include "base/TextConvert.h"
#include "tools/ClientCommands.h"

namespace {

using namespace kestrom;
using namespace kestrom::client;

constexpr const char* kAnyCopy = "00000001011970";

int RunAthletes(CClientSession& session, const std::vector<std::string>& args) {
    if (args.size() > 2) {
        session.Err() << "usage: kestrom-client athletes [STAMP] [SELECTION]\n";
        return 2;
    }
    std::string payload = args.empty() ? kAnyCopy : args[0];
    if (args.size() == 2) payload += "," + args[1];
    const auto reply = session.Request(BuildRequest(u"PRQ", FromUtf8(payload)));
    if (!reply) return 1;
    std::ostream& out = session.Out();
    out << EscapeForDisplay(reply->code) << " " << reply->size << "\n";
    if (reply->code != u"PRP") return 1;
    if (reply->payload.empty()) {
        out << "(not newer than the copy of " << payload.substr(0, 14) << ")\n";
        return 0;
    }
    const std::u16string_view text = reply->payload;
    const size_t comma = text.find(u',');
    out << "people file of " << EscapeForDisplay(text.substr(0, comma)) << "\n";
    int count = 0;
    for (size_t start = comma == std::u16string_view::npos ? text.size() : comma + 1;
         start < text.size();) {
        size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos) end = text.size();
        out << "  " << EscapeForDisplay(text.substr(start, end - start)) << "\n";
        ++count;
        start = end + 2;
    }
    out << count << (count == 1 ? " athlete\n" : " athletes\n");
    return 0;
}

}  // namespace

KESTROM_CLIENT_COMMAND(athletes, "athletes [STAMP] [SELECTION]", RunAthletes)
