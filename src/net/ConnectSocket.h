#pragma once
// The socket of one client connection: reads, frames, hands complete messages to admission
// and sends the replies. Used only by its own connection thread, except Shutdown.
#include <asio/ip/tcp.hpp>
#include <string>

#include "net/MessageFramer.h"
#include "protocol/CommandProcessor.h"
#include "security/Admission.h"

namespace kestrom {

class CConnectSocket : public CReplyChannel {
  public:
    CConnectSocket(asio::ip::tcp::socket socket, CRequestContext& requestContext,
                   CAdmissionContext& admissionContext);

    // Serves messages until the peer closes the connection, a read fails or Shutdown is called.
    void Run();
    // Callable from any thread: wakes a blocked read or send so that Run returns.
    void Shutdown();

    // The whole text in as few sends as possible, partial sends completed. Returns the bytes
    // sent, or -1 when the connection failed.
    int SendText(std::u16string_view text, bool singleByte) override;
    int SendBytes(std::string_view bytes) override;

    const std::u16string& PeerIpText() const { return peerIp_; }

  private:
    void OnReceive(std::string_view bytes);

    asio::ip::tcp::socket socket_;
    CRequestContext& requestContext_;
    CAdmissionContext& admissionContext_;
    CMessageFramer framer_;
    std::u16string peerIp_;
    int sendCharMode_ = 0;  // CharMode of the message being served
};

}  // namespace kestrom
