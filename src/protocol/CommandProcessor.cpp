#include "protocol/CommandProcessor.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "base/TextConvert.h"
#include "core/Messages.h"
#include "core/Version.h"
#include "protocol/CommandTable.h"
#include "protocol/Handlers.h"
#include "protocol/RequestGrammar.h"
#include "protocol/WireText.h"

namespace kestrom {

namespace {

constexpr std::u16string_view kProgramName = u"Kestrom";
constexpr std::u16string_view kBalloonTitle = u"Kestrom";
constexpr int kBalloonSeconds = 10;

std::u16string VersionText() {
    std::u16string text(kProgramName);
    text += u" v";
    text += U16(kKestromVersion);
    return text;
}

}  // namespace

CCommandProcessor::CCommandProcessor(CRequestContext& context, CReplyChannel& channel)
    : context_(context), channel_(channel), settings_(context.settings.Snapshot()) {}

CCommandProcessor::CCommandProcessor(CRequestContext& context, CReplyChannel& channel,
                                     CKestromSettings settings)
    : context_(context),
      channel_(channel),
      settings_(std::make_shared<const CKestromSettings>(std::move(settings))) {}

FileLookup CCommandProcessor::FindMeetFile(std::u16string_view folder, std::u16string_view name) {
    FileLookup lookup = context_.meetFolders.Find(folder, name);
    if (!lookup.sameNameIgnoringCase.empty()) {
        std::u16string line = u"Files differing only in case:";
        for (const auto& n : lookup.sameNameIgnoringCase) line += u' ' + n;
        line += u"; using " + lookup.sameNameIgnoringCase.front();
        Log(line, LogLevel::kInfo);
    }
    if (lookup.firstListedWithoutIndex) {
        Log(u"Changes in " + std::u16string(folder) +
                u" cannot be followed (network or FUSE folder, or no inotify watch left): it is"
                u" read afresh for names in another case",
            LogLevel::kInfo);
    }
    return lookup;
}

void CCommandProcessor::LogNotFound(std::u16string_view message, const FileLookup& lookup) {
    Log(lookup.cause ? WithPathAndCause(message, lookup.path, lookup.cause)
                     : WithPath(message, lookup.path),
        LogLevel::kError);
}

void CCommandProcessor::TakeSettings() {
    settings_ = context_.settings.Snapshot();
}

void CCommandProcessor::Dispatch(RequestKind kind, const std::u16string& message,
                                 std::u16string_view clientLabel) {
    switch (kind) {
        case RequestKind::kFieldOrvoPing:
        case RequestKind::kClerkOrvoPing:
            Log(kind == RequestKind::kFieldOrvoPing ? u"FieldOrvo Ping" : u"ClerkOrvo Ping",
                LogLevel::kInfo);
            SendVersionReply(CharMode() == 0);
            break;
        case RequestKind::kWenlowPing:
        case RequestKind::kHyWirePing:
            Log(kind == RequestKind::kWenlowPing ? u"Wenlow Ping" : u"Hy-Wire Ping",
                LogLevel::kInfo);
            SendVersionReply(false);
            break;
        case RequestKind::kScheduleRequest:
            Log(u"Schedule Request:", LogLevel::kNever);
            HandleScheduleRequest(*this, kind, message, CharMode() == 0);
            break;
        case RequestKind::kResultsUpload:
        case RequestKind::kResultsUploadStamped:
            HandleResultsUpload(*this, kind, message, clientLabel);
            break;
        case RequestKind::kFieldOrvoResultsRequest:
        case RequestKind::kWenlowResultsRequest:
        case RequestKind::kHyWireResultsRequest:
            HandleResultsRequest(*this, kind, message);
            break;
        case RequestKind::kEventFileDateStamp:
        case RequestKind::kEventFileHeaders:
        case RequestKind::kClerkOrvoEventFile:
        case RequestKind::kWenlowEventFile:
        case RequestKind::kHyWireEventFile:
            HandleEventFileRequest(*this, kind, message);
            break;
        case RequestKind::kAthleteList:
            HandleAthleteListRequest(*this, kind, message);
            break;
        case RequestKind::kStartListUpload:
            HandleStartListUpload(*this, kind, message, clientLabel);
            break;
        case RequestKind::kWenlowResultsChanged:
        case RequestKind::kHyWireResultsChanged:
            HandleResultsChangedRequest(*this, kind, message);
            break;
        case RequestKind::kImageRequest:
            HandleImageRequest(*this, kind, message);
            break;
        default:
            // Unknown codes and the reply codes "ROK"/"NOK" sent by a client: ignored.
            break;
    }
}

void CCommandProcessor::SendReply(std::u16string_view code, std::u16string_view payload) {
    // The size counts the payload's bytes on the wire plus the three control characters.
    const size_t payloadBytes = payload.size() * (CharMode() != 0 ? 2 : 1);
    const std::u16string size = U16(std::to_string(payloadBytes + 3));

    std::u16string record;
    record.reserve(code.size() + size.size() + payload.size() + 9);
    record += kSOH;
    record += code;
    record += u",PSZ=";
    record += size;
    record += kSTX;
    record += payload;
    record += kETX;
    record += kEOT;
    // A failed send is not reported; the handler carries on as if the reply had gone out.
    channel_.SendText(record, false);
}

void CCommandProcessor::SendReplyWire(std::u16string_view code, std::string& wire) {
    const size_t payloadBytes = wire.size() - kReplyHeaderRoom;
    std::u16string header;
    header += kSOH;
    header += code;
    header += u",PSZ=";
    header += U16(std::to_string(payloadBytes + 3));
    header += kSTX;
    static constexpr char16_t kTrailer[] = {kETX, kEOT};
    const int mode = CharMode();
    std::string headerBytes = EncodeForWire(header, false, mode);
    char* const start = wire.data() + kReplyHeaderRoom - headerBytes.size();
    std::memcpy(start, headerBytes.data(), headerBytes.size());
    wire += EncodeForWire(std::u16string_view(kTrailer, 2), false, mode);
    // A failed send is not reported, as for every reply.
    SendBlocks(std::string_view(start, wire.data() + wire.size() - start));
}

int CCommandProcessor::SendBlocks(std::string_view bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const size_t n = std::min(kReplyBlockBytes, bytes.size() - sent);
        if (channel_.SendBytes(bytes.substr(sent, n)) < 0) return -1;
        sent += n;
    }
    return static_cast<int>(sent);
}

void CCommandProcessor::SendVersionReply(bool scramble) {
    if (scramble && CharMode() == 0)
        SendReply(u"HMM", Scramble(VersionText()));
    else
        SendReply(u"HMM");
}

int CCommandProcessor::SendText(std::u16string_view text, bool singleByte) {
    return channel_.SendText(text, singleByte);
}

void CCommandProcessor::Log(std::u16string_view text, LogLevel level) {
    context_.op.AddLogLine(text, level);
}

void CCommandProcessor::Balloon(std::u16string_view text) {
    context_.op.ShowBalloon(text, kBalloonTitle, BalloonIcon::kInfo, kBalloonSeconds);
}

}  // namespace kestrom
