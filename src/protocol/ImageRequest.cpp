// "IRQ": the finish picture of a heat, sent as binary after a short text header when the
// server's picture is newer than the client's.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "base/FileCause.h"
#include "base/FileEx.h"
#include "base/Path.h"
#include "core/Messages.h"
#include "meetdata/Readers.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "protocol/ResultsFiles.h"
#include "wire/RequestGrammar.h"

namespace kestrom {

namespace {

// SOH "RFI,PSZ=0" STX ETX, one byte per character and no EOT.
void SendEmptyImageReply(CCommandProcessor& p) {
    static constexpr char16_t kEmpty[] = {kSOH, u'R', u'F', u'I', u',', u'P',
                                          u'S', u'Z', u'=', u'0', kSTX, kETX};
    p.SendText(std::u16string_view(kEmpty, std::size(kEmpty)), true);
}

void Refuse(CCommandProcessor& p) {
    p.Log(kMsgIncompleteImageRequest.text, LogLevel::kError);
    SendEmptyImageReply(p);
}

}  // namespace

void HandleImageRequest(CCommandProcessor& p, RequestKind, std::u16string_view message) {
    auto payload = FindPayload(message);
    if (!payload) return Refuse(p);
    // The key runs up to the third comma and the stamp follows it; fewer than three commas
    // leave no place for either and are refused like an unreadable key.
    size_t third = payload->find(u',');
    for (int i = 1; i < 3 && third != std::u16string_view::npos; ++i)
        third = payload->find(u',', third + 1);
    if (third == std::u16string_view::npos) return Refuse(p);
    CEventInfo key;
    if (!ReadEventKey(payload->substr(0, third), key)) return Refuse(p);
    auto clientTime = ReadDateStamp(payload->substr(third + 1));
    if (!clientTime) return Refuse(p);

    const FileLookup lookup = FindResultsFile(p, p.ResultsDirectory(), key, u".jpg");
    if (!lookup.file) {
        p.LogNotFound(kMsgErrorFindingImageFile.text, lookup);
        SendEmptyImageReply(p);
        return;
    }
    const FoundFile* found = &*lookup.file;
    if (found->lastWriteTime <= *clientTime) {
        SendEmptyImageReply(p);  // the client's picture is current
        return;
    }
    const std::u16string& path = lookup.path;
    CFileEx file(path);
    if (const CStatus opened =
            file.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary);
        !opened) {
        p.Log(WithPathAndCause(kMsgErrorOpeningImageFile.text, path, opened), LogLevel::kError);
        SendEmptyImageReply(p);
        return;
    }
    // The size in the header is the file's length at opening, and exactly that many bytes
    // follow it even while the file changes. A picture of one block is read whole behind room
    // for its header and leaves in one send; a larger one leaves block by block, so a
    // connection holds one block of it however large it is and however slowly it is read.
    constexpr size_t kHeaderRoom = 64;
    const std::uint64_t length = file.GetLength();
    const size_t firstBlock =
        static_cast<size_t>(std::min<std::uint64_t>(length, kReplyBlockBytes));
    CBudgetHold hold;
    if (length > kReplyBlockBytes && !p.HoldReplyMemory(kHeaderRoom + firstBlock, hold)) {
        SendEmptyImageReply(p);
        return;
    }
    // Not cleared first: the read fills it.
    std::unique_ptr<char[]> buffer(new char[kHeaderRoom + firstBlock]);
    const size_t read = file.Read(buffer.get() + kHeaderRoom, firstBlock);
    // A file that shrank before its first block was read is announced as it is now.
    const std::uint64_t announced = length > kReplyBlockBytes && read == firstBlock ? length : read;

    std::string header = "\x01RFI,PSZ=";
    header += std::to_string(announced);
    header += '\x02';
    for (char16_t c : FormatDateStamp(found->lastWriteTime)) header += static_cast<char>(c);
    header += ',';
    char* const start = buffer.get() + kHeaderRoom - header.size();
    std::memcpy(start, header.data(), header.size());
    if (p.SendBytes(std::string_view(start, header.size() + read)) < 0) return;

    std::uint64_t sent = read;
    while (sent < announced) {
        const size_t want =
            static_cast<size_t>(std::min<std::uint64_t>(announced - sent, firstBlock));
        const size_t got = file.Read(buffer.get(), want);
        if (got < want) {
            // The header is gone and promised more than the file now holds: ending the
            // connection lets the device see the reply as broken and ask again, where
            // filling the gap would give it a damaged picture it takes as current.
            const CStatus failure = file.Status();
            p.Log(WithPathAndCause(kMsgErrorOpeningImageFile.text, path,
                                   failure ? CStatus::Failure(file_cause::kEndOfFile) : failure),
                  LogLevel::kError);
            p.AbortConnection();
            return;
        }
        if (p.SendBytes(std::string_view(buffer.get(), got)) < 0) return;
        sent += got;
    }
}

}  // namespace kestrom
