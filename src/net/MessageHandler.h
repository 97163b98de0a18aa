#pragma once
// What the network layer hands its messages to. It knows connections, bytes and complete
// messages; admission and dispatch are the handler's, given to the listener by the server.
#include <memory>
#include <string>
#include <string_view>

#include "wire/ReplyChannel.h"
#include "wire/WireChars.h"

namespace kestrom {

// The handler's side of one connection, used only on that connection's thread.
class CConnectionHandler {
  public:
    virtual ~CConnectionHandler() = default;
    // Called before each read is framed: the character mode the read's bytes are taken in
    // and the replies to the message they complete are sent in.
    virtual WireMode BeginRead() = 0;
    // Serves one complete message to its end, replies included.
    virtual void Serve(std::u16string_view message) = 0;
};

class CMessageHandler {
  public:
    virtual ~CMessageHandler() = default;
    // For a new connection from `peerIp` (text, empty when unknown) whose replies go out
    // through `channel`; lives as long as the connection. Called as the connection is
    // accepted, on the listener's thread.
    virtual std::unique_ptr<CConnectionHandler> Open(std::u16string_view peerIp,
                                                     CReplyChannel& channel) = 0;
};

}  // namespace kestrom
