#pragma once
// The object that serves one request message: dispatch by request kind, the reply writer,
// the version reply, and the log and balloon calls the handlers make.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "base/FileEx.h"
#include "base/FileFindIndex.h"
#include "core/OperatorInterface.h"
#include "core/Settings.h"
#include "protocol/FileHistory.h"
#include "protocol/RequestObserver.h"
#include "wire/CommandTable.h"
#include "wire/ReplyChannel.h"
#include "wire/WireChars.h"

namespace kestrom {

// Large replies leave in blocks of this size, so each send is bounded and a reply that is
// read from a file needs no more than one block in memory.
inline constexpr size_t kReplyBlockBytes = 256 * 1024;
// Room kept in front of a payload in wire bytes for the reply header (SendReplyWire).
inline constexpr size_t kReplyHeaderRoom = 128;

// What every request shares with the rest of the server for the whole run.
struct CRequestContext {
    CSharedSettings& settings;
    COperatorInterface& op;
    // Held around the whole event file update so start lists from different connections
    // never interleave.
    std::mutex& eventFileUpdateLock;
    // The names in the meet folders, shared by every connection, so that finding a file
    // whatever its case does not list the folder on each request.
    CMeetFolders meetFolders{};
    // Told of every message and upload when a front end watches (the console); none else.
    CRequestObserver* observer = nullptr;
    // Where replaced results files and event files keep their earlier versions; none keeps
    // nothing.
    CFileHistory* history = nullptr;
};

class CCommandProcessor {
  public:
    // With the settings as they stand now.
    CCommandProcessor(CRequestContext& context, CReplyChannel& channel);
    // Takes the settings as they stand now, for the next message of a connection that keeps
    // one processor for its whole life.
    void TakeSettings();
    // With a snapshot the caller took for this message.
    CCommandProcessor(CRequestContext& context, CReplyChannel& channel, CKestromSettings settings);

    // Settings as they stood when the message arrived; CharMode and the folders of this
    // request come from here.
    const CKestromSettings& Settings() const { return *settings_; }
    const std::u16string& EventDirectory() const { return settings_->EventDirectory; }
    const std::u16string& ResultsDirectory() const { return settings_->ResultsDirectory; }
    // The setting as stored: files written take it as their encoding, the upload checksum
    // tests it for 1 exactly.
    int CharMode() const { return settings_->CharMode; }
    // Uploads are stored as wide as the wire carried them: UTF-16 in every two-byte mode, so
    // no character that arrived is narrowed away.
    FileEncoding UploadEncoding() const {
        return CharMode() == 0 ? FileEncoding::k8Bit : FileEncoding::kUtf16;
    }
    // How this message's replies travel.
    WireMode Mode() const { return WireModeOf(settings_->CharMode); }

    // Runs the handler of the kind to its end, reply included.
    void Dispatch(RequestKind kind, std::u16string_view message, std::u16string_view clientLabel);

    // The reply record: SOH code ",PSZ=" size STX payload ETX EOT, sent in one go.
    void SendReply(std::u16string_view code, std::u16string_view payload = {});
    // The same record around a payload that is already in wire bytes of this CharMode:
    // `wire` holds kReplyHeaderRoom bytes of room, then the payload. The header goes into the
    // room and ETX EOT behind the payload, and the whole leaves in blocks.
    void SendReplyWire(std::u16string_view code, std::string& wire);
    // Bytes in blocks of kReplyBlockBytes, stopping at the first failed send: the bytes sent,
    // or -1.
    int SendBlocks(std::string_view bytes);
    void AbortConnection() { channel_.Abort(); }
    bool HoldReplyMemory(size_t bytes, CBudgetHold& hold) {
        return channel_.HoldReplyMemory(bytes, hold);
    }
    // "HMM" with the version text, scrambled (+71) when asked and CharMode is 0, else empty.
    void SendVersionReply(bool scramble);
    // Raw text through the connection (the image reply).
    int SendText(std::u16string_view text, bool singleByte);
    int SendBytes(std::string_view bytes) { return channel_.SendBytes(bytes); }

    void Log(std::u16string_view text, LogLevel level);
    // Balloon with the title "Kestrom", the information icon and 10 seconds.
    void Balloon(std::u16string_view text);

    // `name` in `folder` as Windows finds it (CMeetFolders::Find): every open, replacement and
    // lookup of a meet file goes through here. Names that differ only in case are logged the
    // first time they are met.
    FileLookup FindMeetFile(std::u16string_view folder, std::u16string_view name);
    CMeetFolders& MeetFolders() { return context_.meetFolders; }
    // `message`, ": " and the path of a file not found, with the cause when the folder itself
    // could not be read, at level 2.
    void LogNotFound(std::u16string_view message, const FileLookup& lookup);

    COperatorInterface& Operator() { return context_.op; }
    std::mutex& EventFileUpdateLock() { return context_.eventFileUpdateLock; }

    // The peer of this message, as admission found it.
    void SetPeer(std::u16string_view ip, std::u16string_view mac) {
        peerIp_ = ip;
        peerMac_ = mac;
    }
    const std::u16string& PeerIp() const { return peerIp_; }
    // An upload handler names the file it stores and the size of what arrived; Dispatch
    // reports it with the outcome to the observer.
    void NoteUpload(std::u16string_view file, std::uint64_t bytes) {
        uploadFile_ = file;
        uploadBytes_ = bytes;
    }
    // Called with the replacement claim held, just before a meet file is replaced.
    void KeepVersion(std::u16string_view path) {
        if (context_.history && !context_.history->Keep(path, peerIp_))
            Log(u"The replaced version of " + std::u16string(path) + u" could not be kept",
                LogLevel::kError);
    }

  private:
    void Serve(RequestKind kind, std::u16string_view message, std::u16string_view clientLabel);

    CRequestContext& context_;
    CReplyChannel& channel_;
    std::shared_ptr<const CKestromSettings> settings_;
    std::u16string peerIp_;
    std::u16string peerMac_;
    std::u16string uploadFile_;
    std::uint64_t uploadBytes_ = 0;
    // The reply codes of the message being served, for the upload record.
    std::u16string lastReplyCode_;
    bool checksumRefused_ = false;
};

}  // namespace kestrom
