#include "protocol/CommandProcessor.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

#include "base/TextConvert.h"
#include "core/Messages.h"
#include "core/Version.h"
#include "protocol/Handlers.h"
#include "wire/CommandTable.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"
#include "wire/WireText.h"

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
    Log(!lookup.status ? WithPathAndCause(message, lookup.path, lookup.status)
                       : WithPath(message, lookup.path),
        LogLevel::kError);
}

void CCommandProcessor::TakeSettings() {
    settings_ = context_.settings.Snapshot();
}

void CCommandProcessor::Dispatch(RequestKind kind, std::u16string_view message,
                                 std::u16string_view clientLabel) {
    lastReplyCode_.clear();
    checksumRefused_ = false;
    uploadFile_.clear();
    uploadBytes_ = 0;
    Serve(kind, message, clientLabel);
    const bool upload = kind == RequestKind::kResultsUpload ||
                        kind == RequestKind::kResultsUploadStamped ||
                        kind == RequestKind::kStartListUpload;
    if (!upload || !context_.observer) return;
    CUploadRecord record;
    record.when = std::time(nullptr);
    record.ip = peerIp_;
    record.mac = peerMac_;
    record.kind = kind;
    record.file = uploadFile_;
    record.bytes = uploadBytes_;
    record.outcome = checksumRefused_ ? std::u16string(u"NOK") : lastReplyCode_;
    context_.observer->OnUpload(record);
}

void CCommandProcessor::Serve(RequestKind kind, std::u16string_view message,
                              std::u16string_view clientLabel) {
    switch (kind) {
        case RequestKind::kFieldOrvoPing:
        case RequestKind::kClerkOrvoPing:
            Log(kind == RequestKind::kFieldOrvoPing ? u"FieldOrvo Ping" : u"ClerkOrvo Ping",
                LogLevel::kInfo);
            SendVersionReply(Mode() == WireMode::kSingleByte);
            break;
        case RequestKind::kWenlowPing:
        case RequestKind::kHyWirePing:
            Log(kind == RequestKind::kWenlowPing ? u"Wenlow Ping" : u"Hy-Wire Ping",
                LogLevel::kInfo);
            SendVersionReply(false);
            break;
        case RequestKind::kScheduleRequest:
            Log(u"Schedule Request:", LogLevel::kNever);
            HandleScheduleRequest(*this, kind, message, Mode() == WireMode::kSingleByte);
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
    lastReplyCode_ = code;
    if (code == u"NOK") checksumRefused_ = true;
    const std::u16string record = BuildReplyRecord(code, payload, Mode());
    // A failed send is not reported; the handler carries on as if the reply had gone out.
    channel_.SendText(record, false);
}

void CCommandProcessor::SendReplyWire(std::u16string_view code, std::string& wire) {
    const size_t payloadBytes = wire.size() - kReplyHeaderRoom;
    const WireMode mode = Mode();
    const std::string headerBytes = Encode(ReplyHeader(code, payloadBytes), mode);
    char* const start = wire.data() + kReplyHeaderRoom - headerBytes.size();
    std::memcpy(start, headerBytes.data(), headerBytes.size());
    AppendEncoded(wire, kReplyTrailerText, mode);
    // A failed send is not reported, as for every reply.
    SendBlocks(std::string_view(start, static_cast<size_t>(wire.data() + wire.size() - start)));
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
    if (scramble && Mode() == WireMode::kSingleByte)
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
