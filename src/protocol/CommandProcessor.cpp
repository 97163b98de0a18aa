#include "protocol/CommandProcessor.h"

#include <string>
#include <utility>

#include "app/Version.h"
#include "fileio/TextConvert.h"
#include "protocol/CommandTable.h"
#include "protocol/Handlers.h"
#include "protocol/Messages.h"
#include "protocol/RequestGrammar.h"

namespace kestrom {

namespace {

constexpr std::u16string_view kProgramName = u"Kestrom";
constexpr std::u16string_view kBalloonTitle = u"Kestrom";
constexpr int kBalloonInfoIcon = 1;
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
        Log(line, kLogInfo);
    }
    if (lookup.firstListedWithoutIndex) {
        Log(u"Changes in " + std::u16string(folder) +
                u" cannot be followed (network or FUSE folder, or no inotify watch left): it is"
                u" read afresh for names in another case",
            kLogInfo);
    }
    return lookup;
}

void CCommandProcessor::LogNotFound(std::u16string_view message, const FileLookup& lookup) {
    Log(lookup.cause ? WithPathAndCause(message, lookup.path, lookup.cause)
                     : WithPath(message, lookup.path),
        kLogError);
}

void CCommandProcessor::Dispatch(int kind, const std::u16string& message,
                                 std::u16string_view clientLabel) {
    switch (kind) {
        case kKindFieldOrvoPing:
        case kKindClerkOrvoPing:
            Log(kind == kKindFieldOrvoPing ? u"FieldOrvo Ping" : u"ClerkOrvo Ping", kLogInfo);
            SendVersionReply(CharMode() == 0);
            break;
        case kKindWenlowPing:
        case kKindHyWirePing:
            Log(kind == kKindWenlowPing ? u"Wenlow Ping" : u"Hy-Wire Ping", kLogInfo);
            SendVersionReply(false);
            break;
        case kKindScheduleRequest:
            Log(u"Schedule Request:", kLogNever);
            HandleScheduleRequest(*this, kind, message, CharMode() == 0);
            break;
        case kKindResultsUpload:
        case kKindResultsUploadStamped:
            HandleResultsUpload(*this, kind, message, clientLabel);
            break;
        case kKindFieldOrvoResultsRequest:
        case kKindWenlowResultsRequest:
        case kKindHyWireResultsRequest:
            HandleResultsRequest(*this, kind, message);
            break;
        case kKindEventFileDateStamp:
        case kKindEventFileHeaders:
        case kKindClerkOrvoEventFile:
        case kKindWenlowEventFile:
        case kKindHyWireEventFile:
            HandleEventFileRequest(*this, kind, message);
            break;
        case kKindAthleteList:
            HandleAthleteListRequest(*this, kind, message);
            break;
        case kKindStartListUpload:
            HandleStartListUpload(*this, kind, message, clientLabel);
            break;
        case kKindWenlowResultsChanged:
        case kKindHyWireResultsChanged:
            HandleResultsChangedRequest(*this, kind, message);
            break;
        case kKindImageRequest:
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

void CCommandProcessor::SendVersionReply(bool scramble) {
    if (scramble && CharMode() == 0)
        SendReply(u"HMM", Scramble(VersionText()));
    else
        SendReply(u"HMM");
}

int CCommandProcessor::SendText(std::u16string_view text, bool singleByte) {
    return channel_.SendText(text, singleByte);
}

void CCommandProcessor::Log(std::u16string_view text, int level) {
    context_.op.AddLogLine(text, level);
}

void CCommandProcessor::Balloon(std::u16string_view text) {
    context_.op.ShowBalloon(text, kBalloonTitle, kBalloonInfoIcon, kBalloonSeconds);
}

}  // namespace kestrom
