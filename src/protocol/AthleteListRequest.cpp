// "PRQ": the athlete list, sent only when the people file is newer than the client's copy.
#include <cstdint>
#include <string>

#include "base/FileFind.h"
#include "base/NumberText.h"
#include "base/Path.h"
#include "core/Messages.h"
#include "meetdata/PeopleFile.h"
#include "meetdata/Readers.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "wire/DateStamp.h"
#include "wire/RequestGrammar.h"
#include "wire/WireText.h"

namespace kestrom {

namespace {

// A shorter stamp would be read with the selection's comma inside its fields.
constexpr size_t kDateStampLength = 14;

// -1 (every line) unless a comma follows the date stamp; kept in 16 bits like the key members.
std::int16_t SelectionNumber(std::u16string_view payload) {
    const size_t comma = payload.find(u',');
    if (comma == std::u16string_view::npos) return kSelectAllAthletes;
    return static_cast<std::int16_t>(ReadDecimal(payload.substr(comma + 1)));
}

// The lines go into the reply's wire bytes as they are read and the reply leaves in blocks,
// as the event file does. Every line is about its size in the file; while such a reply is
// built it holds that from the budget of large replies (a selection sends few lines).
void SendAthleteList(CCommandProcessor& p, const std::u16string& path, const FoundFile& file,
                     std::int16_t selection) {
    const WireMode mode = p.Mode();
    CBudgetHold hold;
    if (selection == kSelectAllAthletes) {
        // Every byte a character at most, and a CR added to each line end.
        const size_t estimate = static_cast<size_t>(file.size) * BytesPerChar(mode) * 2 + 64;
        if (estimate > kReplyBlockBytes && !p.HoldReplyMemory(estimate, hold)) {
            p.SendReply(u"NLA");
            return;
        }
    }
    std::string wire(kReplyHeaderRoom, '\0');
    if (selection == kSelectAllAthletes)
        wire.reserve(kReplyHeaderRoom +
                     static_cast<size_t>(file.size) * BytesPerChar(mode) * 9 / 8 + 64);
    std::u16string stamp = FormatDateStamp(file.lastWriteTime);
    stamp += u',';
    AppendEncoded(wire, stamp, mode);
    const bool read = ForEachAthleteLine(path, selection, [&](std::u16string_view line) {
        AppendEncoded(wire, line, mode);
        AppendEncoded(wire, u"\r\n", mode);
    });
    if (!read) {
        // A stamp with no lines would make the client keep an empty list as current until the
        // file changes again, so the failure is answered as one.
        p.Log(WithPath(kMsgErrorOpeningEventFile.text, path), LogLevel::kError);
        p.SendReply(u"NLA");
        return;
    }
    p.SendReplyWire(u"PRP", wire);
}

}  // namespace

void HandleAthleteListRequest(CCommandProcessor& p, RequestKind, std::u16string_view message) {
    const FileLookup lookup = p.FindMeetFile(p.EventDirectory(), kPeopleFileName);
    if (!lookup.file) {
        p.LogNotFound(kMsgErrorFindingPeopleFile.text, lookup);
        p.SendReply(u"NLA");
        return;
    }
    const std::u16string& path = lookup.path;
    const auto& found = lookup.file;

    const auto payload = FindPayload(message);
    const auto clientStamp =
        payload && payload->size() >= kDateStampLength ? ReadDateStamp(*payload) : std::nullopt;
    if (!clientStamp) {
        p.Log(kMsgIncompleteAthleteList.text, LogLevel::kError);
        p.SendReply(u"NLA");
        return;
    }

    const TimeValue fileTime = found->lastWriteTime;
    if (fileTime <= *clientStamp) {
        p.SendReply(u"PRP");
        return;
    }

    SendAthleteList(p, path, *found, SelectionNumber(*payload));
}

}  // namespace kestrom
