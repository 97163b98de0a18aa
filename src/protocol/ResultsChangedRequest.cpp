// "DRQ" and "DHQ": the results files that are newer than the client's copies.
#include <string>

#include "base/FileFind.h"
#include "base/TextConvert.h"
#include "core/Messages.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "protocol/ResultsChanged.h"
#include "protocol/ResultsFiles.h"
#include "wire/CommandTable.h"
#include "wire/RequestGrammar.h"

namespace kestrom {

namespace {

// One line however many entries were bad: a request of a million bad entries must not write
// a million lines. A single bad entry keeps the plain text.
std::u16string BadEntriesLine(int count) {
    std::u16string line(kMsgIncompleteResultsChangedRequest.text);
    if (count > 1) line += u" (" + U16(std::to_string(count)) + u" ENTRIES SKIPPED)";
    return line;
}

}  // namespace

void HandleResultsChangedRequest(CCommandProcessor& p, RequestKind kind,
                                 std::u16string_view message) {
    const bool hyWire = kind == RequestKind::kHyWireResultsChanged;
    CResultsChanged changed;  // emptied for every request: it lives only as long as this one

    auto payload = FindPayload(message);
    if (!payload) p.Log(kMsgIncompleteLoadingEventFile.text, LogLevel::kError);
    p.Log(hyWire ? u"(HY-WIRE) Results Changed Request" : u"(Wenlow) Results Changed Request",
          LogLevel::kInfo);
    if (!payload) {
        p.SendReply(u"DRP");
        return;
    }
    // Without a comma after the count the request names nothing: an empty list.
    auto query = ParseResultsChangedQuery(*payload);
    if (!query) {
        p.SendReply(u"DRP");
        return;
    }
    if (query->badEntries > 0) p.Log(BadEntriesLine(query->badEntries), LogLevel::kError);

    // One scan of the folder; the listing carries every file's last-write time.
    const FolderListing listing = FindFiles(p.ResultsDirectory(), hyWire ? u"*.hyf" : u"*.q?f");
    if (!listing.status) {
        // An empty list would tell the device that nothing changed.
        p.Log(WithPathAndCause(kMsgErrorFindingResultsFile.text, p.ResultsDirectory(),
                               listing.status),
              LogLevel::kError);
        p.SendReply(u"NLR");
        return;
    }
    changed.Collect(*query, listing.files, hyWire ? kHyWireEventDigits : kEventDigits);
    p.SendReply(u"DRP", changed.Payload());
}

}  // namespace kestrom
