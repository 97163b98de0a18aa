#pragma once
// The client side of the wire protocol: one TCP connection to a Kestrom server, the request
// encoding by character mode, and the reading of reply records. Used by kestrom-client and by
// the end-to-end tests.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrom::client {

using namespace std::chrono_literals;

// The bytes a text becomes on the wire: one byte per character (low 8 bits) in mode 0, two
// bytes low byte first in any other mode.
std::string EncodeText(std::u16string_view text, int charMode);
// The reverse: bytes to characters (an odd trailing byte in Unicode mode is ignored).
std::u16string DecodeBytes(std::string_view bytes, int charMode);

// One reply record as received: SOH code ",PSZ=" size STX payload ETX EOT.
struct CReply {
    std::string bytes;         // exactly what arrived, for byte-exact checks
    std::u16string code;       // e.g. u"HMM"
    long size = 0;             // the PSZ value
    std::u16string payload;    // decoded by the character mode
    std::string payloadBytes;  // the payload's raw bytes
};

// Builds a request message: SOH code STX payload ETX [trailer] EOT.
std::u16string BuildRequest(std::u16string_view code, std::u16string_view payload = {},
                            std::u16string_view trailer = {});

class CClientConnection {
  public:
    // Connects within the timeout; nothing when the server cannot be reached. A non-empty
    // localAddress (dotted IPv4) binds the client's end first, so tests can appear as other
    // hosts, e.g. 127.0.0.2.
    static std::unique_ptr<CClientConnection> Connect(const std::string& host, int port,
                                                      int charMode,
                                                      std::chrono::milliseconds timeout = 5s,
                                                      const std::string& localAddress = {});
    ~CClientConnection();
    CClientConnection(const CClientConnection&) = delete;
    CClientConnection& operator=(const CClientConnection&) = delete;

    int CharMode() const { return charMode_; }

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
    CClientConnection(int fd, int charMode) : fd_(fd), charMode_(charMode) {}
    // One byte within the deadline; -1 on timeout or close.
    int ReadByte(std::chrono::steady_clock::time_point deadline);

    int fd_;
    int charMode_;
    static constexpr size_t kReadChunkBytes = 4096;
    // Bytes read ahead; those from pendingPos_ on are not yet consumed.
    std::string pending_;
    size_t pendingPos_ = 0;
    std::string last_;
};

// Sends one request on a new connection and reads one reply.
std::optional<CReply> RequestOnce(const std::string& host, int port, int charMode,
                                  std::u16string_view request,
                                  std::chrono::milliseconds timeout = 5s);

}  // namespace kestrom::client
