// "SRQ": the schedule of field events for a field client; the walk from header to header and
// the start list of one field event.
#include <string>

#include "base/Path.h"
#include "base/TextConvert.h"
#include "core/Messages.h"
#include "meetdata/MeetFiles.h"
#include "meetdata/Readers.h"
#include "meetdata/Schedule.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "wire/RequestGrammar.h"

namespace kestrom {

namespace {

// After the first STX up to the first ETX; to the end without an ETX, empty without an STX
// (or with the first ETX before it).
std::u16string_view SchedulePayload(std::u16string_view message) {
    const size_t stx = message.find(kSTX);
    if (stx == std::u16string_view::npos) return {};
    const size_t etx = message.find(kETX);
    if (etx == std::u16string_view::npos) return message.substr(stx + 1);
    if (etx < stx) return {};
    return message.substr(stx + 1, etx - stx - 1);
}

// Comma-separated pieces that are not empty (runs of commas count as one separator).
int CountPieces(std::u16string_view payload) {
    int pieces = 0;
    bool inPiece = false;
    for (char16_t c : payload) {
        if (c == u',') {
            inPiece = false;
        } else if (!inPiece) {
            inPiece = true;
            ++pieces;
        }
    }
    return pieces;
}

}  // namespace

void HandleScheduleRequest(CCommandProcessor& p, RequestKind, std::u16string_view message,
                           bool unscramble) {
    const std::u16string_view raw = SchedulePayload(message);
    const std::u16string payload = unscramble ? Unscramble(raw) : std::u16string(raw);
    if (CountPieces(payload) < 3) {
        p.SendReply(u"SRP");
        return;
    }
    p.Log(u"...Request String: " + payload, LogLevel::kNever);

    CEventInfo key;
    char16_t mark = kNoDirection;
    if (!ReadEventKey(payload, key, &mark)) {
        p.Log(kMsgIncompleteScheduleRequest.text, LogLevel::kError);
        p.SendReply(u"SRP");
        return;
    }
    p.Log(EventKeyText(key) + u" Start List Request", LogLevel::kInfo);

    const std::u16string path = p.FindMeetFile(p.EventDirectory(), kEventFileName).path;
    const CScheduleAnswer answer = ReadSchedule(path, key, mark);
    if (!answer.opened) {
        p.Log(WithPath(kMsgErrorOpeningEventFile.text, path), LogLevel::kError);
    }
    for (int i = 0; i < answer.badHeaderLines; ++i)
        p.Log(kMsgBadFormatEventFile.text, LogLevel::kError);
    if (!answer.found) {
        p.SendReply(u"SRP");
        return;
    }
    p.Log(u"FieldOrvo <-- SCHEDULE:", LogLevel::kNever);
    p.SendReply(u"SRP", unscramble ? Scramble(answer.text) : answer.text);
}

}  // namespace kestrom
