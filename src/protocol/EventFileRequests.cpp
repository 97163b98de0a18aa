// "EDQ" compares the client's event file stamp with ours; "HRQ", "ECQ", "ERQ" and "EHQ" send
// the event file (or its header lines) when ours is newer than the client's copy.
#include "base/FileFindIndex.h"
#include "core/Messages.h"
#include "meetdata/EventFile.h"
#include "meetdata/MeetFiles.h"
#include "meetdata/Readers.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "wire/CommandTable.h"
#include "wire/RequestGrammar.h"
#include "wire/WireText.h"

namespace kestrom {

namespace {

// The event file (whatever the case of its name); when it is missing, logs that and replies
// "NLS".
FileLookup FindEventFile(CCommandProcessor& p, std::u16string_view name) {
    FileLookup lookup = p.FindMeetFile(p.EventDirectory(), name);
    if (lookup.file) return lookup;
    p.LogNotFound(kMsgErrorFindingEventFile.text, lookup);
    p.SendReply(u"NLS");
    return lookup;
}

void HandleDateComparison(CCommandProcessor& p, std::u16string_view message) {
    const FileLookup lookup = FindEventFile(p, kEventFileName);
    if (!lookup.file) return;
    const FoundFile& file = *lookup.file;
    auto payload = FindPayload(message);
    auto clientTime = payload ? ReadDateStamp(*payload) : std::nullopt;
    if (!clientTime) {
        p.Log(kMsgIncompleteEventFileDateStamp.text, LogLevel::kError);
        p.SendReply(u"NLS");
        return;
    }
    const TimeValue fileTime = file.lastWriteTime;
    const char16_t* answer = fileTime > *clientTime ? u"1" : fileTime < *clientTime ? u"-1" : u"0";
    p.SendReply(u"EDP", answer);
}

// The whole event file in the reply: its lines go into the reply's wire bytes as they are
// read, without a copy as text, and the reply leaves in blocks. While it is built it holds
// about its size from the budget of large replies.
void SendWholeEventFile(CCommandProcessor& p, std::u16string_view replyCode,
                        const std::u16string& path, const FoundFile& file) {
    const WireMode mode = p.Mode();
    const size_t bytesPerChar = BytesPerChar(mode);
    // Every byte a character at most, and a CR added to each line end.
    const size_t estimate = static_cast<size_t>(file.size) * bytesPerChar * 2 + 64;
    CBudgetHold hold;
    if (estimate > kReplyBlockBytes && !p.HoldReplyMemory(estimate, hold)) {
        p.SendReply(u"NLS");
        return;
    }
    std::string wire(kReplyHeaderRoom, '\0');
    wire.reserve(kReplyHeaderRoom + static_cast<size_t>(file.size) * bytesPerChar * 9 / 8 + 64);
    std::u16string stamp = FormatDateStamp(file.lastWriteTime);
    stamp += u',';
    AppendEncoded(wire, stamp, mode);
    const CStatus read = ReadEventFileLines(path, false, [&](std::u16string_view line) {
        AppendEncoded(wire, line, mode);
        AppendEncoded(wire, u"\r\n", mode);
    });
    if (!read) {
        p.Log(WithCause(kMsgErrorOpeningEventFile.text, read), LogLevel::kError);
        p.SendReply(u"NLS");
        return;
    }
    p.SendReplyWire(replyCode, wire);
}

void HandleEventFileCopy(CCommandProcessor& p, RequestKind kind, std::u16string_view message) {
    const bool headersOnly = kind == RequestKind::kEventFileHeaders;
    const std::u16string_view replyCode = headersOnly ? u"HRP" : u"ERP";
    std::u16string_view label;
    switch (kind) {
        case RequestKind::kEventFileHeaders:
            label = u"(ClerkOrvo)Event File Headers Request";
            break;
        case RequestKind::kClerkOrvoEventFile:
            label = u"(ClerkOrvo) Event File Request";
            break;
        case RequestKind::kWenlowEventFile:
            label = u"(Wenlow) Event File Request";
            break;
        default:
            label = u"(HY-WIRE) Event File Request";
            break;
    }
    p.Log(label, LogLevel::kInfo);

    const FileLookup lookup = FindEventFile(
        p, kind == RequestKind::kHyWireEventFile ? kHyWireEventFileName : kEventFileName);
    if (!lookup.file) return;
    const std::u16string& path = lookup.path;
    // The stamp is read from everything after STX, but only a complete message is served.
    auto bounds = FindPayloadBounds(message);
    auto clientTime =
        bounds ? ReadDateStamp(std::u16string_view(message).substr(bounds->stx + 1)) : std::nullopt;
    if (!clientTime) {
        p.Log(kMsgIncompleteLoadingEventFile.text, LogLevel::kError);
        p.SendReply(u"NLS");
        return;
    }
    const TimeValue fileTime = lookup.file->lastWriteTime;
    if (fileTime <= *clientTime) {
        p.SendReply(replyCode);  // the client's copy is current
        return;
    }
    if (!headersOnly) return SendWholeEventFile(p, replyCode, path, *lookup.file);
    std::u16string reply = FormatDateStamp(fileTime);
    reply += u',';
    if (const CStatus read = ReadEventFileText(path, headersOnly, reply); !read) {
        p.Log(WithCause(kMsgErrorOpeningEventFile.text, read), LogLevel::kError);
        p.SendReply(u"NLS");
        return;
    }
    p.SendReply(replyCode, reply);
}

}  // namespace

void HandleEventFileRequest(CCommandProcessor& p, RequestKind kind, std::u16string_view message) {
    if (kind == RequestKind::kEventFileDateStamp)
        HandleDateComparison(p, message);
    else
        HandleEventFileCopy(p, kind, message);
}

}  // namespace kestrom
