// "PRQ": the athlete list, sent only when the people file is newer than the client's copy.
#include <string>

#include "base/FileFind.h"
#include "base/NumberText.h"
#include "base/Path.h"
#include "core/Messages.h"
#include "meetdata/PeopleFile.h"
#include "meetdata/Readers.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "protocol/RequestGrammar.h"

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

    std::u16string reply = FormatDateStamp(fileTime);
    reply += u',';
    if (!AppendAthleteList(path, SelectionNumber(*payload), reply)) {
        // A stamp with no lines would make the client keep an empty list as current until the
        // file changes again, so the failure is answered as one.
        p.Log(WithPath(kMsgErrorOpeningEventFile.text, path), LogLevel::kError);
        p.SendReply(u"NLA");
        return;
    }
    p.SendReply(u"PRP", reply);
}

}  // namespace kestrom
