#include "app/Server.h"

namespace kestrom {

class CListeningSocket {};

CKestromServer::CKestromServer(COperatorInterface& op) : op_(op) {}
CKestromServer::~CKestromServer() = default;

bool CKestromServer::StartListening() { return false; }
void CKestromServer::StopListening() { listener_.reset(); }
bool CKestromServer::IsListening() const { return listener_ != nullptr; }
int CKestromServer::ListeningPort() const { return -1; }
int CKestromServer::ListenerSendBufferSize() const { return -1; }
int CKestromServer::ListenerReceiveBufferSize() const { return -1; }

}  // namespace kestrom
