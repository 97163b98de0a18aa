// "IRQ": the finish picture of a heat, sent as binary after a short text header when the
// server's picture is newer than the client's.
#include <cstdio>
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

    const std::u16string& folder = p.ResultsDirectory();
    auto found = FindFirstFile(folder, ResultsFileName(key, ResultsNameForm::kDash, u".jpg"));
    const std::u16string compact = ResultsFileName(key, ResultsNameForm::kCompact, u".jpg");
    if (!found) found = FindFirstFile(folder, compact);
    if (!found) {
        p.Log(WithPath(kMsgErrorFindingImageFile.text, JoinPath(folder, compact)), kLogError);
        SendEmptyImageReply(p);
        return;
    }
    if (found->lastWriteTime <= *clientTime) {
        SendEmptyImageReply(p);  // the client's picture is current
        return;
    }
    const std::u16string path = JoinPath(folder, found->name);
    CFileEx file(path);
    int cause = 0;
    if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary, &cause)) {
        p.Log(WithPathAndCause(kMsgErrorOpeningImageFile.text, path, cause), kLogError);
        SendEmptyImageReply(p);
        return;
    }
    // Read what the file holds now, up to its length at opening, so the size in the header
    // is exactly the number of bytes that follow it even while the file changes.
    std::string bytes(file.GetLength(), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    file.Close();

    char head[64];
    int n = std::snprintf(head, sizeof head, "\x01RFI,PSZ=%zu\x02", bytes.size());
    std::string header(head, head + n);
    for (char16_t c : FormatDateStamp(found->lastWriteTime)) header += static_cast<char>(c);
    header += ',';
    // The picture goes out as the bytes it is, in one send, after its header.
    p.SendBytes(header);
    if (!bytes.empty()) p.SendBytes(bytes);
}

}  // namespace kestrom
