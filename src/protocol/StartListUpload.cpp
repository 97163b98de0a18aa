// "SLS": a ClerkOrvo device sends the start list of one heat, merged into orvo.evt.
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <type_traits>

#include "base/AtomicFile.h"
#include "base/FileCause.h"
#include "base/FileEx.h"
#include "base/FileFind.h"
#include "base/Path.h"
#include "base/TextConvert.h"
#include "core/Messages.h"
#include "meetdata/MeetFiles.h"
#include "meetdata/MeetLines.h"
#include "meetdata/Readers.h"
#include "meetdata/StartListMerge.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "wire/RequestGrammar.h"

namespace kestrom {
namespace {

// A start list is one heat: its first line is the heat's header, the lines after it its
// competitor lines. A header line among them would go into the file as a second header of
// another heat (or of this one) and shadow that heat's own start list.
constexpr std::u16string_view kMsgStartListHoldsAnotherHeader =
    u"START LIST REFUSED: IT HOLDS MORE THAN ONE EVENT HEADER LINE";

// True when a line after the first one is an event header line: not empty, not a comment,
// and not a competitor line (those begin with a blank, a tab or a comma). LF ends a line.
bool HoldsAnotherHeaderLine(std::u16string_view startList) {
    size_t lf = startList.find(u'\n');
    while (lf != std::u16string_view::npos) {
        const size_t begin = lf + 1;
        lf = startList.find(u'\n', begin);
        if (begin >= startList.size()) break;
        const char16_t first = startList[begin];
        if (first != u'\n' && first != u';' && first != u' ' && first != u'\t' && first != u',')
            return true;
    }
    return false;
}

// The event file as text with one LF after every line, and the line-end convention it was
// written in.
struct CEventFileText {
    std::u16string content;
    LineEnd lineEndMode = LineEnd::kAuto;
};

// One pass over the file's lines straight into the content, each line and one LF. A Ctrl-Z
// ends a line as a line end does; the one closing the file is an end mark, not a line.
bool ReadEventFileContent(CFileEx& file, CEventFileText& text) {
    std::u16string& content = text.content;
    // At most one character per byte, and one more for a last line without its line end.
    content.reserve(static_cast<std::size_t>(file.GetLength()) + 1);
    ReadMeetFileLines(file, [&](auto& lines) {
        typename std::remove_reference_t<decltype(lines)>::View line;
        bool closingCtrlZ = false;
        while (lines.Next(line)) {
            if (closingCtrlZ) content += u'\n';  // it was not the last after all
            closingCtrlZ = line.empty() && lines.EndedByCtrlZ();
            if (closingCtrlZ) continue;
            AppendLine(content, line);
            content += u'\n';
        }
        text.lineEndMode = lines.LineEndMode();
    });
    return file.Status().Ok();
}

// Removes a backup left by an earlier run. Its read-only mark does not stop the removal
// here (only the folder's permissions do); any failure is ignored, as the file is not needed.
void RemoveStaleBackup(const std::u16string& path) {
    RemoveFile(path);  // a backup that stays is harmless; the merge goes on either way
}

class CStartListUpload {
  public:
    explicit CStartListUpload(CCommandProcessor& p) : p_(p) {}

    void Run(std::u16string_view message, std::u16string_view clientLabel) {
        p_.Log(WithClientLabel(clientLabel, kMsgReceivingStartList.text), LogLevel::kInfo);

        // The event file whatever the case of its name: the merged file replaces that one.
        const FileLookup eventFile = p_.FindMeetFile(p_.EventDirectory(), kEventFileName);
        eventPath_ = eventFile.path;
        p_.NoteUpload(FileNamePart(eventPath_), message.size() * BytesPerChar(p_.Mode()));
        if (!eventFile.file) {
            p_.LogNotFound(kMsgErrorFindingEventFile.text, eventFile);
            p_.SendReply(u"NLS");
            return;
        }
        const auto payload = FindPayload(message);
        CEventInfo key;
        if (!payload || !ReadEventKey(*payload, key)) {
            p_.Log(kMsgIncompleteStartList.text, LogLevel::kError);
            p_.SendReply(u"NLS");
            return;
        }
        p_.Log(EventKeyText(key), LogLevel::kInfo);

        std::u16string startList;
        startList.reserve(payload->size());
        for (char16_t c : *payload)
            if (c != u'\r') startList.push_back(c);

        if (HoldsAnotherHeaderLine(startList)) {
            p_.Log(kMsgStartListHoldsAnotherHeader, LogLevel::kError);
            p_.SendReply(u"NLS");
            return;
        }
        if (!UpdateEventFile(startList, key)) {
            p_.SendReply(u"NLS");
            return;
        }
        const auto written = LookUpFile(eventPath_);
        p_.SendReply(u"ROK", FormatDateStamp(written ? written->lastWriteTime : 0));
        char keyText[96];
        std::snprintf(keyText, sizeof keyText,
                      "ClerkOrvo Sent a New Start List for %03d-%01d-%02d.", key.event, key.round,
                      key.heat);
        p_.Balloon(U16(keyText));
    }

  private:
    // One update at a time across all connections; the new file replaces orvo.evt in one
    // rename, so the event file is always there, old or new, never a mixture.
    bool UpdateEventFile(std::u16string_view startList, const CEventInfo& key) {
        std::lock_guard lock(p_.EventFileUpdateLock());

        CEventFileText text;
        {
            CFileEx file(eventPath_);
            if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyWrite | CFileEx::typeBinary) ||
                !ReadEventFileContent(file, text))
                return FailToOpen(eventPath_);
        }

        const CStartListSplice splice = PlanStartListMerge(text.content, startList, key);
        for (int i = 0; i < splice.badHeaderReads; ++i)
            p_.Log(kMsgBadFormatEventFile.text, LogLevel::kError);
        if (!splice.parsed) return false;

        RemoveStaleBackup(p_.FindMeetFile(p_.EventDirectory(), kEventFileBackupName).path);

        CAtomicFileWriter writer(eventPath_);
        if (!writer.Create())
            return FailToOpen(writer.TempPath().empty() ? eventPath_ : writer.TempPath());
        CFileEx& out = writer.File();
        out.SetWriteEncoding(p_.UploadEncoding());
        // The convention the file was read in; CR LF when it had no line end.
        const LineEnd mode = text.lineEndMode;
        out.SetWriteLineEndMode(mode >= LineEnd::kCR ? mode : LineEnd::kCRLF);
        out.WriteByteOrderMark();
        // The merged file goes out piece by piece; it is never built in memory.
        for (std::u16string_view piece : splice.Pieces(text.content)) out.WriteString(piece);
        p_.KeepVersion(eventPath_);
        if (!writer.Commit()) return FailToOpen(eventPath_);
        return true;
    }

    bool FailToOpen(const std::u16string& path) {
        LogWithPath(kMsgErrorOpeningEventFile.text, path);
        return false;
    }

    void LogWithPath(std::u16string_view message, const std::u16string& path) {
        p_.Log(WithPath(message, path), LogLevel::kError);
    }

    CCommandProcessor& p_;
    std::u16string eventPath_;
};

}  // namespace

void HandleStartListUpload(CCommandProcessor& p, RequestKind, std::u16string_view message,
                           std::u16string_view clientLabel) {
    try {
        CStartListUpload(p).Run(message, clientLabel);
    } catch (const std::exception&) {
        // Out of memory and the like: the event file stays as it was.
        p.SendReply(u"NLS");
    }
}

}  // namespace kestrom
