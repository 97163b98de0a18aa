#pragma once
// The application object: owns the settings record, the access control list, the client
// address lists and the listener for the whole run. Front ends create exactly one.
#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "core/OperatorInterface.h"
#include "core/Settings.h"
#include "protocol/CommandProcessor.h"
#include "security/AccessControlList.h"
#include "security/Admission.h"
#include "security/ClientAddressLists.h"
#include "server/MessageDispatch.h"
#include "server/OperatorTee.h"

namespace kestrom {

class CListeningSocket;

// The one place connection threads report messages and uploads; a watcher comes and goes
// while they run.
class CRequestObserverSlot : public CRequestObserver {
  public:
    // Setting none waits for the reports under way.
    void Set(CRequestObserver* observer) {
        std::unique_lock lock(mutex_);
        observer_ = observer;
    }
    void OnMessage(std::u16string_view ip, std::u16string_view mac, RequestKind kind,
                   bool refused) override {
        std::shared_lock lock(mutex_);
        if (observer_) observer_->OnMessage(ip, mac, kind, refused);
    }
    void OnUpload(const CUploadRecord& record) override {
        std::shared_lock lock(mutex_);
        if (observer_) observer_->OnUpload(record);
    }

  private:
    std::shared_mutex mutex_;
    CRequestObserver* observer_ = nullptr;
};

class CKestromServer {
  public:
    explicit CKestromServer(COperatorInterface& op);
    ~CKestromServer();
    CKestromServer(const CKestromServer&) = delete;
    CKestromServer& operator=(const CKestromServer&) = delete;

    CSharedSettings& Settings() { return settings_; }
    CAccessControlList& AccessList() { return accessList_; }
    CClientAddressLists& ClientAddresses() { return clients_; }
    // Set by the front end: whether unknown clients are put to the operator.
    CPromptPolicy& Prompts() { return prompts_; }
    // The front end's operator with a copy of its lines for a watcher (the console).
    COperatorTee& Operator() { return op_; }
    CRequestObserverSlot& RequestObservers() { return observers_; }
    // Earlier versions of the replaced meet files; limits from the settings at start.
    CFileHistory& History() { return history_; }

    // Removes what a crash in the middle of a file replacement left in the meet folders and
    // the access list's folder, with one log line per folder that had any. Done by
    // StartListening, before any request can write.
    void RemoveStaleTemporaryFiles();
    // Creates the listener on the settings' port with its buffer sizes. When it cannot listen
    // an error line naming the port and the reason goes to the event log, the program runs
    // without serving, and this returns false. A running listener is replaced.
    bool StartListening();
    // Closes the listener and ends every connection, joining all their threads. Also done by
    // the destructor, so no connection outlives the objects it uses.
    void StopListening();
    bool IsListening() const;
    // The port actually bound (the settings' port, or the system's pick for port 0).
    int ListeningPort() const;
    // SO_SNDBUF and SO_RCVBUF of the listening socket; -1 without a listener.
    int ListenerSendBufferSize() const;
    int ListenerReceiveBufferSize() const;

  private:
    COperatorTee op_;
    CRequestObserverSlot observers_;
    CFileHistory history_;
    CSharedSettings settings_;
    CAccessControlList accessList_;
    CClientAddressLists clients_;
    CPromptPolicy prompts_;
    std::mutex eventFileUpdateLock_;
    CRequestContext requestContext_;
    CAdmissionContext admissionContext_;
    CAdmittingHandler handler_;
    mutable std::mutex listenerMutex_;
    std::unique_ptr<CListeningSocket> listener_;
};

}  // namespace kestrom
