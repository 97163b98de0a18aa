#pragma once
// The client side of the wire protocol: one TCP connection to a Kestrom server that sends
// texts in its character mode and reads reply records. Used by kestrom-client and by the
// end-to-end tests; the encoding and the reply parsing are the wire's.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tools/ClientSocket.h"
#include "wire/Records.h"
#include "wire/ReplyParser.h"
#include "wire/WireText.h"

namespace kestrom::client {

using namespace std::chrono_literals;

// One reply record as received: SOH code ",PSZ=" size STX payload ETX EOT.
struct CReply {
    std::string bytes;         // exactly what arrived, for byte-exact checks
    std::u16string code;       // e.g. u"HMM"
    long size = 0;             // the PSZ value
    std::u16string payload;    // decoded by the character mode
    std::string payloadBytes;  // the payload's raw bytes
};

class CClientConnection {
  public:
    // Connects within the timeout; nothing when the server cannot be reached. A non-empty
    // localAddress (dotted IPv4) binds the client's end first, so tests can appear as other
    // hosts, e.g. 127.0.0.2.
    static std::unique_ptr<CClientConnection> Connect(const std::string& host, int port,
                                                      WireMode mode,
                                                      std::chrono::milliseconds timeout = 5s,
                                                      const std::string& localAddress = {});
    ~CClientConnection();
    CClientConnection(const CClientConnection&) = delete;
    CClientConnection& operator=(const CClientConnection&) = delete;

    WireMode Mode() const { return mode_; }

    // Sends a text in the connection's character mode; false on a send failure.
    bool SendText(std::u16string_view text);
    // Sends bytes as they are (split messages, NUL bytes, odd lengths...).
    bool SendBytes(std::string_view bytes);

    // Reads one reply record, framed by its PSZ size. Nothing on timeout, close or a reply
    // that does not have the record's shape (the bytes read so far stay in LastBytes()).
    std::optional<CReply> ReceiveReply(std::chrono::milliseconds timeout = 5s);
    // Reads exactly n bytes; nothing on timeout or close (what arrived is in LastBytes()).
    std::optional<std::string> ReceiveBytes(size_t n, std::chrono::milliseconds timeout = 5s);
    // Whatever arrives within the time (empty when nothing does); for "no reply" checks.
    std::string ReceiveAvailable(std::chrono::milliseconds wait);
    // True when the server has closed the connection (checked within the wait).
    bool PeerClosed(std::chrono::milliseconds wait);

    const std::string& LastBytes() const { return last_; }

    // Closes the sending side and the connection.
    void Close();

  private:
    CClientConnection(ClientSocket fd, WireMode mode) : fd_(fd), mode_(mode) {}
    // Makes sure unconsumed bytes are waiting, reading within the deadline; false on timeout
    // or close.
    bool FillPending(std::chrono::steady_clock::time_point deadline);
    // Takes n waiting bytes into LastBytes().
    void Consume(size_t n);

    ClientSocket fd_;
    WireMode mode_;
    static constexpr size_t kReadChunkBytes = 4096;
    // Bytes read ahead; those from pendingPos_ on are not yet consumed.
    std::string pending_;
    size_t pendingPos_ = 0;
    std::string last_;
};

// Sends one request on a new connection and reads one reply.
std::optional<CReply> RequestOnce(const std::string& host, int port, WireMode mode,
                                  std::u16string_view request,
                                  std::chrono::milliseconds timeout = 5s);

}  // namespace kestrom::client
