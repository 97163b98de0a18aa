// "RFF" and "RFT": a FieldOrvo device stores the results of a field-event heat.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "base/AtomicFile.h"
#include "base/DiskSpace.h"
#include "base/FileCause.h"
#include "base/FileEx.h"
#include "base/FileFind.h"
#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "base/Path.h"
#include "base/TextConvert.h"
#include "core/Messages.h"
#include "meetdata/Readers.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "protocol/ResultsFiles.h"
#include "wire/CommandTable.h"
#include "wire/Records.h"
#include "wire/WireChars.h"

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

// Free bytes for an unprivileged writer in the folder's file system; nothing when unknown.
std::optional<std::uint64_t> FreeBytes(const std::u16string& folder) {
    return FreeBytesIn(folder);
}

std::u16string Decimal(std::uint64_t value) {
    return U16(std::to_string(value));
}

// The payload as the readers of the stamp and the key see it, unscrambled. Those readers look
// at the first fields only, so only a head is unscrambled when the fields they read end inside
// it: it holds enough commas and no quote (a quoted field may carry a comma past the head).
// Otherwise the whole payload is, as a reader of the whole text would see it.
class CUploadText {
  public:
    CUploadText(std::u16string_view payload, bool unscramble) : payload_(payload) {
        if (!unscramble) {
            text_ = payload;
            return;
        }
        const std::u16string_view head = payload.substr(0, kHeadChars);
        copy_ = Unscramble(head);
        text_ = copy_;
        whole_ = head.size() == payload.size();
        unscramble_ = true;
    }

    // The text from `from` on, exact for reading its first `fields` fields.
    std::u16string_view From(size_t from, int fields) {
        if (!whole_ && !HeadHolds(from, fields)) {
            copy_ = Unscramble(payload_);
            text_ = copy_;
            whole_ = true;
        }
        return text_.substr(std::min(from, text_.size()));
    }

  private:
    static constexpr size_t kHeadChars = 1024;

    bool HeadHolds(size_t from, int fields) const {
        if (!unscramble_) return true;
        const std::u16string_view rest = text_.substr(std::min(from, text_.size()));
        if (rest.find(u'"') != std::u16string_view::npos) return false;
        return std::count(rest.begin(), rest.end(), u',') >= fields;
    }

    std::u16string_view payload_;
    std::u16string copy_;
    std::u16string_view text_;
    bool whole_ = true;
    bool unscramble_ = false;
};

class CResultsUpload {
  public:
    CResultsUpload(CCommandProcessor& p, RequestKind kind, std::u16string_view message)
        : p_(p), kind_(kind), message_(message) {}

    void Run(std::u16string_view clientLabel) {
        p_.Log(WithClientLabel(clientLabel, kMsgReceivingResults.text), LogLevel::kInfo);

        // The bounds and the checksum in one pass; the payload stays as it arrived, and is
        // unscrambled on its way into the file.
        const CUploadScan scan = ScanUpload(message_, p_.CharMode() == 1);
        if (!scan.bounded) return Refuse();
        std::u16string_view payload = message_.substr(scan.stx + 1, scan.etx - scan.stx - 1);
        CUploadText text(payload, p_.Mode() == WireMode::kSingleByte);
        size_t from = 0;

        if (kind_ == RequestKind::kResultsUploadStamped) {
            const auto stripped = CheckStamp(text);
            if (!stripped) return;
            from = *stripped;
            payload.remove_prefix(std::min(payload.size(), from));
        }

        if (!ReadEventKey(text.From(from, 3), key_)) return Refuse();
        p_.Log(EventKeyText(key_), LogLevel::kInfo);
        p_.NoteUpload(ResultsFileName(key_, ResultsNameForm::kDash, u".qff"),
                      payload.size() * BytesPerChar(p_.Mode()));

        const auto sent = ReadUploadChecksum(message_, scan.etx);
        if (!sent || !scan.checksum) return Refuse();
        if (*sent != *scan.checksum) {
            p_.SendReply(u"NOK");
            p_.SendReply(u"NSR");
            return;
        }
        if (!Fits(payload.size())) return;
        Store(payload);
    }

  private:
    void Refuse() {
        p_.Log(kMsgIncompleteReceivingResults.text, LogLevel::kError);
        p_.SendReply(u"NSR");
    }

    // "RFT": how many characters of date stamp to strip; nothing (after the reply) when the
    // upload must not be stored because its date is unusable or the folder's file of the heat
    // is newer.
    std::optional<size_t> CheckStamp(CUploadText& text) {
        const auto field = ReadField(text.From(0, 1), 0);
        if (!field) return 0;
        const auto date = ReadUploadDate(*field);
        if (!date) {
            Refuse();
            return std::nullopt;
        }
        CEventInfo key;
        // Without a key the upload is refused below; there is no file to compare with.
        if (!ReadEventKey(text.From(kDateStampPrefix, 3), key)) return kDateStampPrefix;
        const FileLookup found = FindResultsFile(p_, p_.ResultsDirectory(), key, u".qff",
                                                 kEventDigits, ResultsNameOrder::kCompactFirst);
        if (found.file && found.file->lastWriteTime > *date) {
            p_.Log(u"Result file (" + found.file->name +
                       u") not stored.  Current result has a newer timestamp",
                   LogLevel::kError);
            p_.SendReply(u"NSR");
            return std::nullopt;
        }
        return kDateStampPrefix;
    }

