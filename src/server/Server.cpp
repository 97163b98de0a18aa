#include "server/Server.h"

#include <string>

#include "base/AtomicFile.h"
#include "base/Path.h"
#include "base/TextConvert.h"
#include "net/ListeningSocket.h"

namespace kestrom {

CKestromServer::CKestromServer(COperatorInterface& op)
    : op_(op),
      requestContext_{settings_, op_, eventFileUpdateLock_, {}, &observers_, &history_},
      admissionContext_{op_, accessList_, clients_, prompts_, &observers_},
      handler_(requestContext_, admissionContext_) {}

CKestromServer::~CKestromServer() {
    StopListening();
}

void CKestromServer::RemoveStaleTemporaryFiles() {
    const CKestromSettings settings = settings_.Get();
    const std::u16string accessListFolder(FolderPart(accessList_.StoragePath()));
    for (const std::u16string& folder :
         {settings.EventDirectory, settings.ResultsDirectory, accessListFolder}) {
        if (const int removed = kestrom::RemoveStaleTemporaryFiles(folder); removed > 0)
            op_.AddLogLine(u"Removed " + U16(std::to_string(removed)) +
                               u" temporary files of an interrupted write from " +
                               (folder.empty() ? u"." : folder),
                           LogLevel::kInfo);
    }
}

bool CKestromServer::StartListening() {
    StopListening();
    RemoveStaleTemporaryFiles();
    const CKestromSettings settings = settings_.Get();
    history_.SetLimits(
        {settings.HistoryVersions,
         static_cast<std::uint64_t>(settings.HistoryMegabytesPerFile) * 1024 * 1024});
    auto listener = std::make_unique<CListeningSocket>(op_, handler_);
    if (const CStatus listening = listener->Create(settings.PortNumber, settings.TCPSendBufferSize,
                                                   settings.TCPReceiveBufferSize, settings.Limits);
        !listening) {
        op_.AddLogLine(u"UNABLE TO LISTEN ON PORT " + U16(std::to_string(settings.PortNumber)) +
                           u": " + listening.Detail(),
                       LogLevel::kError);
        return false;
    }
    std::lock_guard lock(listenerMutex_);
    listener_ = std::move(listener);
    return true;
}

void CKestromServer::StopListening() {
    std::unique_ptr<CListeningSocket> listener;
    {
        std::lock_guard lock(listenerMutex_);
        listener.swap(listener_);
    }
    listener.reset();  // closes and joins outside the lock
}

bool CKestromServer::IsListening() const {
    std::lock_guard lock(listenerMutex_);
    return listener_ != nullptr;
}

int CKestromServer::ListeningPort() const {
    std::lock_guard lock(listenerMutex_);
    return listener_ ? listener_->Port() : -1;
}

int CKestromServer::ListenerSendBufferSize() const {
    std::lock_guard lock(listenerMutex_);
    return listener_ ? listener_->SendBufferSize() : -1;
}

int CKestromServer::ListenerReceiveBufferSize() const {
    std::lock_guard lock(listenerMutex_);
    return listener_ ? listener_->ReceiveBufferSize() : -1;
}

}  // namespace kestrom
