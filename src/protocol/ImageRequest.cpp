// "IRQ": the finish picture of a heat, sent as binary after a short text header when the
// server's picture is newer than the client's.
#include <cstring>
#include <memory>
#include <string>

#include "fileio/FileCause.h"
#include "fileio/FileEx.h"
#include "fileio/Path.h"
#include "meetdata/Readers.h"
#include "protocol/CommandProcessor.h"
#include "protocol/Handlers.h"
#include "protocol/Messages.h"
#include "protocol/RequestGrammar.h"
#include "protocol/ResultsFiles.h"

namespace kestrom {

namespace {

// SOH "RFI,PSZ=0" STX ETX, one byte per character and no EOT.
void SendEmptyImageReply(CCommandProcessor& p) {
    static constexpr char16_t kEmpty[] = {kSOH, u'R', u'F', u'I', u',', u'P',
                                          u'S', u'Z', u'=', u'0', kSTX, kETX};
    p.SendText(std::u16string_view(kEmpty, std::size(kEmpty)), true);
}

void Refuse(CCommandProcessor& p) {
    p.Log(kMsgIncompleteImageRequest.text, kLogError);
    SendEmptyImageReply(p);
}

}  // namespace

void HandleImageRequest(CCommandProcessor& p, int, const std::u16string& message) {
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
    int cause = 0;
    if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary, &cause)) {
        p.Log(WithPathAndCause(kMsgErrorOpeningImageFile.text, path, cause), kLogError);
        SendEmptyImageReply(p);
        return;
    }
    // Read what the file holds now, up to its length at opening, so the size in the header
    // is exactly the number of bytes that follow it even while the file changes. The bytes
    // are read behind room for the header, which is put in front of them afterwards, so the
    // reply leaves in one send; the buffer is not cleared first, the read fills it.
    constexpr size_t kHeaderRoom = 64;
    const size_t length = static_cast<size_t>(file.GetLength());
    std::unique_ptr<char[]> buffer(new char[kHeaderRoom + length]);
    const size_t read = file.Read(buffer.get() + kHeaderRoom, length);
    file.Close();

    std::string header = "\x01RFI,PSZ=";
    header += std::to_string(read);
    header += '\x02';
    for (char16_t c : FormatDateStamp(found->lastWriteTime)) header += static_cast<char>(c);
    header += ',';
    char* const start = buffer.get() + kHeaderRoom - header.size();
    std::memcpy(start, header.data(), header.size());
    p.SendBytes(std::string_view(start, header.size() + read));
}

}  // namespace kestrom