    // Refuses (after the log line and "NSR") a text far beyond any real results file, and
    // any upload once the results folder's disk is down to its reserve: the disk is shared
    // with the photo-finish system and the event file, which must never be the one that fails.
    bool Fits(size_t payloadChars) {
        const CKestromSettings& s = p_.Settings();
        const std::uint64_t bytes = payloadChars * BytesPerChar(p_.Mode());
        if (s.MaxResultsUploadBytes > 0 &&
            bytes > static_cast<std::uint64_t>(s.MaxResultsUploadBytes))
            return NotStored(
                u"The upload of " + Decimal(bytes) + u" bytes is larger than the limit of " +
                Decimal(static_cast<std::uint64_t>(s.MaxResultsUploadBytes)) + u" bytes");
        if (s.ResultsFreeSpaceReserveMB > 0) {
            const std::uint64_t reserve =
                static_cast<std::uint64_t>(s.ResultsFreeSpaceReserveMB) * 1024 * 1024;
            const auto free = FreeBytes(p_.ResultsDirectory());
            if (free && *free < reserve + bytes)
                return NotStored(u"Free disk space (" + Decimal(*free / (1024 * 1024)) +
                                 u" MB) is below the reserve of " +
                                 Decimal(static_cast<std::uint64_t>(s.ResultsFreeSpaceReserveMB)) +
                                 u" MB");
        }
        return true;
    }

    bool NotStored(std::u16string_view why) {
        p_.Log(u"Result file (" + ResultsFileName(key_, ResultsNameForm::kDash, u".qff") +
                   u") not stored.  " + std::u16string(why),
               LogLevel::kError);
        p_.SendReply(u"NSR");
        return false;
    }

    void Store(std::u16string_view payload) {
        // The file a results request finds under the dash name, whatever its case, is the one
        // replaced, and it keeps its name; a new heat gets the name as written.
        const std::u16string path =
            p_.FindMeetFile(p_.ResultsDirectory(),
                            ResultsFileName(key_, ResultsNameForm::kDash, u".qff"))
                .path;
        // The reply waits until the temporary file and any name-holder are gone again, so a
        // client that looks at the folder after "NSR" finds it as it was.
        if (!Write(payload, path)) return FailToOpen(path);
        p_.SendReply(u"ROK");
        p_.Balloon(Printf("FieldOrvo Sent Results for %03d-%01d-%02d.", key_.event, key_.round,
                          key_.heat));
    }

    // Readers of the heat's file go on reading the old one meanwhile; a second upload of the
    // heat in the same moment is refused (the writer claims the file).
    bool Write(std::u16string_view payload, const std::u16string& path) {
        CAtomicFileWriter writer(path);
        if (!writer.Create()) return false;
        const FileEncoding encoding = p_.UploadEncoding();
        CFileEx& file = writer.File();
        file.SetWriteEncoding(encoding);
        file.WriteByteOrderMark();
        // Unscrambled, every CR and LF as CR LF and narrowed or not, a piece at a time: the
        // payload is never copied whole.
        const bool unscramble = p_.Mode() == WireMode::kSingleByte;
        const bool wide = encoding == FileEncoding::kUtf16;
        std::unique_ptr<char[]> bytes(new char[kPieceChars * 4]);
        for (size_t at = 0; at < payload.size(); at += kPieceChars) {
            const size_t n =
                StoredUploadBytes(payload.substr(at, kPieceChars), unscramble, wide, bytes.get());
            if (!file.Write(bytes.get(), n)) break;  // the commit reports it
        }
        // A heat seen for the first time gets its name in one step, already holding the
        // whole content (link fails when the name exists), so no crash leaves it empty.
        if (!writer.TargetExisted()) return writer.CommitNew().Ok();
        p_.KeepVersion(path);
        return writer.Commit().Ok();
    }

    void FailToOpen(const std::u16string& path) {
        p_.Log(WithPath(kMsgErrorOpeningResultsFile.text, path), LogLevel::kError);
        p_.SendReply(u"NSR");
    }

    // Characters turned into file bytes at a time: a narrow piece is large enough to bypass
    // the file's own buffer.
    static constexpr size_t kPieceChars = 64 * 1024;

    CCommandProcessor& p_;
    RequestKind kind_;
    std::u16string_view message_;
    CEventInfo key_;
};

}  // namespace

void HandleResultsUpload(CCommandProcessor& p, RequestKind kind, std::u16string_view message,
                         std::u16string_view clientLabel) {
    try {
        CResultsUpload(p, kind, message).Run(clientLabel);
    } catch (const std::exception&) {
        // Out of memory and the like: the upload is not stored and the connection goes on.
        p.Log(kMsgIncompleteReceivingResults.text, LogLevel::kError);
        p.SendReply(u"NSR");
    }
}

}  // namespace kestrom
