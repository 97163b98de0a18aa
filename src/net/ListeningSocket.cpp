#include "net/ListeningSocket.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "base/TextConvert.h"
#include "net/Platform.h"

namespace kestrom {

namespace {

std::u16string Number(size_t n) {
    return U16(std::to_string(n));
}

std::optional<size_t> LongestIdle(std::span<const CConnectionView> live,
                                  std::optional<std::u16string_view> peer) {
    std::optional<size_t> best;
    for (size_t i = 0; i < live.size(); ++i) {
        if (live[i].serving || (peer && live[i].peer != *peer)) continue;
        if (!best || live[i].lastActivity < live[*best].lastActivity) best = i;
    }
    return best;
}

}  // namespace

bool IsLoopbackPeer(std::u16string_view peer) {
    return peer.starts_with(u"127.") || peer == u"::1";
}

CAdmitDecision DecideAdmission(std::span<const CConnectionView> live, std::u16string_view peer,
                               size_t totalCap, size_t perAddressCap) {
    CAdmitDecision decision;
    if (!IsLoopbackPeer(peer)) {
        const auto own = static_cast<size_t>(std::count_if(
            live.begin(), live.end(), [&](const CConnectionView& c) { return c.peer == peer; }));
        if (own >= perAddressCap) {
            decision.perAddress = true;
            auto victim = LongestIdle(live, peer);
            if (!victim) {
                decision.action = CAdmitDecision::kRefuse;
                return decision;
            }
            decision.action = CAdmitDecision::kEvict;
            decision.victim = *victim;
            return decision;
        }
    }
    if (live.size() < totalCap) return decision;
    auto victim = LongestIdle(live, std::nullopt);
    decision.action = victim ? CAdmitDecision::kEvict : CAdmitDecision::kRefuse;
    decision.victim = victim.value_or(0);
    return decision;
}

CListeningSocket::CListeningSocket(COperatorInterface& op, CMessageHandler& handler)
    : op_(op), handler_(handler), acceptor_(io_) {}

CListeningSocket::~CListeningSocket() {
    Close();
}

CStatus CListeningSocket::Create(int port, int sendBufferSize, int receiveBufferSize,
                                 const CNetLimits& limits) {
    connectionCap_ =
        ConnectionCapForDescriptors(static_cast<size_t>(std::max(1, limits.MaxConnections)),
                                    static_cast<size_t>(std::max(0, limits.FileDescriptorReserve)));
    perAddressCap_ = static_cast<size_t>(std::max(1, limits.MaxConnectionsPerAddress));
    receiveBudget_ =
        std::make_unique<CMemoryBudget>(static_cast<size_t>(limits.ReceiveMemoryBudget));
    replyBudget_ =
        std::make_unique<CMemoryBudget>(static_cast<size_t>(limits.LargeReplyMemoryBudget));
    shared_.reset(new CConnectionShared{
        op_, handler_,
        CFrameLimits{static_cast<size_t>(limits.RequestSizeLimit),
                     static_cast<size_t>(limits.UploadSizeLimit)},
        *receiveBudget_, *replyBudget_, std::chrono::seconds(limits.MessageStallSeconds),
        std::chrono::seconds(limits.SendTimeoutSeconds), limits.KeepAliveSeconds, discardLog_,
        sendTimeoutLog_, replyBudgetLog_});
    asio::error_code ec;
    const asio::ip::tcp::endpoint endpoint(asio::ip::tcp::v4(), static_cast<unsigned short>(port));
    if (port < 0 || port > 65535)
        return CStatus::Failure(file_cause::kGeneric, u"invalid port number");
    acceptor_.open(endpoint.protocol(), ec);
    // Lets a restarted server bind while old connections linger in TIME_WAIT; two listeners
    // on one port are still refused.
    if (!ec) SetListenerAddressReuse(acceptor_.native_handle(), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) {
        asio::error_code ignored;
        if (sendBufferSize > 0)
            acceptor_.set_option(asio::socket_base::send_buffer_size(sendBufferSize), ignored);
        if (receiveBufferSize > 0)
            acceptor_.set_option(asio::socket_base::receive_buffer_size(receiveBufferSize),
                                 ignored);
        acceptor_.listen(kListenBacklog, ec);
    }
    // Accepts wait beside a wake signal, so Close can end the accept thread.
    if (!ec) acceptor_.non_blocking(true, ec);
    if (!ec) wake_.Open(ec);
    if (ec) {
        asio::error_code ignored;
        acceptor_.close(ignored);
        return CStatus::Failure(file_cause::kGeneric, FromUtf8(ec.message()));
    }
    port_ = acceptor_.local_endpoint(ec).port();
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return {};
}

void CListeningSocket::Close() {
    if (acceptThread_.joinable()) {
        wake_.Signal();
        acceptThread_.join();
    }
    wake_.Close();
    asio::error_code ignored;
    acceptor_.close(ignored);
    std::list<std::unique_ptr<CConnectThread>> connections;
    {
        std::lock_guard lock(connectionsMutex_);
        connections.swap(connections_);
    }
    for (auto& connection : connections) connection->Shutdown();
    connections.clear();  // joins each thread
    port_ = -1;
}

int CListeningSocket::SendBufferSize() const {
    asio::socket_base::send_buffer_size option;
    asio::error_code ec;
    acceptor_.get_option(option, ec);
    return ec ? -1 : option.value();
}

int CListeningSocket::ReceiveBufferSize() const {
    asio::socket_base::receive_buffer_size option;
    asio::error_code ec;
    acceptor_.get_option(option, ec);
    return ec ? -1 : option.value();
}

size_t CListeningSocket::ThreadCount() const {
    std::lock_guard lock(connectionsMutex_);
    return connections_.size();
}

void CListeningSocket::AcceptLoop() {
    for (;;) {
        // The timeout lets ended connection threads be joined while nobody connects.
        const AcceptWait wait = WaitForAccept(acceptor_.native_handle(), wake_, 1000);
        if (wait == AcceptWait::kFailed || wait == AcceptWait::kWoken) return;
        ReapFinished();
        if (wait != AcceptWait::kReadable) continue;
        asio::error_code ec;
        asio::ip::tcp::socket socket(io_);
        acceptor_.accept(socket, ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) continue;
        if (ec) {
            // Out of descriptors and the like: wait a little instead of spinning.
            LogThrottled(acceptLog_, u"Unable to accept a connection: " + FromUtf8(ec.message()));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        Accepted(std::move(socket));
    }
}

void CListeningSocket::LogThrottled(CLogThrottle& throttle, std::u16string_view line) {
    if (auto text = throttle.Pass(line)) op_.AddLogLine(*text, LogLevel::kError);
}

void CListeningSocket::Accepted(asio::ip::tcp::socket socket) {
    asio::error_code ec;
    socket.non_blocking(false, ec);
    const std::u16string peer = PeerAddressText(socket);
    std::lock_guard lock(connectionsMutex_);
    // The connections that still count: neither ended nor already asked to make room.
    std::vector<CConnectThread*> live;
    std::vector<CConnectionView> views;
    for (auto& c : connections_) {
        if (c->Finished() || c->Evicted()) continue;
        live.push_back(c.get());
        views.push_back({c->PeerIpText(), c->LastActivity(), c->Serving()});
    }
    const CAdmitDecision decision = DecideAdmission(views, peer, connectionCap_, perAddressCap_);
    const std::u16string cap = decision.perAddress
                                   ? Number(perAddressCap_) + u" connections from one address"
                                   : Number(connectionCap_) + u" connections";
    if (decision.action == CAdmitDecision::kRefuse) {
        LogThrottled(limitLog_, u"CONNECTION LIMIT OF " + cap +
                                    u" REACHED WHILE ALL ARE BUSY, CONNECTION REFUSED (" + peer +
                                    u")");
        return;  // the socket closes as it goes
    }
    if (decision.action == CAdmitDecision::kEvict) {
        CConnectThread* victim = live[decision.victim];
        LogThrottled(limitLog_, u"CONNECTION LIMIT OF " + cap +
                                    u" REACHED, CLOSED THE CONNECTION IDLE LONGEST (" +
                                    victim->PeerIpText() + u") FOR " + peer);
        victim->Evict();
    }
    auto connection = std::make_unique<CConnectThread>(std::move(socket), *shared_);
    // Started under the lock so Close never misses a thread; a thread that cannot be created
    // closes its connection as the object goes.
    int error = 0;
    if (connection->Start(&error)) {
        connections_.push_back(std::move(connection));
        return;
    }
    LogThrottled(acceptLog_, u"Unable to start a thread for the connection from " + peer + u": " +
                                 FromUtf8(std::strerror(error)));
}

void CListeningSocket::ReapFinished() {
    std::list<std::unique_ptr<CConnectThread>> ended;
    {
        std::lock_guard lock(connectionsMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->Finished())
                ended.splice(ended.end(), connections_, it++);
            else
                ++it;
        }
    }
    ended.clear();  // joins outside the lock
}

}  // namespace kestrom
