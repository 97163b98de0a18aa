#include "net/ConnectSocket.h"

#include <exception>
#include <memory>

#include "base/TextConvert.h"
#include "net/Platform.h"
#include "wire/WireText.h"

namespace kestrom {

namespace {

std::u16string Number(size_t n) {
    return U16(std::to_string(n));
}

// "4 MB", "64 KB", or the bytes when neither is whole.
std::u16string SizeText(size_t bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return Number(bytes / (1024 * 1024)) + u" MB";
    if (bytes >= 1024 && bytes % 1024 == 0) return Number(bytes / 1024) + u" KB";
    return Number(bytes) + u" BYTES";
}

}  // namespace

std::u16string PeerAddressText(const asio::ip::tcp::socket& socket) {
    asio::error_code ec;
    const auto endpoint = socket.remote_endpoint(ec);
    if (ec) return {};
    auto address = endpoint.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return FromUtf8(address.to_string());
}

CConnectSocket::CConnectSocket(asio::ip::tcp::socket socket, CConnectionShared& shared)
    : socket_(std::move(socket)),
      shared_(shared),
      framer_(shared.frameLimits, &shared.receiveBudget),
      peerIp_(PeerAddressText(socket_)),
      handler_(shared.handler.Open(peerIp_, *this)) {
    asio::error_code ec;
    // Replies are written whole in one send; no reason to hold back their last segment.
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
    EnableKeepAlive(socket_.native_handle(), shared.keepAliveSeconds);
    Touch();
}

bool CConnectSocket::WaitForMore(std::chrono::milliseconds wait) {
    return WaitReadable(socket_.native_handle(), static_cast<int>(wait.count()));
}

void CConnectSocket::Run() {
    // Most messages are small: the first read of each takes little, and only a message that
    // goes on gets the large buffer, which goes again with it.
    char first[kFirstReadBytes];
    std::unique_ptr<char[]> large;
    bool lastReadFull = false;
    while (!failed_) {
        if (framer_.HoldsSpareStorage() && !WaitForMore(kSpareStorageIdle)) {
            // A device that sends one large upload after another gets them into pages that
            // are already there; one that has gone quiet gives them back to the others.
            framer_.Clear();
            continue;
        }
        if (!framer_.Empty() && !WaitForMore(shared_.messageStall)) {
            const size_t bytes = framer_.BufferedBytes();
            framer_.Clear();
            LogThrottled(shared_.discardLog,
                         u"UNFINISHED MESSAGE OF " + Number(bytes) + u" BYTES DISCARDED AFTER " +
                             Number(static_cast<size_t>(shared_.messageStall.count() / 1000)) +
                             u" s WITHOUT PROGRESS (" + peerIp_ + u")");
            large.reset();
            continue;
        }
        char* buffer = first;
        size_t size = sizeof first;
        if (!framer_.Empty() || lastReadFull) {
            if (!large) large.reset(new char[kReceiveChunkBytes]);
            buffer = large.get();
            size = kReceiveChunkBytes;
        }
        const std::int64_t n = ReceiveSome(socket_.native_handle(), buffer, size);
        // End of stream, a reset or Shutdown: the connection is over.
        if (n <= 0) return;
        lastReadFull = static_cast<size_t>(n) == size;
        Touch();
        try {
            OnReceive(std::string_view(buffer, static_cast<size_t>(n)));
        } catch (const std::exception& e) {
            framer_.Recycle();
            serving_.store(false, std::memory_order_relaxed);
            shared_.op.AddLogLine(u"Request failed: " + FromUtf8(e.what()), LogLevel::kError);
        } catch (...) {
            framer_.Recycle();
            serving_.store(false, std::memory_order_relaxed);
            shared_.op.AddLogLine(u"Request failed", LogLevel::kError);
        }
        if (framer_.Empty() && !lastReadFull) large.reset();
    }
}

void CConnectSocket::Shutdown() {
    // Only the system call touches the handle, which stays open until the thread ends.
    ShutdownBoth(socket_.native_handle());
}

void CConnectSocket::LogThrottled(CLogThrottle& throttle, std::u16string_view line) {
    if (auto text = throttle.Pass(line)) shared_.op.AddLogLine(*text, LogLevel::kError);
}

void CConnectSocket::OnReceive(std::string_view bytes) {
    sendMode_ = handler_->BeginRead();
    auto result = framer_.Feed(bytes, sendMode_);
    if (result.discarded == CMessageFramer::Discard::kTooLarge) {
        LogThrottled(shared_.discardLog, u"RECEIVE BUFFER OVER " + SizeText(result.limitBytes) +
                                             u" WITHOUT END OF MESSAGE, DISCARDED (" + peerIp_ +
                                             u")");
        return;
    }
    if (result.discarded == CMessageFramer::Discard::kOverBudget) {
        LogThrottled(shared_.discardLog, u"RECEIVE MEMORY OF ALL CONNECTIONS OVER " +
                                             SizeText(shared_.receiveBudget.Limit()) +
                                             u", UNFINISHED MESSAGE DISCARDED (" + peerIp_ + u")");
        return;
    }
    if (!result.message) return;
    serving_.store(true, std::memory_order_relaxed);
    handler_->Serve(*result.message);
    framer_.Recycle();
    serving_.store(false, std::memory_order_relaxed);
    Touch();
}

int CConnectSocket::SendText(std::u16string_view text, bool singleByte) {
    return SendBytes(Encode(text, singleByte ? WireMode::kSingleByte : sendMode_));
}

int CConnectSocket::SendBytes(std::string_view bytes) {
    if (failed_) return -1;
    // All that is left in one system call, until it is all sent: a picture of megabytes is
    // not cut into small sends. The socket stays blocking for reads; each send takes what
    // fits and waits for room beside the timeout, so the timeout counts time without
    // progress, whatever the size of the reply.
    const NativeSocket fd = socket_.native_handle();
    size_t sent = 0;
    while (sent < bytes.size()) {
        const std::int64_t n = SendSomeNow(fd, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            Touch();
            continue;
        }
        if (n == kWouldBlock) {
            const int rc = WaitWritable(fd, static_cast<int>(shared_.sendTimeout.count()));
            if (rc > 0) continue;
            if (rc == 0) {
                // The client stopped reading: its reply would hold the thread and the
                // reply's memory for as long as it keeps the connection.
                LogThrottled(shared_.sendTimeoutLog,
                             u"SEND TIMED OUT AFTER " +
                                 Number(static_cast<size_t>(shared_.sendTimeout.count() / 1000)) +
                                 u" s WITHOUT PROGRESS, CONNECTION CLOSED (" + peerIp_ + u")");
            }
        }
        failed_ = true;
        Shutdown();
        return -1;
    }
    return static_cast<int>(sent);
}

bool CConnectSocket::HoldReplyMemory(size_t bytes, CBudgetHold& hold) {
    if (!shared_.replyBudget.Acquire(bytes, shared_.sendTimeout)) {
        LogThrottled(shared_.replyBudgetLog, u"LARGE REPLIES IN FLIGHT OVER " +
                                                 SizeText(shared_.replyBudget.Limit()) +
                                                 u", REQUEST NOT SERVED (" + peerIp_ + u")");
        return false;
    }
    hold = CBudgetHold(shared_.replyBudget, bytes);
    return true;
}

}  // namespace kestrom
