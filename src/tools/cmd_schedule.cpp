// schedule [EVENT ROUND HEAT]: the schedule of field events as a FieldOrvo device reads it
// ("SRQ"). Without a key it walks from 0,0,0 with the mark "+" and prints every field event's
// header line; with a key it prints that field event's header and start list. Payloads travel
// scrambled (+71) in single-byte mode.
#include <ostream>

#include "base/TextConvert.h"
#include "tools/ClientCommands.h"

namespace {

using namespace kestrom;
using namespace kestrom::client;

// A walk longer than this is taken as a loop (a key that occurs twice answers itself).
constexpr int kMaxWalkSteps = 10000;

// Sends one schedule request on the connection; the reply's text, unscrambled.
std::optional<std::u16string> Ask(CClientSession& session, CClientConnection& connection,
                                  std::u16string_view payload) {
    const bool scrambled = session.Options().Mode() == WireMode::kSingleByte;
    if (!connection.SendText(
            BuildRequest(u"SRQ", scrambled ? Scramble(payload) : std::u16string(payload)))) {
        session.Err() << "kestrom-client: send failed\n";
        return std::nullopt;
    }
    const auto reply = connection.ReceiveReply(session.Options().timeout);
    if (!reply || reply->code != u"SRP") {
        session.Err() << "kestrom-client: no schedule reply\n";
        return std::nullopt;
    }
    return scrambled ? Unscramble(reply->payload) : reply->payload;
}

// Event, round and heat of a header line: the text before its third comma.
std::u16string KeyOf(std::u16string_view header) {
    size_t end = 0;
    for (int commas = 0; end < header.size(); ++end)
        if (header[end] == u',' && ++commas == 3) break;
    return std::u16string(header.substr(0, end));
}

void PrintLines(std::ostream& out, std::u16string_view text, const char* indent) {
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos) end = text.size();
        out << indent << EscapeForDisplay(text.substr(start, end - start)) << "\n";
        start = end + 2;
    }
}

int RunSchedule(CClientSession& session, const std::vector<std::string>& args) {
    if (args.size() != 0 && args.size() != 3) {
        session.Err() << "usage: kestrom-client schedule [EVENT ROUND HEAT]\n";
        return 2;
    }
    auto connection = session.Connect();
    if (!connection) return 1;
    std::ostream& out = session.Out();

    if (args.size() == 3) {
        const auto text =
            Ask(session, *connection, FromUtf8(args[0] + "," + args[1] + "," + args[2]));
        if (!text) return 1;
        if (text->empty()) {
            out << "no field event " << args[0] << "," << args[1] << "," << args[2] << "\n";
            return 1;
        }
        PrintLines(out, *text, "");
        return 0;
    }

    std::u16string key = u"0,0,0";
    int count = 0;
    for (; count < kMaxWalkSteps; ++count) {
        const auto text = Ask(session, *connection, key + u",+");
        if (!text) return 1;
        if (text->empty()) break;
        const std::u16string next = KeyOf(*text);
        PrintLines(out, *text, "");
        if (next == key) {
            session.Err() << "kestrom-client: the event file holds " << EscapeForDisplay(key)
                          << " twice; the walk stops there\n";
            ++count;
            break;
        }
        key = next;
    }
    out << count << (count == 1 ? " field event\n" : " field events\n");
    return 0;
}

}  // namespace

KESTROM_CLIENT_COMMAND(schedule, "schedule [EVENT ROUND HEAT]", RunSchedule)
