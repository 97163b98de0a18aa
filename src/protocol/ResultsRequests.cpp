// "RFQ", "RRQ" and "RHQ": one results file by its event key, and for FieldOrvo the walk to the
// next heat of a round ("RFQ" with the mark "+").
#include <cstdio>
#include <vector>

#include "base/FileCause.h"
#include "base/FileEx.h"
#include "base/FileFind.h"
#include "base/Path.h"
#include "base/TextConvert.h"
#include "core/Messages.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "protocol/ResultsFiles.h"
#include "wire/CommandTable.h"
#include "wire/RequestGrammar.h"

namespace kestrom {

namespace {

// "RRP": the file's date stamp, a comma and its lines, each ended by CR LF. A file that is
// found but cannot be opened is answered "NLR" so the client does not wait for ever.
void SendResultsFile(CCommandProcessor& p, const std::u16string& path, TimeValue fileTime) {
    CFileEx file(path);
    if (const CStatus opened =
            file.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary);
        !opened) {
        p.Log(WithPathAndCause(kMsgErrorOpeningResultsFile.text, path, opened), LogLevel::kError);
        p.SendReply(u"NLR");
        return;
    }
    file.SetReadEncoding(FileEncoding::kAuto);
    std::u16string payload = FormatDateStamp(fileTime);
    payload += u',';
    // Ctrl-Z ends a line like LF and reading goes on after it.
    while (file.NotAtEnd()) {
        file.ReadToken(payload, u"\n\x1a", {}, {});
        payload += u"\r\n";
    }
    file.Close();
    p.SendReply(u"RRP", payload);
}

std::u16string_view WithoutExtension(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    return dot == std::u16string_view::npos ? name : name.substr(0, dot);
}

// The heats of the key's event and round: compact names first, then dash names, each in name
// order, so the walk goes through the heats in order on every file system. Only the names that
// start with the event's digits are looked at, not the whole folder.
FolderListing ListRoundFiles(CCommandProcessor& p, const CEventInfo& key) {
    char buf[48];
    int n = std::snprintf(buf, sizeof buf, "%03d", key.event);
    std::u16string common(buf, buf + n);
    n = std::snprintf(buf, sizeof buf, "%03d%1d*.qff", key.event, key.round);
    const std::u16string compact(buf, buf + n);
    n = std::snprintf(buf, sizeof buf, "%03d-%1d-*.qff", key.event, key.round);
    const std::u16string dash(buf, buf + n);

    FolderListing candidates =
        p.MeetFolders().ListByPrefix(p.ResultsDirectory(), common, common + u"*.qff");
    FolderListing listing;
    listing.status = candidates.status;
    for (auto& f : candidates.files)
        if (!f.isDirectory && WildcardMatch(compact, f.name)) listing.files.push_back(f);
    for (auto& f : candidates.files)
        if (!f.isDirectory && WildcardMatch(dash, f.name)) listing.files.push_back(f);
    return listing;
}

void HandleNextResults(CCommandProcessor& p, const CEventInfo& key) {
    const FolderListing round = ListRoundFiles(p, key);
    if (!round.status) {
        // An unreadable folder is not the end of the round: the device is told it failed.
        p.Log(
            WithPathAndCause(kMsgErrorFindingResultsFile.text, p.ResultsDirectory(), round.status),
            LogLevel::kError);
        p.SendReply(u"NLR");
        return;
    }
    const std::vector<FoundFile>& listing = round.files;
    if (listing.empty()) {
        p.SendReply(u"NLR");
        return;
    }
    size_t next = 0;
    if (key.heat != 0) {
        auto indexOf = [&](std::u16string_view name) -> std::optional<size_t> {
            for (size_t i = 0; i < listing.size(); ++i)
                if (WithoutExtension(listing[i].name) == name) return i;
            return std::nullopt;
        };
        std::u16string looked = ResultsFileName(key, ResultsNameForm::kDash, {});
        auto at = indexOf(looked);
        if (!at) {
            looked = ResultsFileName(key, ResultsNameForm::kCompact, {});
            at = indexOf(looked);
        }
        if (!at || *at + 1 == listing.size()) {
            p.Log(u"(FieldOrvo)Results Request (" + looked + u") - No more results",
                  LogLevel::kInfo);
            p.SendReply(u"NLR");
            return;
        }
        next = *at + 1;
    }
    const FoundFile& file = listing[next];
    p.Log(u"(FieldOrvo)Results Request (" + std::u16string(WithoutExtension(file.name)) + u")",
          LogLevel::kInfo);
    SendResultsFile(p, JoinPath(p.ResultsDirectory(), file.name), file.lastWriteTime);
}

}  // namespace

void HandleResultsRequest(CCommandProcessor& p, RequestKind kind, std::u16string_view message) {
    auto payload = FindPayload(message);
    CEventInfo key;
    char16_t mark = kNoDirection;
    if (!payload || !ReadEventKey(*payload, key, &mark)) {
        p.Log(kMsgIncompleteResultsChangedRequest.text, LogLevel::kError);
        p.SendReply(u"NLR");
        return;
    }
    if (kind == RequestKind::kFieldOrvoResultsRequest && mark == u'+') {
        HandleNextResults(p, key);
        return;
    }
    if (mark != kNoDirection) return;  // no such request: nothing is sent

    std::u16string_view product, extension;
    int eventDigits = kEventDigits;
    switch (kind) {
        case RequestKind::kHyWireResultsRequest:
            product = u"(HY-WIRE)";
            extension = u".hyf";
            eventDigits = kHyWireEventDigits;
            break;
        case RequestKind::kWenlowResultsRequest:
            product = u"(Wenlow)";
            extension = u".q?f";
            break;
        default:
            product = u"(FieldOrvo)";
            extension = u".qff";
            break;
    }
    p.Log(std::u16string(product) + u"Results Request " + EventKeyText(key, u'-'), LogLevel::kInfo);

    const FileLookup found = FindResultsFile(p, p.ResultsDirectory(), key, extension, eventDigits);
    if (!found.file) {
        p.LogNotFound(kMsgErrorFindingResultsFile.text, found);
        p.SendReply(u"NLR");
        return;
    }
    SendResultsFile(p, found.path, found.file->lastWriteTime);
}

}  // namespace kestrom
