// "IRQ": the finish picture of a heat, sent as binary after a short text header when the
// server's picture is newer than the client's.
#include <algorithm>
#include <cstdio>
#include <vector>

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

// Bytes per send of the picture; the bytes on the wire are the same as one send per byte.
constexpr size_t kImageBlock = 64 * 1024;

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
    std::vector<unsigned char> bytes(file.GetLength());
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    file.Close();

    char head[64];
    int n = std::snprintf(head, sizeof head, "\x01RFI,PSZ=%zu\x02", bytes.size());
    std::u16string block(head, head + n);
    block += FormatDateStamp(found->lastWriteTime);
    block += u',';
    size_t pos = 0;
    do {
        const size_t take = std::min(kImageBlock, bytes.size() - pos);
        block.append(bytes.begin() + pos, bytes.begin() + pos + take);
        pos += take;
        p.SendText(block, true);
        block.clear();
    } while (pos < bytes.size());
}

}  // namespace kestrom
