#include "net/ConnectSocket.h"

#include <sys/socket.h>

#include <exception>

#include "fileio/TextConvert.h"
#include "protocol/CommandTable.h"

namespace kestrom {

namespace {

std::u16string PeerAddressText(const asio::ip::tcp::socket& socket) {
    asio::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    if (ec) return {};
    auto address = endpoint.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return FromUtf8(address.to_string());
}

}  // namespace

CConnectSocket::CConnectSocket(asio::ip::tcp::socket socket, CRequestContext& requestContext,
                               CAdmissionContext& admissionContext)
    : socket_(std::move(socket)),
      requestContext_(requestContext),
      admissionContext_(admissionContext),
      peerIp_(PeerAddressText(socket_)) {
    asio::error_code ec;
    // Replies are written whole in one send; no reason to hold back their last segment.
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
}

void CConnectSocket::Run() {
    char chunk[kReceiveChunkBytes];
    for (;;) {
        asio::error_code ec;
        const size_t n = socket_.read_some(asio::buffer(chunk), ec);
        // End of stream, a reset or Shutdown: the connection is over.
        if (ec || n == 0) return;
        try {
            OnReceive(std::string_view(chunk, n));
        } catch (const std::exception& e) {
            requestContext_.op.AddLogLine(u"Request failed: " + FromUtf8(e.what()), kLogError);
        } catch (...) {
            requestContext_.op.AddLogLine(u"Request failed", kLogError);
        }
    }
}

void CConnectSocket::Shutdown() {
    // Only the system call touches the handle, which stays open until the thread ends.
    ::shutdown(socket_.native_handle(), SHUT_RDWR);
}

void CConnectSocket::OnReceive(std::string_view bytes) {
    // One processor per read, with the settings as they stand now.
    CCommandProcessor processor(requestContext_, *this);
    sendCharMode_ = processor.CharMode();
    auto result = framer_.Feed(bytes, processor.CharMode());
    if (result.discarded) {
        processor.Log(
            u"RECEIVE BUFFER OVER 4 MB WITHOUT END OF MESSAGE, DISCARDED (" + peerIp_ + u")",
            kLogError);
        return;
    }
    if (!result.message) return;
    const int kind = LookupCommand(*result.message);
    Admit(admissionContext_, peerIp_, kind, *result.message, processor);
}

int CConnectSocket::SendText(std::u16string_view text, bool singleByte) {
    return SendBytes(EncodeForWire(text, singleByte, sendCharMode_));
}

int CConnectSocket::SendBytes(std::string_view bytes) {
    // All that is left in one system call, until it is all sent: asio::write would cut a
    // picture of megabytes into 64 KiB sends.
    size_t sent = 0;
    while (sent < bytes.size()) {
        asio::error_code ec;
        sent += socket_.write_some(asio::buffer(bytes.substr(sent)), ec);
        if (ec == asio::error::interrupted) continue;
        if (ec) return -1;
    }
    return static_cast<int>(sent);
}

}  // namespace kestrom
