#pragma once
// The application object: owns the settings record, the access control list, the client
// address lists and the listener for the whole run. Front ends create exactly one.
#include <atomic>
#include <memory>
#include <mutex>

#include "app/OperatorInterface.h"
#include "app/Settings.h"
#include "security/AccessControlList.h"
#include "security/ClientAddressLists.h"

namespace kestrom {

class CListeningSocket;

class CKestromServer {
public:
    explicit CKestromServer(COperatorInterface& op);
    ~CKestromServer();
    CKestromServer(const CKestromServer&) = delete;
    CKestromServer& operator=(const CKestromServer&) = delete;

    CSharedSettings& Settings() { return settings_; }
    CAccessControlList& AccessList() { return accessList_; }
    CClientAddressLists& ClientAddresses() { return clients_; }
    std::atomic<bool>& PromptForUnknownClients() { return promptForUnknownClients_; }
    std::atomic<bool>& OptionsDialogOpen() { return optionsDialogOpen_; }
    COperatorInterface& Operator() { return op_; }

    // Creates the listener on the settings' port with its buffer sizes. Failing to listen is
    // silent: the program runs without serving, and this returns false.
    bool StartListening();
    void StopListening();
    bool IsListening() const;
    // The port actually bound (the settings' port, or the system's pick for port 0).
    int ListeningPort() const;
    // SO_SNDBUF and SO_RCVBUF of the listening socket; -1 without a listener.
    int ListenerSendBufferSize() const;
    int ListenerReceiveBufferSize() const;

private:
    COperatorInterface& op_;
    CSharedSettings settings_;
    CAccessControlList accessList_;
    CClientAddressLists clients_;
    std::atomic<bool> promptForUnknownClients_{false};
    std::atomic<bool> optionsDialogOpen_{false};
    std::mutex eventFileUpdateLock_;
    std::unique_ptr<CListeningSocket> listener_;
};

}  // namespace kestrom
