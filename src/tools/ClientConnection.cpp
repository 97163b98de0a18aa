#include "tools/ClientConnection.h"

#include <algorithm>

namespace kestrom::client {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

std::unique_ptr<CClientConnection> CClientConnection::Connect(const std::string& host, int port,
                                                              WireMode mode,
                                                              std::chrono::milliseconds timeout,
                                                              const std::string& localAddress) {
    const ClientSocket fd = ConnectTcp(host, port, Clock::now() + timeout, localAddress);
    if (fd == kNoSocket) return nullptr;
    return std::unique_ptr<CClientConnection>(new CClientConnection(fd, mode));
}

CClientConnection::~CClientConnection() {
    Close();
}

void CClientConnection::Close() {
    if (fd_ != kNoSocket) {
        CloseSocket(fd_);
        fd_ = kNoSocket;
    }
}

bool CClientConnection::SendText(std::u16string_view text) {
    return SendBytes(Encode(text, mode_));
}

bool CClientConnection::SendBytes(std::string_view bytes) {
    return SendAll(fd_, bytes);
}

bool CClientConnection::FillPending(Clock::time_point deadline) {
    if (pendingPos_ < pending_.size()) return true;
    if (fd_ == kNoSocket) return false;
    if (WaitReadable(fd_, RemainingMs(deadline)) <= 0) return false;
    pending_.resize(kReadChunkBytes);
    const std::int64_t n = ReceiveSome(fd_, pending_.data(), pending_.size());
    pending_.resize(n > 0 ? static_cast<size_t>(n) : 0);
    pendingPos_ = 0;
    return n > 0;
}

void CClientConnection::Consume(size_t n) {
    last_.append(pending_, pendingPos_, n);
    pendingPos_ += n;
}

std::optional<std::string> CClientConnection::ReceiveBytes(size_t n,
                                                           std::chrono::milliseconds timeout) {
    last_.clear();
    const auto deadline = Clock::now() + timeout;
    while (last_.size() < n) {
        if (!FillPending(deadline)) return std::nullopt;
        Consume(std::min(n - last_.size(), pending_.size() - pendingPos_));
    }
    return last_;
}

std::optional<CReply> CClientConnection::ReceiveReply(std::chrono::milliseconds timeout) {
    last_.clear();
    const auto deadline = Clock::now() + timeout;
    CReplyParser parser;
    parser.Start(ReplyShape::kRecord, mode_, true);
    while (!parser.Done()) {
        if (!FillPending(deadline)) return std::nullopt;
        Consume(parser.Feed(std::string_view(pending_).substr(pendingPos_)));
    }
    CReplyOutcome& outcome = parser.Outcome();
    if (!outcome.complete) return std::nullopt;
    CReply reply;
    reply.bytes = last_;
    reply.code = std::move(outcome.code);
    reply.size = static_cast<long>(outcome.size);
    reply.payload = Decode(outcome.payloadBytes, mode_);
    reply.payloadBytes = std::move(outcome.payloadBytes);
    return reply;
}

std::string CClientConnection::ReceiveAvailable(std::chrono::milliseconds wait) {
    last_.clear();
    const auto deadline = Clock::now() + wait;
    while (FillPending(deadline)) Consume(pending_.size() - pendingPos_);
    return last_;
}

bool CClientConnection::PeerClosed(std::chrono::milliseconds wait) {
    if (fd_ == kNoSocket) return true;
    return PeerHasClosed(fd_, static_cast<int>(wait.count()));
}

std::optional<CReply> RequestOnce(const std::string& host, int port, WireMode mode,
                                  std::u16string_view request, std::chrono::milliseconds timeout) {
    auto connection = CClientConnection::Connect(host, port, mode, timeout);
    if (!connection || !connection->SendText(request)) return std::nullopt;
    return connection->ReceiveReply(timeout);
}

}  // namespace kestrom::client
