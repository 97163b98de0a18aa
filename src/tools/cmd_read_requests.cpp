// The read requests as the devices send them, with their payloads printed readably:
//   eventfile [clerkorvo|wenlow|hywire] [STAMP]   "ECQ", "ERQ" or "EHQ"
//   headers [STAMP]                               "HRQ": the event header lines only
//   datecompare STAMP                             "EDQ": 1 newer, 0 same, -1 older
//   results [fieldorvo|wenlow|hywire] E R H       "RFQ", "RRQ" or "RHQ"
//   nextresults E R H                             "RFQ" with "+": the heat after E,R,H (H 0: first)
//   changed [wenlow|hywire] [PAYLOAD]             "DRQ" or "DHQ"; PAYLOAD e.g. "0," or
//   "I1,7,1,3,STAMP" image E R H OUTFILE [STAMP]                   "IRQ": the finish picture,
//   written to OUTFILE
// STAMP is HHMMSSDDMMYYYY, the date stamp of the copy the device holds; the default asks for
// any file.
#include <cstdlib>
#include <fstream>
#include <ostream>

#include "base/TextConvert.h"
#include "tools/ClientCommands.h"

namespace {

using namespace kestrom;
using namespace kestrom::client;

constexpr const char* kAnyCopy = "00000001011970";

// "STAMP,line CR LF line CR LF ...": the stamp, then one line per output line.
void PrintStampedText(std::ostream& out, std::u16string_view payload, const char* what) {
    const size_t comma = payload.find(u',');
    out << what << " of " << EscapeForDisplay(payload.substr(0, comma)) << "\n";
    int count = 0;
    for (size_t start = comma == std::u16string_view::npos ? payload.size() : comma + 1;
         start < payload.size(); ++count) {
        size_t end = payload.find(u"\r\n", start);
        if (end == std::u16string_view::npos) end = payload.size();
        out << "  " << EscapeForDisplay(payload.substr(start, end - start)) << "\n";
        start = end + 2;
    }
    out << count << (count == 1 ? " line\n" : " lines\n");
}

// Sends a request whose reply is a stamped text, and prints it. Exit status 0 for the
// success code (an empty payload means the copy is current), 1 otherwise.
int AskStampedText(CClientSession& session, std::u16string_view code, const std::string& payload,
                   std::u16string_view okCode, const char* what) {
    const auto reply = session.Request(BuildRequest(code, FromUtf8(payload)));
    if (!reply) return 1;
    std::ostream& out = session.Out();
    out << EscapeForDisplay(reply->code) << " " << reply->size << "\n";
    if (reply->code != okCode) return 1;
    if (reply->payload.empty())
        out << "(not newer than the copy of " << payload.substr(0, 14) << ")\n";
    else
        PrintStampedText(out, reply->payload, what);
    return 0;
}

std::string KeyPayload(const std::vector<std::string>& args, size_t first) {
    return args[first] + "," + args[first + 1] + "," + args[first + 2];
}

int RunEventFile(CClientSession& session, const std::vector<std::string>& args) {
    std::vector<std::string> rest = args;
    std::u16string_view code = u"ECQ";
    if (!rest.empty() && (rest[0] == "clerkorvo" || rest[0] == "wenlow" || rest[0] == "hywire")) {
        code = rest[0] == "wenlow" ? u"ERQ" : rest[0] == "hywire" ? u"EHQ" : u"ECQ";
        rest.erase(rest.begin());
    }
    if (rest.size() > 1) {
        session.Err() << "usage: kestrom-client eventfile [clerkorvo|wenlow|hywire] [STAMP]\n";
        return 2;
    }
    return AskStampedText(session, code, rest.empty() ? kAnyCopy : rest[0], u"ERP", "event file");
}

int RunHeaders(CClientSession& session, const std::vector<std::string>& args) {
    if (args.size() > 1) {
        session.Err() << "usage: kestrom-client headers [STAMP]\n";
        return 2;
    }
    return AskStampedText(session, u"HRQ", args.empty() ? kAnyCopy : args[0], u"HRP",
                          "event file headers");
}

int RunDateCompare(CClientSession& session, const std::vector<std::string>& args) {
    if (args.size() != 1) {
        session.Err() << "usage: kestrom-client datecompare STAMP\n";
        return 2;
    }
    const auto reply = session.Request(BuildRequest(u"EDQ", FromUtf8(args[0])));
    if (!reply) return 1;
    session.PrintReply(*reply);
    if (reply->code != u"EDP") return 1;
    const std::u16string& p = reply->payload;
    session.Out() << (p == u"1"    ? "the server's event file is newer\n"
                      : p == u"-1" ? "the server's event file is older\n"
                                   : "the server's event file has the same time\n");
    return 0;
}

int RunResults(CClientSession& session, const std::vector<std::string>& args) {
    std::vector<std::string> rest = args;
    std::u16string_view code = u"RFQ";
    if (!rest.empty() && (rest[0] == "fieldorvo" || rest[0] == "wenlow" || rest[0] == "hywire")) {
        code = rest[0] == "wenlow" ? u"RRQ" : rest[0] == "hywire" ? u"RHQ" : u"RFQ";
        rest.erase(rest.begin());
    }
    if (rest.size() != 3) {
        session.Err()
            << "usage: kestrom-client results [fieldorvo|wenlow|hywire] EVENT ROUND HEAT\n";
        return 2;
    }
    return AskStampedText(session, code, KeyPayload(rest, 0), u"RRP", "results file");
}

int RunNextResults(CClientSession& session, const std::vector<std::string>& args) {
    if (args.size() != 3) {
        session.Err() << "usage: kestrom-client nextresults EVENT ROUND HEAT\n";
        return 2;
    }
    const auto reply = session.Request(BuildRequest(u"RFQ", FromUtf8(KeyPayload(args, 0) + ",+")));
    if (!reply) return 1;
    session.Out() << EscapeForDisplay(reply->code) << " " << reply->size << "\n";
    if (reply->code == u"NLR") {
        session.Out() << "(no more results)\n";
        return 0;
    }
    if (reply->code != u"RRP") return 1;
    PrintStampedText(session.Out(), reply->payload, "results file");
    return 0;
}

int RunChanged(CClientSession& session, const std::vector<std::string>& args) {
    std::vector<std::string> rest = args;
    std::u16string_view code = u"DRQ";
    if (!rest.empty() && (rest[0] == "wenlow" || rest[0] == "hywire")) {
        code = rest[0] == "hywire" ? u"DHQ" : u"DRQ";
        rest.erase(rest.begin());
    }
    if (rest.size() > 1) {
        session.Err() << "usage: kestrom-client changed [wenlow|hywire] [PAYLOAD]\n";
        return 2;
    }
    const auto reply = session.Request(BuildRequest(code, FromUtf8(rest.empty() ? "0," : rest[0])));
    if (!reply) return 1;
    std::ostream& out = session.Out();
    out << EscapeForDisplay(reply->code) << " " << reply->size << "\n";
    if (reply->code != u"DRP") return 1;
    // "count,e,r,h,e,r,h...": one heat per line.
    const std::string list = ToUtf8(reply->payload);
    size_t pos = list.find(',');
    out << (list.empty() ? "0" : list.substr(0, pos)) << " changed\n";
    for (int field = 0; pos != std::string::npos; ++field) {
        const size_t next = list.find(',', pos + 1);
        const std::string value =
            list.substr(pos + 1, next == std::string::npos ? next : next - pos - 1);
        out << (field % 3 == 0 ? "  " : "-") << value << (field % 3 == 2 ? "\n" : "");
        pos = next;
    }
    return 0;
}

int RunImage(CClientSession& session, const std::vector<std::string>& args) {
    if (args.size() != 4 && args.size() != 5) {
        session.Err() << "usage: kestrom-client image EVENT ROUND HEAT OUTFILE [STAMP]\n";
        return 2;
    }
    auto connection = session.Connect();
    if (!connection) return 1;
    const std::string payload = KeyPayload(args, 0) + "," + (args.size() == 5 ? args[4] : kAnyCopy);
    if (!connection->SendText(BuildRequest(u"IRQ", FromUtf8(payload)))) {
        session.Err() << "kestrom-client: send failed\n";
        return 1;
    }
    // The header is always one byte per character: SOH "RFI,PSZ=" size STX, then either ETX
    // (no picture) or the 14-digit stamp, a comma and the picture's bytes.
    const auto timeout = session.Options().timeout;
    std::string head;
    for (;;) {
        auto b = connection->ReceiveBytes(1, timeout);
        if (!b) {
            session.Err() << "kestrom-client: no image reply\n";
            return 1;
        }
        head += *b;
        if (*b == "\x02") break;
        if (head.size() > 32) {
            session.Err() << "kestrom-client: not an image reply\n";
            return 1;
        }
    }
    const long size = std::atol(head.c_str() + head.find('=') + 1);
    auto next = connection->ReceiveBytes(1, timeout);
    if (!next) return 1;
    if (*next == "\x03") {
        session.Out() << "RFI 0\n(no newer picture)\n";
        return 0;
    }
    auto stamp = connection->ReceiveBytes(14, timeout);
    auto picture =
        stamp ? connection->ReceiveBytes(static_cast<size_t>(size), timeout) : std::nullopt;
    if (!picture) {
        session.Err() << "kestrom-client: image reply cut short\n";
        return 1;
    }
    std::ofstream file(args[3], std::ios::binary | std::ios::trunc);
    file.write(picture->data(), static_cast<std::streamsize>(picture->size()));
    if (!file) {
        session.Err() << "kestrom-client: cannot write " << args[3] << "\n";
        return 1;
    }
    session.Out() << "RFI " << size << "\npicture of " << (*next + stamp->substr(0, 13))
                  << " written to " << args[3] << "\n";
    return 0;
}

}  // namespace

KESTROM_CLIENT_COMMAND(eventfile, "eventfile [clerkorvo|wenlow|hywire] [STAMP]", RunEventFile)
KESTROM_CLIENT_COMMAND(headers, "headers [STAMP]", RunHeaders)
KESTROM_CLIENT_COMMAND(datecompare, "datecompare STAMP", RunDateCompare)
KESTROM_CLIENT_COMMAND(results, "results [fieldorvo|wenlow|hywire] EVENT ROUND HEAT", RunResults)
KESTROM_CLIENT_COMMAND(nextresults, "nextresults EVENT ROUND HEAT", RunNextResults)
KESTROM_CLIENT_COMMAND(changed, "changed [wenlow|hywire] [PAYLOAD]", RunChanged)
KESTROM_CLIENT_COMMAND(image, "image EVENT ROUND HEAT OUTFILE [STAMP]", RunImage)
