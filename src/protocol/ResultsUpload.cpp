// "RFF" and "RFT": a FieldOrvo device stores the results of a field-event heat.

#include <cstdio>
#include <optional>
#include <string>

#include "fileio/AtomicFile.h"
#include "fileio/FileCause.h"
#include "fileio/FileEx.h"
#include "fileio/FileFind.h"
#include "fileio/LocalTime.h"
#include "fileio/NumberText.h"
#include "fileio/Path.h"
#include "fileio/TextConvert.h"
#include "meetdata/Readers.h"
#include "protocol/CommandProcessor.h"
#include "protocol/CommandTable.h"
#include "protocol/Handlers.h"
#include "protocol/Messages.h"
#include "protocol/RequestGrammar.h"
#include "protocol/ResultsFiles.h"
#include "protocol/UploadChecksum.h"

namespace kestrom {
namespace {

constexpr size_t kDateStampPrefix = 15;  // 14 digits and a comma

std::u16string Printf(const char* format, int a, int b, int c) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return U16(text);
}

// The device's date stamp of an "RFT" upload: fixed positions of the first field. Nothing
// when the values form no real local time (those uploads are refused).
std::optional<std::time_t> ReadUploadDate(std::u16string_view field) {
    return FromLocalDateTime(ReadDateStampFields(field));
}

// Holds the heat's results file open without sharing for the whole upload, so a second
// upload of the same heat meanwhile is refused.
class CResultsFileClaim {
  public:
    enum class Outcome { kHeld, kMissing, kRefused };

    explicit CResultsFileClaim(const std::u16string& path) : file_(path) {}

    // The file as it is; kMissing when there is none yet.
    Outcome HoldExisting() {
        int cause = 0;
        if (file_.Open(CFileEx::modeReadWrite | CFileEx::shareExclusive | CFileEx::typeBinary,
                       &cause))
            return Outcome::kHeld;
        return cause == file_cause::kFileNotFound ? Outcome::kMissing : Outcome::kRefused;
    }

    // Lets go just before the rename, which an open without sharing would block.
    void Release() { file_.Close(); }

  private:
    CFileEx file_;
};

class CResultsUpload {
  public:
    CResultsUpload(CCommandProcessor& p, int kind, const std::u16string& message)
        : p_(p), kind_(kind), message_(message) {}

    void Run(std::u16string_view clientLabel) {
        p_.Log(WithClientLabel(clientLabel, kMsgReceivingResults.text), kLogInfo);

        const auto bounds = FindPayloadBounds(message_);
        if (!bounds) return Refuse();
        std::u16string payload(bounds->Payload(message_));
        if (p_.CharMode() == 0) UnscrambleInPlace(payload);

        if (kind_ == kKindResultsUploadStamped && !CheckStamp(payload)) return;

        if (!ReadEventKey(payload, key_)) return Refuse();
        p_.Log(EventKeyText(key_), kLogInfo);

        const auto sent = ReadUploadChecksum(message_, bounds->etx);
        const auto computed = ComputeUploadChecksum(message_, bounds->etx, p_.CharMode());
        if (!sent || !computed) return Refuse();
        if (*sent != *computed) {
            p_.SendReply(u"NOK");
            p_.SendReply(u"NSR");
            return;
        }
        Store(payload);
    }

  private:
    void Refuse() {
        p_.Log(kMsgIncompleteReceivingResults.text, kLogError);
        p_.SendReply(u"NSR");
    }

    // "RFT": strips the date stamp; false (after the reply) when the upload must not be
    // stored because its date is unusable or the folder's file of the heat is newer.
    bool CheckStamp(std::u16string& payload) {
        const auto field = ReadField(payload, 0);
        if (!field) return true;
        const auto date = ReadUploadDate(*field);
        if (!date) {
            Refuse();
            return false;
        }
        payload.erase(0, std::min(payload.size(), kDateStampPrefix));

        CEventInfo key;
        // Without a key the upload is refused below; there is no file to compare with.
        if (!ReadEventKey(payload, key)) return true;
        for (const std::u16string& name : {ResultsFileName(key, ResultsNameForm::kCompact, u".qff"),
                                           ResultsFileName(key, ResultsNameForm::kDash, u".qff")}) {
            const auto found = FindFirstFile(p_.ResultsDirectory(), name);
            if (!found) continue;
            if (found->lastWriteTime > *date) {
                p_.Log(u"Result file (" + found->name +
                           u") not stored.  Current result has a newer timestamp",
                       kLogError);
                p_.SendReply(u"NSR");
                return false;
            }
            break;
        }
        return true;
    }

    void Store(std::u16string& payload) {
        const std::u16string path =
            JoinPath(p_.ResultsDirectory(), ResultsFileName(key_, ResultsNameForm::kDash, u".qff"));
        // The reply waits until the temporary file and any name-holder are gone again, so a
        // client that looks at the folder after "NSR" finds it as it was.
        if (!Write(payload, path)) return FailToOpen(path);
        p_.SendReply(u"ROK");
        p_.Balloon(Printf("FieldOrvo Sent Results for %03d-%01d-%02d.", key_.event, key_.round,
                          key_.heat));
    }

    bool Write(std::u16string& payload, const std::u16string& path) {
        CResultsFileClaim claim(path);
        const auto held = claim.HoldExisting();
        if (held == CResultsFileClaim::Outcome::kRefused) return false;

        CAtomicFileWriter writer(path);
        if (!writer.Create()) return false;
        for (char16_t& c : payload)
            if (c == u'\r') c = u'\n';
        CFileEx& file = writer.File();
        file.SetWriteEncoding(p_.CharMode());
        file.WriteByteOrderMark();
        file.WriteString(payload);
        // A heat seen for the first time gets its name in one step, already holding the
        // whole content (link fails when the name exists), so no crash leaves it empty.
        if (held == CResultsFileClaim::Outcome::kMissing) return writer.CommitNew();
        claim.Release();
        return writer.Commit();
    }

    void FailToOpen(const std::u16string& path) {
        p_.Log(WithPath(kMsgErrorOpeningResultsFile.text, path), kLogError);
        p_.SendReply(u"NSR");
    }

    CCommandProcessor& p_;
    int kind_;
    const std::u16string& message_;
    CEventInfo key_;
};

}  // namespace

void HandleResultsUpload(CCommandProcessor& p, int kind, const std::u16string& message,
                         std::u16string_view clientLabel) {
    try {
        CResultsUpload(p, kind, message).Run(clientLabel);
    } catch (const std::exception&) {
        // Out of memory and the like: the upload is not stored and the connection goes on.
        p.Log(kMsgIncompleteReceivingResults.text, kLogError);
        p.SendReply(u"NSR");
    }
}

}  // namespace kestrom
