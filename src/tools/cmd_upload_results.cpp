// upload-results FILE [--rft[=STAMP]]: sends a results file as a FieldOrvo device would ("RFF",
// or "RFT" with the date stamp of the device's copy), checksum included, and prints the replies.
#include <optional>

#include "base/FileFind.h"
#include "base/TextConvert.h"
#include "tools/ClientCommands.h"
#include "tools/UploadFileText.h"
#include "wire/DateStamp.h"
#include "wire/Records.h"

namespace {

using namespace kestrom;
using namespace kestrom::client;

int RunUploadResults(CClientSession& session, const std::vector<std::string>& args) {
    std::optional<std::string> file;
    std::optional<std::string> stamp;
    for (const std::string& arg : args) {
        if (arg == "--rft")
            stamp = "";
        else if (arg.rfind("--rft=", 0) == 0)
            stamp = arg.substr(6);
        else if (!file)
            file = arg;
        else
            file.reset(), stamp = "?";
    }
    if (!file || (stamp && !stamp->empty() && stamp->size() != 14)) {
        session.Err() << "usage: kestrom-client upload-results FILE [--rft[=HHMMSSDDMMYYYY]]\n";
        return 2;
    }
    const auto text = ReadUploadFileText(FromUtf8(*file), session.Err());
    if (!text) return 1;

    std::u16string payload;
    if (stamp) {
        if (stamp->empty()) {
            const auto found = LookUpFile(FromUtf8(*file));
            payload = FormatDateStamp(found ? found->lastWriteTime : 0);
        } else {
            payload = FromUtf8(*stamp);
        }
        payload += u',';
    }
    payload += *text;
    const CClientOptions& options = session.Options();
    if (options.Mode() == WireMode::kSingleByte) payload = Scramble(payload);
    const std::u16string message =
        BuildUploadMessage(stamp ? u"RFT" : u"RFF", payload, options.charMode == 1);

    auto connection = session.Connect();
    if (!connection) return 1;
    if (!connection->SendText(message)) {
        session.Err() << "kestrom-client: send failed\n";
        return 1;
    }
    // "NOK" is followed by "NSR"; every other answer is a single reply.
    int status = 1;
    while (auto reply = connection->ReceiveReply(session.Options().timeout)) {
        session.PrintReply(*reply);
        if (reply->code == u"NOK") continue;
        status = reply->code == u"ROK" ? 0 : 1;
        break;
    }
    return status;
}

}  // namespace

namespace {
const bool registered = RegisterClientCommand(
    {"upload-results", "upload-results FILE [--rft[=HHMMSSDDMMYYYY]]", RunUploadResults});
}
